// The adjustment of the five elements and data snooping.
#include "robust_orientation/adjustment.h"

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <limits>

#include "common/thread_pool.h"
#include "levmar/lm_solver.h"

namespace ro {
namespace {

constexpr int kParameters = 5;
constexpr int kIterationLimit = 100;
// The inlier set settles within a few adjustments; more would mean it oscillates.
constexpr int kMaxReselections = 4;
// The solver stops when a step changes the parameters by less than this share: far below
// their standard deviations; the Gauss-Newton step that follows finishes the job.
constexpr double kSolverRelativeStep = 1e-6;
// Gauss-Newton steps after the solver: at most this many, fewer once a step changes no
// parameter by more than kNegligibleStep (radians or base ratio, far below any sigma).
constexpr int kGaussNewtonSteps = 3;
constexpr double kNegligibleStep = 1e-12;

using Residuals = Eigen::VectorXd;
using Jacobian = Eigen::Matrix<double, Eigen::Dynamic, kParameters>;

struct Problem {
    const CoplanarityModel* model;
    std::span<const Observation> observations;
    const std::vector<int>* used;
    int threads;
};

// Fewest residuals worth a thread of their own. Each evaluation starts its threads afresh
// (tens of microseconds each on a virtual machine) while a residual costs about 25 ns, so a
// thread pays only for long slices: with 512 residuals a thread, 2400 inliers took 8.4 ms
// to adjust on two threads against 5.6 ms on one.
constexpr std::size_t kResidualsPerThread = 16384;

int ThreadsFor(const Problem& problem) {
    const std::size_t most = problem.used->size() / kResidualsPerThread;
    return static_cast<int>(std::clamp<std::size_t>(most, 1, std::max(problem.threads, 1)));
}

void Evaluate(const Problem& problem, const double* p, double* out) {
    const Eigen::Matrix3d M = AttitudeMatrix(p[2], p[3], p[4]);
    const Eigen::Vector3d B(1.0, p[0], p[1]);
    const std::vector<int>& used = *problem.used;
    common::ForSlices(used.size(), ThreadsFor(problem),
                      [&](std::size_t begin, std::size_t end, std::size_t) {
                          for (std::size_t k = begin; k < end; ++k) {
                              out[k] = problem.model->SampsonPx(
                                  M, B, problem.observations[static_cast<std::size_t>(used[k])]);
                          }
                          return true;
                      });
}

// The solver's model function: adata is a Problem.
void ModelFunction(double* p, double* hx, int /*m*/, int /*n*/, void* adata) {
    Evaluate(*static_cast<const Problem*>(adata), p, hx);
}

// The residuals and their analytic Jacobian at p.
void ResidualsAndJacobian(const Problem& problem, const std::array<double, 5>& p, Residuals* d,
                          Jacobian* J) {
    const AttitudeDerivatives attitude = AttitudeWithDerivatives(p[2], p[3], p[4]);
    const Eigen::Vector3d B(1.0, p[0], p[1]);
    const std::vector<int>& used = *problem.used;
    d->resize(static_cast<Eigen::Index>(used.size()));
    J->resize(static_cast<Eigen::Index>(used.size()), kParameters);
    common::ForSlices(
        used.size(), ThreadsFor(problem), [&](std::size_t begin, std::size_t end, std::size_t) {
            double gradient[kParameters];
            for (std::size_t k = begin; k < end; ++k) {
                const auto row = static_cast<Eigen::Index>(k);
                (*d)(row) = problem.model->SampsonPxWithGradient(
                    attitude, B, problem.observations[static_cast<std::size_t>(used[k])], gradient);
                for (int c = 0; c < kParameters; ++c) (*J)(row, c) = gradient[c];
            }
            return true;
        });
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

// Gauss-Newton steps from p with the analytic Jacobian, each kept only when it lowers the
// error; then the residuals, the Jacobian and the cofactor matrix at the solution.
Round Polish(const Problem& problem, std::array<double, 5> p, Round round) {
    Residuals d;
    Jacobian J;
    ResidualsAndJacobian(problem, p, &d, &J);
    for (int step = 0; step < kGaussNewtonSteps; ++step) {
        const Eigen::LLT<Matrix5d> normal(J.transpose() * J);
        if (normal.info() != Eigen::Success || !d.allFinite() || !J.allFinite()) return round;
        const Eigen::Matrix<double, 5, 1> delta = normal.solve(-J.transpose() * d);
        std::array<double, 5> q = p;
        for (int k = 0; k < kParameters; ++k) q[k] += delta(k);
        Residuals dq;
        Jacobian Jq;
        ResidualsAndJacobian(problem, q, &dq, &Jq);
        if (!(dq.allFinite() && dq.squaredNorm() < d.squaredNorm())) break;
        p = q;
        d = std::move(dq);
        J = std::move(Jq);
        if (delta.cwiseAbs().maxCoeff() <= kNegligibleStep) break;
    }
    const Eigen::LLT<Matrix5d> normal(J.transpose() * J);
    if (normal.info() != Eigen::Success || !d.allFinite() || !J.allFinite()) return round;
    round.Q = normal.solve(Matrix5d::Identity());
    round.p = p;
    round.d = std::move(d);
    round.J = std::move(J);
    round.ok = round.Q.allFinite() &&
               std::all_of(p.begin(), p.end(), [](double v) { return std::isfinite(v); });
    return round;
}

// One adjustment from a start that may be far off: Levenberg-Marquardt, then the
// Gauss-Newton polish, so that the solution does not depend on the solver's secant-updated
// Jacobian.
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
    return Polish(problem, p, std::move(round));
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
    const Problem problem{&model, observations, &used, settings.threads};
    int reselections_left = reselect ? kMaxReselections : 0;
    // After a point is snooped the solution moves little: Gauss-Newton steps from the last
    // one adjust again; a new inlier set may move it more, so it gets the solver.
    bool near_solution = false;
    while (used.size() >= static_cast<std::size_t>(kMinAdjustmentPoints)) {
        Round converged;
        converged.converged = true;
        const Round round =
            near_solution ? Polish(problem, p, std::move(converged)) : Adjust(problem, p);
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
        near_solution = true;
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
