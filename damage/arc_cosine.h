// Arc cosine that gives the same bits on every compiler and C runtime.
#pragma once

// acos(x) in radians for x in [-1, 1], NaN outside it or for NaN. Evaluated in
// double with basic operations only (no library call), then rounded once to
// float, so the result does not depend on which libm the program links.
float ArcCosine(float x);
