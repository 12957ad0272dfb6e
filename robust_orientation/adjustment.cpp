// The adjustment of the five elements and data snooping.
#include "adjustment.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>

#include "lm_solver.h"

namespace ro {
namespace {

constexpr int kParameters = 5;
constexpr int kIterationLimit = 100;
// The inlier set settles within a few adjustments; more would mean it oscillates.
constexpr int kMaxReselections = 4;
// The solver stops when a step changes the parameters by less than this share: far below
// their standard deviations; the Gauss-Newton step that follows finishes the job.
constexpr double kSolverRelativeStep = 1e-6;
// Central-difference step of the statistics' Jacobian: the parameters are angles in radians
// and base ratios, all of order 1 or less, so an absolute step balances truncation (h^2)
// against rounding (eps / h).
constexpr double kJacobianStep = 1e-6;

using Residuals = Eigen::VectorXd;
using Jacobian = Eigen::Matrix<double, Eigen::Dynamic, kParameters>;

struct Problem {
    const CoplanarityModel* model;
    std::span<const Observation> observations;
    const std::vector<int>* used;
};

void Evaluate(const Problem& problem, const double* p, double* out) {
    const Eigen::Matrix3d M = AttitudeMatrix(p[2], p[3], p[4]);
    const Eigen::Vector3d B(1.0, p[0], p[1]);
    const std::vector<int>& used = *problem.used;
    for (std::size_t k = 0; k < used.size(); ++k) {
        out[k] =
            problem.model->SampsonPx(M, B, problem.observations[static_cast<std::size_t>(used[k])]);
    }
}

// The solver's model function: adata is a Problem.
void ModelFunction(double* p, double* hx, int /*m*/, int /*n*/, void* adata) {
    Evaluate(*static_cast<const Problem*>(adata), p, hx);
}

Residuals ResidualsAt(const Problem& problem, const std::array<double, 5>& p) {
    Residuals d(static_cast<Eigen::Index>(problem.used->size()));
    Evaluate(problem, p.data(), d.data());
    return d;
}

Jacobian JacobianAt(const Problem& problem, const std::array<double, 5>& p) {
    Jacobian J(static_cast<Eigen::Index>(problem.used->size()), kParameters);
    for (int k = 0; k < kParameters; ++k) {
        std::array<double, 5> plus = p;
        std::array<double, 5> minus = p;
        plus[k] += kJacobianStep;
        minus[k] -= kJacobianStep;
        J.col(k) =
            (ResidualsAt(problem, plus) - ResidualsAt(problem, minus)) / (2.0 * kJacobianStep);
    }
    return J;
}

struct Round {
    bool ok = false;
    std::array<double, 5> p{};
    int iterations = 0;
    bool converged = false;
    Residuals d;
    Jacobian J;
    Matrix5d Q = Matrix5d::Zero();
};

// One adjustment: Levenberg-Marquardt from p, then one Gauss-Newton step with the
// central-difference Jacobian (kept when it lowers the error) so that the solution does not
// depend on the solver's secant-updated Jacobian. The step is tiny by then, so the
// statistics keep the Jacobian taken before it.
Round Adjust(const Problem& problem, std::array<double, 5> p) {
    Round round;
    const int n = static_cast<int>(problem.used->size());
    lm::LmProblem lm_problem;
    lm_problem.func = ModelFunction;
    lm_problem.adata = const_cast<Problem*>(&problem);
    lm_problem.m = kParameters;
    lm_problem.n = n;
    lm::LmOptions options;
    options.eps1 = 1e-12;
    options.eps2 = kSolverRelativeStep;
    options.eps3 = 0.0;
    const std::optional<lm::LmResult> solved =
        lm::LmSolveAllocating(lm_problem, p, kIterationLimit, options, {});
    if (!solved) return round;
    round.iterations = solved->iterations;
    round.converged = solved->reason == lm::LmStopReason::kSmallGradient ||
                      solved->reason == lm::LmStopReason::kSmallStep ||
                      solved->reason == lm::LmStopReason::kSmallError;
    round.d = ResidualsAt(problem, p);
    round.J = JacobianAt(problem, p);
    const Eigen::LLT<Matrix5d> normal(round.J.transpose() * round.J);
    if (normal.info() != Eigen::Success || !round.d.allFinite() || !round.J.allFinite()) {
        return round;
    }
    const Eigen::Matrix<double, 5, 1> step = normal.solve(-round.J.transpose() * round.d);
    std::array<double, 5> q = p;
    for (int k = 0; k < kParameters; ++k) q[k] += step(k);
    Residuals dq = ResidualsAt(problem, q);
    if (dq.allFinite() && dq.squaredNorm() < round.d.squaredNorm()) {
        p = q;
        round.d = std::move(dq);
    }
    round.Q = normal.solve(Matrix5d::Identity());
    round.p = p;
    round.ok = round.Q.allFinite() &&
               std::all_of(p.begin(), p.end(), [](double v) { return std::isfinite(v); });
    return round;
}

}  // namespace

Adjustment AdjustWithSnooping(const CoplanarityModel& model,
                              std::span<const Observation> observations, std::vector<int> inliers,
                              const Elements& start, const AdjustmentSettings& settings,
                              const InlierSelection& reselect) {
    Adjustment result;
    std::vector<int> used = std::move(inliers);
    std::sort(used.begin(), used.end());
    std::vector<int> snooped;
    const auto max_snooped =
        static_cast<std::size_t>(settings.max_snooped_share * static_cast<double>(used.size()));
    std::array<double, 5> p = start.AsArray();
    const Problem problem{&model, observations, &used};
    int reselections_left = reselect ? kMaxReselections : 0;
    while (used.size() >= static_cast<std::size_t>(kMinAdjustmentPoints)) {
        const Round round = Adjust(problem, p);
        if (!round.ok) break;
        p = round.p;
        const auto n = static_cast<Eigen::Index>(used.size());
        result.ok = true;
        result.elements = Elements::FromArray(p.data());
        result.iterations += round.iterations;
        result.converged = round.converged;
        result.cofactor = round.Q;
        result.used = used;
        result.snooped = snooped;
        result.sigma0_px = std::sqrt(round.d.squaredNorm() / static_cast<double>(n - kParameters));
        result.residual_px.assign(round.d.begin(), round.d.end());
        result.redundancy.assign(used.size(), 0.0);
        result.w.assign(used.size(), 0.0);
        if (reselections_left > 0) {
            --reselections_left;
            std::vector<int> reselected = reselect(result.elements);
            std::sort(reselected.begin(), reselected.end());
            if (reselected != used &&
                reselected.size() >= static_cast<std::size_t>(kMinAdjustmentPoints)) {
                used = std::move(reselected);
                continue;
            }
            reselections_left = 0;
        }
        Eigen::Index worst = -1;
        double worst_w = settings.critical_w;
        for (Eigen::Index i = 0; i < n; ++i) {
            const double r = 1.0 - round.J.row(i) * round.Q * round.J.row(i).transpose();
            const double w = r > 0.0 ? round.d(i) / (settings.sigma_px * std::sqrt(r))
                                     : std::numeric_limits<double>::quiet_NaN();
            result.redundancy[static_cast<std::size_t>(i)] = r;
            result.w[static_cast<std::size_t>(i)] = w;
            if (std::fabs(w) > worst_w) {
                worst_w = std::fabs(w);
                worst = i;
            }
        }
        if (worst < 0) break;
        if (snooped.size() >= max_snooped ||
            used.size() <= static_cast<std::size_t>(kMinAdjustmentPoints)) {
            result.snooping_limit_reached = true;
            break;
        }
        snooped.push_back(used[static_cast<std::size_t>(worst)]);
        used.erase(used.begin() + worst);
    }
    return result;
}

Matrix5d CorrelationOf(const Matrix5d& covariance) {
    const Eigen::Matrix<double, 5, 1> inverse_sigma =
        covariance.diagonal().cwiseSqrt().cwiseInverse();
    return inverse_sigma.asDiagonal() * covariance * inverse_sigma.asDiagonal();
}

double ConditionNumber(const Matrix5d& correlation) {
    const Eigen::SelfAdjointEigenSolver<Matrix5d> eigen(correlation, Eigen::EigenvaluesOnly);
    const auto& values = eigen.eigenvalues();
    if (eigen.info() != Eigen::Success || !(values.minCoeff() > 0.0)) {
        return std::numeric_limits<double>::infinity();
    }
    return values.maxCoeff() / values.minCoeff();
}

}  // namespace ro
