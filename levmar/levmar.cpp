// dlevmar_dif: translates levmar's C calling convention into LmSolve's and back.
#include "levmar/levmar.h"

#include <cstddef>
#include <memory>
#include <new>
#include <optional>
#include <span>

#include "levmar/lm_solver.h"

namespace {

lm::LmOptions OptionsFromArray(const double* opts) {
    lm::LmOptions options;
    if (opts == nullptr) return options;
    options.tau = opts[0];
    options.eps1 = opts[1];
    options.eps2 = opts[2];
    options.eps3 = opts[3];
    // A negative delta selects central differences with step |delta|.
    options.delta = opts[4] < 0.0 ? -opts[4] : opts[4];
    options.difference = opts[4] < 0.0 ? lm::LmDifference::kCentral : lm::LmDifference::kForward;
    return options;
}

void FillInfo(const lm::LmResult& result, double* info) {
    if (info == nullptr) return;
    info[0] = result.initial_error_sq;
    info[1] = result.final_error_sq;
    info[2] = result.gradient_inf;
    info[3] = result.last_step_sq;
    info[4] = result.mu_ratio;
    info[5] = result.iterations;
    info[6] = static_cast<int>(result.reason);
    info[7] = static_cast<double>(result.evaluations);
    info[8] = static_cast<double>(result.jacobians);
}

std::optional<lm::LmResult> Solve(const lm::LmProblem& problem, std::span<double> p, int itmax,
                                  const lm::LmOptions& options, double* work,
                                  std::span<double> covar) {
    const std::size_t lu_size = lm::LmLuScratchSize(problem.m);
    if (work == nullptr) return lm::LmSolveAllocating(problem, p, itmax, options, covar);
    std::span<double> caller_block(work, lm::LmWorkSize(problem.m, problem.n));
    if (lu_size == 0) return lm::LmSolve(problem, p, itmax, options, caller_block, {}, covar);
    // Only problems with more than kMaxStackParameters parameters need LU scratch beyond
    // the caller's block: the single allocation of such a call.
    std::unique_ptr<double[]> lu(new (std::nothrow) double[lu_size]);
    if (!lu) return std::nullopt;
    return lm::LmSolve(problem, p, itmax, options, caller_block,
                       std::span<double>(lu.get(), lu_size), covar);
}

}  // namespace

int dlevmar_dif(LevmarModelFunction func, double* p, double* x, int m, int n, int itmax,
                double opts[5], double info[9], double* work, double* covar, void* adata) {
    const lm::LmProblem problem{.func = func, .adata = adata, .m = m, .n = n, .x = x};
    if (p == nullptr || !lm::LmIsValid(problem)) return -1;
    const auto mm = static_cast<std::size_t>(m) * static_cast<std::size_t>(m);
    std::span<double> covar_view =
        covar != nullptr ? std::span<double>(covar, mm) : std::span<double>();
    const std::optional<lm::LmResult> result =
        Solve(problem, std::span<double>(p, static_cast<std::size_t>(m)), itmax,
              OptionsFromArray(opts), work, covar_view);
    if (!result) return -1;
    FillInfo(*result, info);
    return lm::LmReturnValue(*result);
}
