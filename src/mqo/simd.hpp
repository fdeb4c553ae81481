// The reader's vector paths, chosen once here. BLOKTAR_SIMD_LEVEL, set by the build's BLOKTAR_SIMD
// option, is the most the reader may use: 0 none (the portable path, one byte at a time), 1 SSE2,
// 2 SSE2 and, where the processor has them, AVX2 (the default). What the compiler cannot target
// is left out whatever the level says.
//
// BLOKTAR_USE_SSE2: SSE2, which every x86-64 processor has, looks at 16 bytes at once.
#pragma once

#ifndef BLOKTAR_SIMD_LEVEL
#define BLOKTAR_SIMD_LEVEL 2
#endif

#if BLOKTAR_SIMD_LEVEL >= 1 && (defined(__SSE2__) || defined(_M_X64))
#include <emmintrin.h>
#define BLOKTAR_USE_SSE2 1
#endif

// BLOKTAR_USE_AVX2: AVX2 with BMI1 and BMI2, which processors since 2013 have ("wide vectors").
// Where the compiler can target them function by function, the geometry pass has a second
// compilation of its line scanners for them, taken when the running processor has them
// (ProcessorHasWideVectors, asked at run time). Byte shuffles gather
// a number's digits at once, and the three-operand forms spare the register copies.
//
// Not on Windows: there GCC keeps the stack aligned to 16 bytes only, yet may spill 32-byte
// registers to it with aligned moves, which would fault.
#if BLOKTAR_SIMD_LEVEL >= 2 && defined(BLOKTAR_USE_SSE2) && defined(__GNUC__) && \
    defined(__x86_64__) && !defined(_WIN32)
#include <cpuid.h>
#include <immintrin.h>
#define BLOKTAR_USE_AVX2 1
#define BLOKTAR_AVX2_TARGET __attribute__((target("avx2,bmi,bmi2")))

namespace bloktar {
namespace processor_detail {
// The register state that the system saves on a switch (XCR0).
__attribute__((target("xsave"))) inline unsigned long long SavedState() {
    return static_cast<unsigned long long>(_xgetbv(0));
}
}  // namespace processor_detail

// True when the processor, and the system's saving of its registers, allow AVX2, BMI1 and BMI2.
// Asked of the processor itself when needed, not at every start as the compiler's own check does
// (in a virtual machine each question takes microseconds).
inline bool ProcessorHasWideVectors() {
    unsigned a = 0;
    unsigned b = 0;
    unsigned c = 0;
    unsigned d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return false;
    if ((c & bit_OSXSAVE) == 0 || (c & bit_AVX) == 0) return false;
    // The system saves the SSE and the AVX registers.
    if ((processor_detail::SavedState() & 6u) != 6u) return false;
    if (__get_cpuid_count(7, 0, &a, &b, &c, &d) == 0) return false;
    return (b & bit_AVX2) != 0 && (b & bit_BMI) != 0 && (b & bit_BMI2) != 0;
}
}  // namespace bloktar
#endif
