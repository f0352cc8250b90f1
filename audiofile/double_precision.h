// Arithmetic on doubles that gives the same bits on every floating-point
// unit.  The x87 unit of 32-bit x86 (Debian's i386 baseline has no SSE2)
// keeps intermediate results in 80-bit registers, where for instance
// 0x1.fffffffffffffp-2 + 0.5 stays below 1 although in double precision it
// is 1.  A result passed through in_double is rounded to double there as it
// is everywhere else.
#pragma once

#include <cfloat>

inline double in_double(double x)
{
#if FLT_EVAL_METHOD != 0
    // A store to memory rounds; the value loaded back is an exact double.
    volatile double stored = x;
    return stored;
#else
    return x;
#endif
}
