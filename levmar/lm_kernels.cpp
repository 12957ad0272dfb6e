#include "levmar/lm_kernels.h"

#include <cfloat>
#include <cmath>
#include <cstddef>

namespace lm {

double SquaredError(const double* x, std::span<const double> y, std::span<double> e) {
    const std::size_t n = y.size();
    for (std::size_t i = 0; i < n; ++i) e[i] = x != nullptr ? x[i] - y[i] : -y[i];
    double sums[4] = {0.0, 0.0, 0.0, 0.0};
    const std::size_t blocked = n - n % 8;
    for (std::size_t i = 0; i < blocked; ++i) sums[i % 4] += e[i] * e[i];
    for (std::size_t i = blocked; i < n; ++i) sums[0] += e[i] * e[i];
    return ((sums[0] + sums[1]) + sums[2]) + sums[3];
}

double SquaredSum(std::span<const double> v) {
    double sum = 0.0;
    for (double value : v) sum += value * value;
    return sum;
}

namespace {

double DifferenceStep(double p_j, double delta) {
    const double step = std::fabs(1e-4 * p_j);
    return step < delta ? delta : step;
}

}  // namespace

void FiniteDifferenceJacobian(const LmProblem& problem, std::span<double> p,
                              std::span<const double> hx, double delta, LmDifference difference,
                              std::span<double> jac, std::span<double> scratch_a,
                              std::span<double> scratch_b) {
    const int m = problem.m;
    const int n = problem.n;
    for (int j = 0; j < m; ++j) {
        const double step = DifferenceStep(p[j], delta);
        const double saved = p[j];
        if (difference == LmDifference::kForward) {
            p[j] += step;
            problem.func(p.data(), scratch_a.data(), m, n, problem.adata);
            p[j] = saved;
            const double inv_step = 1.0 / step;
            for (int i = 0; i < n; ++i) jac[i * m + j] = (scratch_a[i] - hx[i]) * inv_step;
        } else {
            p[j] = saved - step;
            problem.func(p.data(), scratch_a.data(), m, n, problem.adata);
            p[j] = saved + step;
            problem.func(p.data(), scratch_b.data(), m, n, problem.adata);
            p[j] = saved;
            const double half_inv_step = 0.5 / step;
            for (int i = 0; i < n; ++i) {
                jac[i * m + j] = (scratch_b[i] - scratch_a[i]) * half_inv_step;
            }
        }
    }
}

void FormNormalEquations(std::span<const double> jac, std::span<const double> e, int m, int n,
                         std::span<double> jtj, std::span<double> jte) {
    for (int i = 0; i < m; ++i) {
        for (int j = i; j < m; ++j) {
            double sum = 0.0;
            for (int l = 0; l < n; ++l) sum += jac[l * m + i] * jac[l * m + j];
            jtj[i * m + j] = sum;
            jtj[j * m + i] = sum;
        }
    }
    for (int i = 0; i < m; ++i) {
        double sum = 0.0;
        for (int l = 0; l < n; ++l) sum += jac[l * m + i] * e[l];
        jte[i] = sum;
    }
}

double InfNorm(std::span<const double> v) {
    double largest = 0.0;
    for (double value : v) {
        const double magnitude = std::fabs(value);
        if (magnitude > largest) largest = magnitude;
    }
    return largest;
}

double MaxDiagonal(std::span<const double> a, int m) {
    double largest = -DBL_MAX;
    for (int i = 0; i < m; ++i) {
        if (a[i * m + i] > largest) largest = a[i * m + i];
    }
    return largest;
}

void BroydenUpdate(std::span<double> jac, std::span<const double> dp, double dp_sq,
                   std::span<const double> trial_hx, std::span<const double> hx, int n) {
    const std::size_t m = dp.size();
    for (int i = 0; i < n; ++i) {
        double* row = jac.data() + i * m;
        double predicted = 0.0;
        for (std::size_t l = 0; l < m; ++l) predicted += row[l] * dp[l];
        const double scale = ((trial_hx[i] - hx[i]) - predicted) / dp_sq;
        for (std::size_t j = 0; j < m; ++j) row[j] += scale * dp[j];
    }
}

}  // namespace lm
