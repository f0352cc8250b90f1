#include "portable_math.h"

#include "double_precision.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__i386__) && FLT_EVAL_METHOD != 0
#include <fpu_control.h>
#define SONO_X87_PRECISION 1
#endif

double_precision_scope::double_precision_scope()
{
#ifdef SONO_X87_PRECISION
    fpu_control_t word;
    _FPU_GETCW(word);
    saved_ = word;
    word = static_cast<fpu_control_t>((word & ~_FPU_EXTENDED) | _FPU_DOUBLE);
    _FPU_SETCW(word);
#endif
}

double_precision_scope::~double_precision_scope()
{
#ifdef SONO_X87_PRECISION
    fpu_control_t word = saved_;
    _FPU_SETCW(word);
#endif
}

namespace {

// ln 2 in two pieces; k ln2_hi is exact for the k that exp and log meet.
constexpr double ln2_hi = 0x1.62e42feep-1;
constexpr double ln2_lo = 0x1.a39ef35793c76p-33;

// The top 32 bits of a double: sign, exponent and the high mantissa bits.
uint32_t high_word(double x)
{
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return static_cast<uint32_t>(bits >> 32);
}

double with_high_word(double x, uint32_t high)
{
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    bits = uint64_t{high} << 32 | (bits & 0xFFFFFFFFu);
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// sin and cos of x + y near 0 (|x + y| <= pi/4, |y| tiny): polynomials of
// degree 13 and 14, good to about 2^-58.
double kernel_sin(double x, double y)
{
    constexpr double S1 = -1.66666666666666324348e-01, S2 = 8.33333333332248946124e-03,
                     S3 = -1.98412698298579493134e-04, S4 = 2.75573137070700676789e-06,
                     S5 = -2.50507602534068634195e-08, S6 = 1.58969099521155010221e-10;
    const double z = x * x;
    const double w = z * z;
    const double r = S2 + z * (S3 + z * S4) + z * w * (S5 + z * S6);
    const double v = z * x;
    return x - ((z * (0.5 * y - v * r) - y) - v * S1);
}

double kernel_cos(double x, double y)
{
    constexpr double C1 = 4.16666666666666019037e-02, C2 = -1.38888888888741095749e-03,
                     C3 = 2.48015872894767294178e-05, C4 = -2.75573143513906633035e-07,
                     C5 = 2.08757232129817482790e-09, C6 = -1.13596475577881948265e-11;
    const double z = x * x;
    const double w = z * z;
    const double r = z * (C1 + z * (C2 + z * C3)) + w * w * (C4 + z * (C5 + z * C6));
    const double hz = 0.5 * z;
    const double u = 1.0 - hz;
    return u + (((1.0 - u) - hz) + (z * r - x * y));
}

// pi/2 in pieces: each piece has few enough bits that n times it is exact,
// and its tail is the rest of pi/2 after it.  Pieces of 33 bits serve
// multiples up to 2^20 (a phase up to 1.6e6) in one step mostly; pieces of
// 21 bits serve multiples up to 2^32 (6.7e9) in three.
struct pio2_pieces {
    double piece[3];
    double tail[3];
};
constexpr pio2_pieces PIO2_33{{0x1.921fb544p+0, 0x1.0b4611a6p-34, 0x1.3198a2e0p-69},
                              {0x1.0b4611a626331p-34, 0x1.3198a2e037073p-69, 0x1.b839a252049c1p-104}};
constexpr pio2_pieces PIO2_21{{0x1.921fbp+0, 0x1.5110bp-22, 0x1.18469p-44},
                              {0x1.5110b4611a626p-22, 0x1.18469898cc517p-44, 0x1.13198a2e03707p-65}};

// x - n pi/2 as y0 + y1; quick = stop after the first piece when it leaves
// few bits cancelled.
void reduce(double x, double n, const pio2_pieces& p, bool quick, double& y0, double& y1)
{
    const int exponent = static_cast<int>(high_word(x) >> 20 & 0x7FF);
    double r = x - n * p.piece[0];
    double w = n * p.tail[0];
    y0 = r - w;
    for (int k = 1; k < 3; ++k) {
        const int cancelled = exponent - static_cast<int>(high_word(y0) >> 20 & 0x7FF);
        if (quick && cancelled <= (k == 1 ? 16 : 49))
            break;
        const double t = r;
        w = n * p.piece[k];
        r = t - w;
        w = n * p.tail[k] - ((t - r) - w);
        y0 = r - w;
    }
    y1 = (r - y0) - w;
}

}  // namespace

double portable_sin(double x)
{
    const double magnitude = std::fabs(x);
    if (!(magnitude <= DBL_MAX))
        return x - x;  // NaN for NaN and the infinities
    if (magnitude < 0x1p-26)
        return x;
    if (magnitude <= 0x1.921fb54442d18p-1)  // pi/4
        return kernel_sin(x, 0.0);
    if (magnitude >= 0x1p50)  // n below would not be an integer; fmod is exact
        return portable_sin(std::fmod(x, 0x1.921fb54442d18p+2));
    // The nearest multiple of pi/2: adding 1.5 * 2^52 rounds to an integer
    // (in double precision: an x87 left at 64 bits still gets an integer).
    constexpr double invpio2 = 0x1.45f306dc9c883p-1;
    constexpr double round_shift = 0x1.8p52;
    const double n = in_double(in_double(x * invpio2 + round_shift) - round_shift);
    double y0;
    double y1;
    if (magnitude < 0x1p20 * 0x1.921fb54442d18p+0)
        reduce(x, n, PIO2_33, true, y0, y1);
    else
        reduce(x, n, PIO2_21, false, y0, y1);  // beyond 2^32 multiples, within the phase's own last bit
    // The quadrant from n's low bits (n is an exact integer below 2^50).
    switch (static_cast<int64_t>(n) & 3) {
    case 0: return kernel_sin(y0, y1);
    case 1: return kernel_cos(y0, y1);
    case 2: return -kernel_sin(y0, y1);
    default: return -kernel_cos(y0, y1);
    }
}

double portable_exp(double x)
{
    constexpr double invln2 = 0x1.71547652b82fep+0;
    constexpr double P1 = 1.66666666666666019037e-01, P2 = -2.77777777770155933842e-03,
                     P3 = 6.61375632143793436117e-05, P4 = -1.65339022054652515390e-06,
                     P5 = 4.13813679705723846039e-08;
    if (x != x)
        return x;
    if (x > 709.782712893383973096)
        return HUGE_VAL;
    if (x < -745.13321910194110842)
        return 0.0;
    const double magnitude = std::fabs(x);
    if (magnitude < 0x1p-28)
        return 1.0 + x;
    // x = k ln2 + r with |r| <= ln2 / 2, r as hi - lo.
    double k = 0.0;
    double hi = x;
    double lo = 0.0;
    if (magnitude > 0.5 * (ln2_hi + ln2_lo)) {
        k = std::floor(invln2 * x + 0.5);
        hi = x - k * ln2_hi;  // exact: k has at most 11 bits
        lo = k * ln2_lo;
    }
    const double r = hi - lo;
    const double t = r * r;
    const double c = r - t * (P1 + t * (P2 + t * (P3 + t * (P4 + t * P5))));
    if (k == 0.0)
        return 1.0 - ((r * c) / (c - 2.0) - r);
    const double y = 1.0 - ((lo - (r * c) / (2.0 - c)) - hi);
    return std::ldexp(y, static_cast<int>(k));  // exact scaling
}

double portable_log(double x)
{
    constexpr double Lg1 = 6.666666666666735130e-01, Lg2 = 3.999999999940941908e-01,
                     Lg3 = 2.857142874366239149e-01, Lg4 = 2.222219843214978396e-01,
                     Lg5 = 1.818357216161805012e-01, Lg6 = 1.531383769920937332e-01,
                     Lg7 = 1.479819860511658591e-01;
    if (x != x || x == HUGE_VAL)
        return x;
    if (x < 0.0)
        return NAN;
    if (x == 0.0)
        return -HUGE_VAL;
    int k = 0;
    uint32_t hx = high_word(x);
    if (hx < 0x00100000) {  // subnormal: scale into the normal range (exact)
        x *= 0x1p54;
        k -= 54;
        hx = high_word(x);
    }
    k += static_cast<int>(hx >> 20) - 1023;
    hx &= 0x000FFFFF;
    // Normalize x into [sqrt(2)/2, sqrt(2)).
    const uint32_t i = (hx + 0x95F64) & 0x100000;
    x = with_high_word(x, hx | (i ^ 0x3FF00000));
    k += static_cast<int>(i >> 20);
    const double f = x - 1.0;
    const double dk = k;
    if ((0x000FFFFF & (2 + hx)) < 3) {  // |f| < 2^-20
        if (f == 0.0)
            return k == 0 ? 0.0 : dk * ln2_hi + dk * ln2_lo;
        const double R = f * f * (0.5 - 0.33333333333333333 * f);
        return k == 0 ? f - R : dk * ln2_hi - ((R - dk * ln2_lo) - f);
    }
    const double s = f / (2.0 + f);
    const double z = s * s;
    const double w = z * z;
    const double t1 = w * (Lg2 + w * (Lg4 + w * Lg6));
    const double t2 = z * (Lg1 + w * (Lg3 + w * (Lg5 + w * Lg7)));
    const double R = t2 + t1;
    const bool far = (static_cast<int32_t>(hx - 0x6147A) | static_cast<int32_t>(0x6B851 - hx)) > 0;
    if (far) {
        const double hfsq = 0.5 * f * f;
        return k == 0 ? f - (hfsq - s * (hfsq + R)) : dk * ln2_hi - ((hfsq - (s * (hfsq + R) + dk * ln2_lo)) - f);
    }
    return k == 0 ? f - s * (f - R) : dk * ln2_hi - ((s * (f - R) - dk * ln2_lo) - f);
}
