// Arc cosine from + - * / and sqrt only. Runtime libraries disagree in the
// last bit of acos (x87 code in one, table-driven code in another), and a bit
// there moves a dent-angle or insertion decision, so the plug-in carries its
// own. The rational approximation is the classic minimax one for
// asin(sqrt(z))/sqrt(z) on [0, 0.25], good to well under one double ulp, so
// the final rounding to float is what decides the result.
#include "damage/arc_cosine.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

const double kPi = 3.14159265358979311600e+00;
const double kHalfPiHi = 1.57079632679489655800e+00;
const double kHalfPiLo = 6.12323399573676603587e-17;

// R(z) = (asin(sqrt(z)) - sqrt(z)) / z^(3/2) as p(z) / q(z).
double Ratio(double z) {
    const double p = z * (1.66666666666666657415e-01 +
                          z * (-3.25565818622400915405e-01 +
                               z * (2.01212532134862925881e-01 +
                                    z * (-4.00555345006794114027e-02 +
                                         z * (7.91534994289814532176e-04 + z * 3.47933107596021167570e-05)))));
    const double q = 1.0 + z * (-2.40339491173441421878e+00 +
                                z * (2.02094576023350569471e+00 +
                                     z * (-6.88283971605453293030e-01 + z * 7.70381505559019352791e-02)));
    return p / q;
}

double ArcCosineDouble(double x) {
    if (!(x >= -1.0 && x <= 1.0)) return std::numeric_limits<double>::quiet_NaN();
    if (x == 1.0) return 0.0;
    if (x == -1.0) return kPi;
    if (std::fabs(x) < 0.5) return kHalfPiHi - (x - (kHalfPiLo - x * Ratio(x * x)));
    if (x < 0.0) {
        const double z = (1.0 + x) * 0.5;
        const double s = std::sqrt(z);
        const double w = Ratio(z) * s - kHalfPiLo;
        return kPi - 2.0 * (s + w);
    }
    // Near 1, s is split into a head with a short mantissa and a correction,
    // so 2 * s keeps its full precision.
    const double z = (1.0 - x) * 0.5;
    const double s = std::sqrt(z);
    uint64_t bits;
    std::memcpy(&bits, &s, sizeof(bits));
    bits &= 0xFFFFFFFF00000000ull;
    double head;
    std::memcpy(&head, &bits, sizeof(head));
    const double c = (z - head * head) / (s + head);
    const double w = Ratio(z) * s + c;
    return 2.0 * (head + w);
}

}  // namespace

float ArcCosine(float x) { return static_cast<float>(ArcCosineDouble(static_cast<double>(x))); }
