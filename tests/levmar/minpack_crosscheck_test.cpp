// Independent check against MINPACK's lmdif on a few hundred random, well-posed problems:
// exponential decay, Gaussian and rational curve fits with small noise, and the coplanarity
// model on clean synthetic tie points. Both solvers run to tight tolerances; they must find
// the same minimum.
//
// Tolerances. Both solvers stop where their own finite-difference gradient vanishes. This
// solver's forward step is max(1e-4 |p|, 1e-6), MINPACK's about 1.5e-8 |p|, and the Jacobian
// error E moves the stopping point by about (J^T J)^-1 E^T e: a small fraction of the
// parameters' standard error sigma_j = sqrt(cov_jj) (measured: at most 8e-5 sigma on this
// set). A difference of 1e-3 sigma is statistically irrelevant, so that is the bound on each
// parameter. Near the minimum the cost grows as the squared whitened step divided by the
// n - m degrees of freedom, so the relative cost difference is of order 1e-9 (measured:
// at most 5.5e-10); the bound is 1e-8. On the zero-residual coplanarity problems both
// must reach the true orientation.
#include <cminpack.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "levmar/levmar.h"
#include "testing/coplanarity_reference.h"

namespace lmtest {
namespace {

using scene::MakeTiePoints;
using scene::SceneOptions;

constexpr double kCostRelative = 1e-8;
constexpr double kSigmaFraction = 1e-3;
constexpr double kTruthTolerance = 1e-6;  // clean coplanarity data
constexpr int kProblemsPerFamily = 75;

struct Problem {
    LevmarModelFunction func = nullptr;
    void* adata = nullptr;
    std::vector<double> x;  // measurements
    std::vector<double> start;
    std::vector<double> truth;
    bool exact = false;  // zero residual at the truth
};

struct Curve {
    double (*value)(const double* p, double t);
    std::vector<double> t;
};

void CurveModel(double* p, double* hx, int, int n, void* adata) {
    const auto& curve = *static_cast<const Curve*>(adata);
    for (int i = 0; i < n; ++i) hx[i] = curve.value(p, curve.t[i]);
}

double Decay(const double* p, double t) { return p[0] * std::exp(-p[1] * t) + p[2]; }
double Gaussian(const double* p, double t) {
    const double u = (t - p[1]) / p[2];
    return p[0] * std::exp(-0.5 * u * u);
}
double Rational(const double* p, double t) { return (p[0] + p[1] * t) / (1.0 + p[2] * t); }

struct Family {
    const char* name;
    double (*value)(const double* p, double t);
    double t_min, t_max;
    std::array<double, 3> low, high;  // truth drawn uniformly in [low, high]
    double noise;
    double start_spread;  // relative perturbation of the start
};

const Family kFamilies[] = {
    {"decay", Decay, 0.0, 4.0, {1.0, 0.3, -0.5}, {3.0, 1.5, 0.5}, 0.01, 0.2},
    {"gaussian", Gaussian, -3.0, 3.0, {1.0, -0.5, 0.6}, {2.0, 0.5, 1.2}, 0.01, 0.1},
    {"rational", Rational, 0.0, 2.0, {0.5, -1.0, 0.1}, {1.5, 1.0, 0.5}, 0.005, 0.1},
};

// Owns the model data of the generated problems.
struct ProblemSet {
    std::vector<std::unique_ptr<Curve>> curves;
    std::vector<std::unique_ptr<CoplanarityData>> tie_points;
    std::vector<std::pair<std::string, Problem>> problems;
};

void AddCurveProblems(const Family& family, std::mt19937& rng, ProblemSet& set) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> gauss(0.0, 1.0);
    for (int k = 0; k < kProblemsPerFamily; ++k) {
        auto curve = std::make_unique<Curve>(Curve{family.value, {}});
        Problem problem;
        for (int j = 0; j < 3; ++j) {
            problem.truth.push_back(family.low[j] + (family.high[j] - family.low[j]) * unit(rng));
            const double factor = 1.0 + family.start_spread * (2.0 * unit(rng) - 1.0);
            problem.start.push_back(problem.truth[j] * factor + 0.01 * (2.0 * unit(rng) - 1.0));
        }
        constexpr int n = 25;
        for (int i = 0; i < n; ++i) {
            const double t = family.t_min + (family.t_max - family.t_min) * i / (n - 1);
            curve->t.push_back(t);
            problem.x.push_back(family.value(problem.truth.data(), t) + family.noise * gauss(rng));
        }
        problem.func = CurveModel;
        problem.adata = curve.get();
        set.curves.push_back(std::move(curve));
        set.problems.emplace_back(std::string(family.name) + "_" + std::to_string(k), problem);
    }
}

// Clean tie points of 20 points at depths 3 to 30, from the synthetic scene through the
// model's camera, for orientations with every parameter in -0.1 .. 0.1.
void AddCoplanarityProblems(std::mt19937& rng, ProblemSet& set) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int k = 0; k < kProblemsPerFamily; ++k) {
        std::array<double, 5> truth;
        for (double& value : truth) value = 0.1 * (2.0 * unit(rng) - 1.0);
        SceneOptions options;
        options.points = 20;
        options.seed = static_cast<unsigned>(rng());
        options.camera = ReferenceCamera();
        auto data = std::make_unique<CoplanarityData>();
        data->rows = MakeTiePoints({truth[0], truth[1], truth[2], truth[3], truth[4]}, options);
        Problem problem;
        problem.truth.assign(truth.begin(), truth.end());
        for (double value : truth) problem.start.push_back(value + 0.02 * (2.0 * unit(rng) - 1.0));
        problem.x.assign(20, 0.0);
        problem.func = CoplanarityResiduals;
        problem.adata = data.get();
        problem.exact = true;
        set.tie_points.push_back(std::move(data));
        set.problems.emplace_back("coplanarity_" + std::to_string(k), problem);
    }
}

