// SSE2 where the target has it (every x86-64, and 32-bit builds made with
// -msse2); the scalar loops stay for other processors and block tails.
#pragma once

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define CRUMPLE_SSE2 1
#else
#define CRUMPLE_SSE2 0
#endif
