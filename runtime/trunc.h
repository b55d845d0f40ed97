// The one float-to-integer conversion of the system.
#pragma once

#include <cstdint>

// x truncated toward zero, as the low 32 bits of the 64-bit truncation;
// 0 for NaN, infinities and magnitudes of 2^63 or more. The result does not
// depend on the rounding mode in force, and the mode is never changed.
int32_t TruncToInt(double x);