const ProblemSet& Problems() {
    static const ProblemSet set = [] {
        ProblemSet s;
        std::mt19937 rng(20240611);
        for (const Family& family : kFamilies) AddCurveProblems(family, rng, s);
        AddCoplanarityProblems(rng, s);
        return s;
    }();
    return set;
}

double Cost(const Problem& problem, std::vector<double> p) {
    std::vector<double> hx(problem.x.size());
    problem.func(p.data(), hx.data(), static_cast<int>(p.size()), static_cast<int>(hx.size()),
                 problem.adata);
    double cost = 0.0;
    for (std::size_t i = 0; i < hx.size(); ++i)
        cost += (problem.x[i] - hx[i]) * (problem.x[i] - hx[i]);
    return cost;
}

int MinpackResiduals(void* adata, int n, int m, const double* p, double* fvec, int) {
    const auto& problem = *static_cast<const Problem*>(adata);
    std::vector<double> params(p, p + m);
    problem.func(params.data(), fvec, m, n, problem.adata);
    for (int i = 0; i < n; ++i) fvec[i] = fvec[i] - problem.x[i];
    return 0;
}

// MINPACK to its tightest useful tolerances; returns lmdif's info code.
int SolveWithMinpack(const Problem& problem, std::vector<double>& p) {
    const int m = static_cast<int>(p.size());
    const int n = static_cast<int>(problem.x.size());
    std::vector<double> fvec(n), diag(m), fjac(static_cast<std::size_t>(n) * m), qtf(m), wa1(m),
        wa2(m), wa3(m), wa4(n);
    std::vector<int> ipvt(m);
    int nfev = 0;
    return lmdif(MinpackResiduals, const_cast<Problem*>(&problem), n, m, p.data(), fvec.data(),
                 1e-15, 1e-15, 0.0, 20000, 0.0, diag.data(), 1, 100.0, 0, &nfev, fjac.data(), n,
                 ipvt.data(), qtf.data(), wa1.data(), wa2.data(), wa3.data(), wa4.data());
}

class LevmarAgainstMinpack : public ::testing::TestWithParam<std::size_t> {};

TEST_P(LevmarAgainstMinpack, SameMinimum) {
    const auto& [name, problem] = Problems().problems.at(GetParam());
    const int m = static_cast<int>(problem.start.size());
    const int n = static_cast<int>(problem.x.size());
    // Tight options: no gradient or error threshold, stop on a relative step of 1e-12. The
    // covariance gives the parameters' standard errors for the comparison.
    double opts[LM_OPTS_SZ] = {1e-3, 0.0, 1e-12, 0.0, 1e-6};
    double info[LM_INFO_SZ];
    std::vector<double> ours = problem.start;
    std::vector<double> x = problem.x;
    std::vector<double> covar(static_cast<std::size_t>(m) * m);
    const int ret = dlevmar_dif(problem.func, ours.data(), x.data(), m, n, 10000, opts, info,
                                nullptr, covar.data(), problem.adata);
    ASSERT_GE(ret, 0) << "reason " << info[6];
    EXPECT_NE(info[6], 3) << "iteration limit";

    std::vector<double> theirs = problem.start;
    const int minpack_info = SolveWithMinpack(problem, theirs);
    ASSERT_GE(minpack_info, 1);
    ASSERT_LE(minpack_info, 4);

    const double our_cost = Cost(problem, ours);
    const double their_cost = Cost(problem, theirs);
    if (problem.exact) {
        for (int j = 0; j < m; ++j) {
            EXPECT_NEAR(ours[j], problem.truth[j], kTruthTolerance) << j;
            EXPECT_NEAR(theirs[j], problem.truth[j], kTruthTolerance) << j;
        }
        return;
    }
    EXPECT_LE(std::fabs(our_cost - their_cost), kCostRelative * their_cost)
        << our_cost << " vs " << their_cost;
    for (int j = 0; j < m; ++j) {
        const double sigma = std::sqrt(covar[j * m + j]);
        EXPECT_NEAR(ours[j], theirs[j], kSigmaFraction * sigma) << j;
    }
}

INSTANTIATE_TEST_SUITE_P(RandomProblems, LevmarAgainstMinpack,
                         ::testing::Range<std::size_t>(0, Problems().problems.size()),
                         [](const ::testing::TestParamInfo<std::size_t>& param) {
                             return Problems().problems.at(param.param).first;
                         });

}  // namespace
}  // namespace lmtest
