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
#include <immintrin.h>
#define BLOKTAR_WIDE_VECTORS 1
#define BLOKTAR_WIDE_TARGET __attribute__((target("avx2,bmi,bmi2")))

namespace bloktar {
// True when the processor, and the system's saving of its registers, allow AVX2, BMI1 and BMI2.
inline bool ProcessorHasWideVectors() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
           __builtin_cpu_supports("bmi2");
}
}  // namespace bloktar
#endif
