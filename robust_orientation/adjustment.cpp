// The adjustment of the relative orientation and data snooping.
#include "robust_orientation/adjustment.h"

#include <Eigen/Dense>
#include <Eigen/Geometry>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "common/thread_pool.h"
#include "robust_orientation/precision.h"
#include "two_view/sampson.h"

namespace ro {
namespace {

constexpr int kParameters = 5;
// The inlier set settles within a few adjustments; more would mean it oscillates.
constexpr int kMaxReselections = 4;
// Levenberg-Marquardt damping, relative to the diagonal of the normal matrix: the start,
// and the largest before the solver gives up improving (the error is then at its minimum
// to the last bits).
constexpr double kInitialDamping = 1e-4;
constexpr double kMaxDamping = 1e12;
// An accepted step that changes no parameter by more than this (radians, or parts of the
// base's length) ends the iteration: far below any standard deviation (1e-6 of the
// smallest seen), while the iteration, Gauss-Newton on residuals that are not zero,
// converges only linearly, about a factor 100 a step; or one that lowers the error by less
// than this share, as rounding alone may.
constexpr double kNegligibleStep = 1e-10;
constexpr double kNegligibleDecrease = 1e-14;

using Residuals = Eigen::VectorXd;
using Jacobian = Eigen::Matrix<double, Eigen::Dynamic, kParameters>;
using Vector5d = Eigen::Matrix<double, kParameters, 1>;

struct Problem {
    const CoplanarityModel* model;
    std::span<const Observation> observations;
    const std::vector<int>* used;
    int threads;
};

// Fewest residuals worth a slice of their own on the thread pool: a residual with its
// Jacobian row costs about 60 ns, handing a slice to a pool worker a few microseconds.
constexpr std::size_t kResidualsPerThread = 2048;

int ThreadsFor(const Problem& problem) {
    const std::size_t most = problem.used->size() / kResidualsPerThread;
    return static_cast<int>(std::clamp<std::size_t>(most, 1, std::max(problem.threads, 1)));
}

// The orientation moved by p = (phi, b) (see adjustment.h).
Orientation Moved(const Orientation& o, const Eigen::Matrix<double, 3, 2>& tangent,
                  const Vector5d& p) {
    Orientation moved;
    const Eigen::Vector3d phi = p.head<3>();
    const double angle = phi.norm();
    const Eigen::Matrix3d turn = angle > 0.0
                                     ? Eigen::AngleAxisd(angle, phi / angle).toRotationMatrix()
                                     : Eigen::Matrix3d::Identity();
    moved.attitude = turn * o.attitude;
    moved.base = (o.base + tangent * p.tail<2>()).normalized();
    return moved;
}

// The residuals and their Jacobian by p at p = 0.
struct Linearisation {
    Orientation at;
    Eigen::Matrix<double, 3, 2> tangent;
    Residuals d;
    Jacobian J;
    double cost = 0.0;  // |d|^2
};

// Fills *lin at the orientation o (its vectors keep their storage from call to call).
//
// With the residual's derivative by G = M^T [B]x in the factored form x2 p^T + q x1^T
// (two_view/sampson.h), a change dG changes d by x2^T dG p + q^T dG x1, and G moves with p as
//   dG = -M^T [phi]x [B]x   (M <- exp([phi]x) M)   so  x^T dG y = phi . (M x) x (B x y),
//   dG =  M^T [dB]x         (B <- B + T b)         so  x^T dG y = dB . y x (M x),
// which gives the five derivatives in a few cross products.
void Linearise(const Problem& problem, const Orientation& o, Linearisation* lin) {
    lin->at = o;
    lin->tangent = BaseTangent(o.base);
    const Eigen::Matrix3d& M = o.attitude;
    const Eigen::Vector3d& B = o.base;
    const Eigen::Matrix3d G = CoplanarityMatrix(M, B);
    const Eigen::Matrix<double, 2, 3> tangent_t = lin->tangent.transpose();
    const std::vector<int>& used = *problem.used;
    lin->d.resize(static_cast<Eigen::Index>(used.size()));
    lin->J.resize(static_cast<Eigen::Index>(used.size()), kParameters);
    common::ForSlices(
        used.size(), ThreadsFor(problem), [&](std::size_t begin, std::size_t end, std::size_t) {
            two_view::SampsonGradient g;
            for (std::size_t k = begin; k < end; ++k) {
                const auto row = static_cast<Eigen::Index>(k);
                const Observation& obs = problem.observations[static_cast<std::size_t>(used[k])];
                lin->d(row) = problem.model->SampsonPxWithGradient(G, obs, &g);
                const Eigen::Vector3d x1 = problem.model->Ray1(obs);
                const Eigen::Vector3d m_x2 = M * problem.model->Ray2(obs);
                const Eigen::Vector3d m_q = M * g.q;
                const Eigen::Vector3d rotation = m_x2.cross(B.cross(g.p)) + m_q.cross(B.cross(x1));
                const Eigen::Vector2d base = tangent_t * (g.p.cross(m_x2) + x1.cross(m_q));
                lin->J.row(row) << rotation.x(), rotation.y(), rotation.z(), base.x(), base.y();
            }
            return true;
        });
    lin->cost = lin->d.squaredNorm();
}

bool IsFinite(const Linearisation& lin) { return std::isfinite(lin.cost) && lin.J.allFinite(); }

struct Round {
    bool ok = false;
    int iterations = 0;
    bool converged = false;
    Linearisation lin;  // at the solution
    Matrix5d Q = Matrix5d::Zero();
    double condition = 0.0;  // of the scaled normal matrix
    std::string failure;     // why the round is not ok
};

// The condition number of N scaled to a unit diagonal (adjustment.h); infinite when N is
// singular or has a zero on its diagonal.
double ScaledCondition(const Matrix5d& N) {
    if (!(N.diagonal().minCoeff() > 0.0)) return std::numeric_limits<double>::infinity();
    return ConditionNumber<5>(CorrelationOf(N));
}

// Levenberg-Marquardt with the analytic Jacobian, re-linearised at every accepted step, at
// most `max_iterations` iterations.
Round Adjust(const Problem& problem, const Orientation& start, int max_iterations) {
    Round round;
    round.failure = "no finite, determined solution";
    Linearise(problem, start, &round.lin);
    if (!IsFinite(round.lin)) return round;
    Linearisation next;
    double damping = kInitialDamping;
    for (int iteration = 0; iteration < max_iterations; ++iteration) {
        ++round.iterations;
        const Matrix5d N = round.lin.J.transpose() * round.lin.J;
        const Vector5d g = round.lin.J.transpose() * round.lin.d;
        bool accepted = false;
        const double cost = round.lin.cost;
        Vector5d step = Vector5d::Zero();
        while (damping <= kMaxDamping) {
            Matrix5d damped = N;
            damped.diagonal() *= 1.0 + damping;
            const Eigen::LLT<Matrix5d> factor(damped);
            if (factor.info() != Eigen::Success) return round;
            step = factor.solve(-g);
            // A step too small to matter is not tried: at the minimum, rounding alone
            // decides whether it lowers the error, and damping it further would only repeat
            // the evaluation.
            if (step.cwiseAbs().maxCoeff() <= kNegligibleStep) break;
            Linearise(problem, Moved(round.lin.at, round.lin.tangent, step), &next);
            if (IsFinite(next) && next.cost < round.lin.cost) {
                std::swap(round.lin, next);
                damping = std::max(damping / 10.0, 1e-15);
                accepted = true;
                break;
            }
            damping *= 10.0;
        }
        // No step lowers the error any more, or the last one was negligible: the minimum.
        if (!accepted || step.cwiseAbs().maxCoeff() <= kNegligibleStep ||
            cost - round.lin.cost <= kNegligibleDecrease * cost) {
            round.converged = true;
            break;
        }
    }
    const Matrix5d N = round.lin.J.transpose() * round.lin.J;
    const Eigen::LLT<Matrix5d> normal(N);
    if (normal.info() != Eigen::Success) return round;
    round.Q = normal.solve(Matrix5d::Identity());
    round.condition = ScaledCondition(N);
    round.ok =
        round.Q.allFinite() && round.lin.at.attitude.allFinite() && round.lin.at.base.allFinite();
    if (round.ok && !(round.condition <= kMaxNormalCondition)) {
        round.ok = false;
        char text[256];
        std::snprintf(text, sizeof text,
                      "a nearly singular normal matrix (condition number %.3g of its scaled "
                      "form, at most %.0e allowed): the tie points do not determine the "
                      "orientation",
                      round.condition, kMaxNormalCondition);
        round.failure = text;
    }
    return round;
}

}  // namespace

Eigen::Matrix<double, 3, 2> BaseTangent(const Eigen::Vector3d& base) {
    // Start from the axis least aligned with the base, so that the basis is well defined.
    Eigen::Index axis = 0;
    base.cwiseAbs().minCoeff(&axis);
    const Eigen::Vector3d t1 = (Eigen::Vector3d::Unit(axis) - base(axis) * base).normalized();
    Eigen::Matrix<double, 3, 2> tangent;
    tangent.col(0) = t1;
    tangent.col(1) = base.cross(t1);
    return tangent;
}

Adjustment AdjustWithSnooping(const CoplanarityModel& model,
                              std::span<const Observation> observations, std::vector<int> inliers,
                              const Orientation& start, double sigma_px,
                              const AdjustmentOptions& options, int threads,
                              const InlierSelection& reselect) {
    Adjustment result;
    std::vector<int> used = std::move(inliers);
    std::sort(used.begin(), used.end());
    if (used.size() < static_cast<std::size_t>(kMinAdjustmentPoints)) return result;
    result.status = AdjustmentStatus::failed;
    std::vector<int> snooped;
    const auto max_snooped =
        static_cast<std::size_t>(options.max_snooped_share * static_cast<double>(used.size()));
    Orientation current = start;
    const Problem problem{&model, observations, &used, threads};
    int reselections_left = reselect ? kMaxReselections : 0;
    std::string stage = "the first adjustment";
    while (used.size() >= static_cast<std::size_t>(kMinAdjustmentPoints)) {
        const Round round = Adjust(problem, current, options.max_iterations);
        result.iterations += round.iterations;
        if (!round.ok) {
            // No earlier round stands in: its points were about to change for a reason.
            Adjustment failed;
            failed.status = AdjustmentStatus::failed;
            failed.iterations = result.iterations;
            failed.normal_condition = round.condition;
            failed.failure = stage + " gave " + round.failure;
            return failed;
        }
        current = round.lin.at;
        const auto n = static_cast<Eigen::Index>(used.size());
        result.status = AdjustmentStatus::adjusted;
        result.orientation = current;
        result.converged = round.converged;
        result.cofactor = round.Q;
        result.normal_condition = round.condition;
        result.used = used;
        result.snooped = snooped;
        result.sigma0_px = std::sqrt(round.lin.cost / static_cast<double>(n - kParameters));
        result.residual_px.assign(round.lin.d.begin(), round.lin.d.end());
        result.redundancy.resize(used.size());
        result.w.resize(used.size());
        Eigen::Index worst = -1;
        double worst_w = options.critical_w;
        const Jacobian& J = round.lin.J;
        for (Eigen::Index i = 0; i < n; ++i) {
            const double r = 1.0 - J.row(i) * round.Q * J.row(i).transpose();
            const double w = r > 0.0 ? round.lin.d(i) / (sigma_px * std::sqrt(r))
                                     : std::numeric_limits<double>::quiet_NaN();
            result.redundancy[static_cast<std::size_t>(i)] = r;
            result.w[static_cast<std::size_t>(i)] = w;
            if (std::fabs(w) > worst_w) {
                worst_w = std::fabs(w);
                worst = i;
            }
        }
        if (reselections_left > 0) {
            --reselections_left;
            std::vector<int> reselected = reselect(current);
            std::sort(reselected.begin(), reselected.end());
            if (reselected != used &&
                reselected.size() >= static_cast<std::size_t>(kMinAdjustmentPoints)) {
                used = std::move(reselected);
                stage = "the adjustment after reselecting the inliers";
                continue;
            }
            reselections_left = 0;
        }
        if (worst < 0) break;
        if (snooped.size() >= max_snooped ||
            used.size() <= static_cast<std::size_t>(kMinAdjustmentPoints)) {
            result.snooping_limit_reached = true;
            break;
        }
        snooped.push_back(used[static_cast<std::size_t>(worst)]);
        used.erase(used.begin() + worst);
        stage = "the adjustment after data snooping removed tie point " +
                std::to_string(snooped.back() + 1);
    }
    return result;
}

}  // namespace ro
