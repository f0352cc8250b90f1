// Number parsing for command-line arguments: the lenient conversions the
// programs have always used (leading blanks and a sign, digits up to the first
// other character, 0 when there are none), without undefined behaviour on
// overflow: integers saturate at the limits of int.
#pragma once

#include <cstdint>

int to_int(const char* text);
// The same for counts that need 64 bits (frame numbers).
int64_t to_int64(const char* text);
double to_double(const char* text);

// A double truncated toward zero to an int, saturating at the limits of int;
// a NaN gives 0.
int truncate_to_int(double value);
