// sin, exp and log that give the same bits on every machine.  The C
// library's functions differ between machines in the last bit (the 32-bit
// x86 one computes with the x87's 80-bit registers), and a tone is made of
// millions of sines, so the tone files would differ too.  These use only
// additions, subtractions, multiplications and divisions in a fixed order;
// with the x87 set to round every operation to double precision (call them
// inside a double_precision_scope), those give the same bits everywhere.
// Each is within an ulp of the true value, so they agree with a good C
// library almost always.
#pragma once

double portable_sin(double x);
double portable_exp(double x);
double portable_log(double x);  // x > 0

// While it lives, the x87 rounds every result to double precision (53 bits),
// as SSE, ARM and s390x do; elsewhere it does nothing.
class double_precision_scope {
public:
    double_precision_scope();
    ~double_precision_scope();
    double_precision_scope(const double_precision_scope&) = delete;
    double_precision_scope& operator=(const double_precision_scope&) = delete;

private:
    unsigned short saved_ = 0;
};
