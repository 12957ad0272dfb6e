// The chi-square distribution through the regularised incomplete gamma function
// P(a, x) = gamma(a, x) / Gamma(a), with chi-square(k) CDF P(k / 2, x / 2): a power series
// below x = a + 1, a continued fraction above it (both converge fast there).
#include "robust_orientation/chi_square.h"

#include <cmath>
#include <limits>

namespace ro {
namespace {

constexpr int kMaxTerms = 100000;
constexpr double kTolerance = 1e-15;

// x^a e^-x / Gamma(a), the factor both expansions share.
double Prefactor(double a, double x) { return std::exp(a * std::log(x) - x - std::lgamma(a)); }

// P(a, x) = x^a e^-x / Gamma(a) * sum_n x^n / (a (a+1) ... (a+n)).
double LowerSeries(double a, double x) {
    double term = 1.0 / a;
    double sum = term;
    for (int n = 1; n < kMaxTerms; ++n) {
        term *= x / (a + n);
        sum += term;
        if (std::fabs(term) < std::fabs(sum) * kTolerance) break;
    }
    return sum * Prefactor(a, x);
}

// Q(a, x) = 1 - P(a, x) by its continued fraction, evaluated with the modified Lentz
// method.
double UpperFraction(double a, double x) {
    constexpr double kTiny = 1e-300;
    double b = x + 1.0 - a;
    double c = 1.0 / kTiny;
    double d = 1.0 / b;
    double h = d;
    for (int i = 1; i < kMaxTerms; ++i) {
        const double an = -i * (i - a);
        b += 2.0;
        d = an * d + b;
        if (std::fabs(d) < kTiny) d = kTiny;
        c = b + an / c;
        if (std::fabs(c) < kTiny) c = kTiny;
        d = 1.0 / d;
        const double step = d * c;
        h *= step;
        if (std::fabs(step - 1.0) < kTolerance) break;
    }
    return Prefactor(a, x) * h;
}

double RegularisedLowerGamma(double a, double x) {
    if (!(x > 0.0)) return 0.0;
    if (x < a + 1.0) return LowerSeries(a, x);
    return 1.0 - UpperFraction(a, x);
}

}  // namespace

double ChiSquareCdf(double x, double dof) {
    if (std::isinf(x)) return 1.0;
    return RegularisedLowerGamma(dof / 2.0, x / 2.0);
}

double ChiSquareQuantile(double p, double dof) {
    if (!(p > 0.0 && p < 1.0) || !(dof > 0.0)) return std::numeric_limits<double>::quiet_NaN();
    // The CDF is increasing: bisect between 0 and a bound far beyond the mean.
    double lo = 0.0;
    double hi = dof + 10.0;
    while (ChiSquareCdf(hi, dof) < p && hi < 1e300) hi *= 2.0;
    for (int i = 0; i < 200 && hi - lo > 1e-14 * hi; ++i) {
        const double mid = 0.5 * (lo + hi);
        (ChiSquareCdf(mid, dof) < p ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

}  // namespace ro
