// SSE2, which every x86-64 processor has: the document reader uses it, where the compiler targets
// it, to look at 16 bytes at once. Elsewhere, or built with BLOKTAR_NO_SSE2 (the BLOKTAR_SSE2
// option off, to test the portable path), the reader does without.
#pragma once

#if (defined(__SSE2__) || defined(_M_X64)) && !defined(BLOKTAR_NO_SSE2)
#include <emmintrin.h>
#define BLOKTAR_SSE2 1
#endif
