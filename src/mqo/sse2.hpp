// SSE2, which every x86-64 processor has: the document reader uses it, where the compiler targets
// it, to look at 16 bytes at once. Elsewhere the reader does without.
#pragma once

// Defining BLOKTAR_NO_SSE2 builds the portable code instead, for comparing both.
#if (defined(__SSE2__) || defined(_M_X64)) && !defined(BLOKTAR_NO_SSE2)
#include <emmintrin.h>
#define BLOKTAR_SSE2 1
#endif
