// The chi-square distribution from Boost.Math. Arguments outside the domain are answered
// here, before Boost sees them; Boost runs under a policy that turns each of its errors
// into a returned value (NaN, infinity, the best result found) instead of an exception,
// so that the estimation never throws from here.
#include "robust_orientation/chi_square.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <cmath>
#include <limits>

namespace ro {
namespace {

namespace policies = boost::math::policies;

using NoThrow = policies::policy<policies::domain_error<policies::ignore_error>,
                                 policies::pole_error<policies::ignore_error>,
                                 policies::overflow_error<policies::ignore_error>,
                                 policies::underflow_error<policies::ignore_error>,
                                 policies::denorm_error<policies::ignore_error>,
                                 policies::evaluation_error<policies::ignore_error>,
                                 policies::rounding_error<policies::ignore_error>,
                                 policies::indeterminate_result_error<policies::ignore_error>>;

using ChiSquared = boost::math::chi_squared_distribution<double, NoThrow>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool ValidDof(double dof) { return dof > 0.0 && std::isfinite(dof); }

}  // namespace

double ChiSquareCdf(double x, double dof) {
    if (std::isnan(x) || !ValidDof(dof)) return kNaN;
    if (x <= 0.0) return 0.0;
    if (std::isinf(x)) return 1.0;
    return boost::math::cdf(ChiSquared(dof), x);
}

double ChiSquareQuantile(double p, double dof) {
    if (!(p > 0.0 && p < 1.0) || !ValidDof(dof)) return kNaN;
    return boost::math::quantile(ChiSquared(dof), p);
}

}  // namespace ro
