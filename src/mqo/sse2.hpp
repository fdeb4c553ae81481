// SSE2, which every x86-64 processor has: the document reader uses it, where the compiler targets
// it, to look at 16 bytes at once. Elsewhere, or built with BLOKTAR_NO_SSE2 (the BLOKTAR_SSE2
// option off, to test the portable path), the reader does without.
#pragma once

#if (defined(__SSE2__) || defined(_M_X64)) && !defined(BLOKTAR_NO_SSE2)
#include <emmintrin.h>
#define BLOKTAR_SSE2 1
#endif

// AVX2 with BMI1 and BMI2, which processors since 2013 have: where the compiler can target them
// function by function, the geometry pass has a second compilation of its line scanners for
// them, taken when the running processor has them (ProcessorHasWideVectors). Byte shuffles gather
// a number's digits at once, and the three-operand forms spare the register copies.
//
// Not on Windows: there GCC keeps the stack aligned to 16 bytes only, yet may spill 32-byte
// registers to it with aligned moves, which would fault.
#if defined(BLOKTAR_SSE2) && defined(__GNUC__) && defined(__x86_64__) && !defined(_WIN32)
#include <cpuid.h>
#include <immintrin.h>
#define BLOKTAR_WIDE_VECTORS 1
#define BLOKTAR_WIDE_TARGET __attribute__((target("avx2,bmi,bmi2")))

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
