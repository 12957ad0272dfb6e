// Layout of the solver's work block (LM_DIF_WORKSZ doubles), carved into named views.
#pragma once

#include <cstddef>
#include <span>

namespace lm {

struct Workspace {
    std::span<double> e;         // x - f(p), n
    std::span<double> hx;        // f(p), n
    std::span<double> jte;       // J^T e, m
    std::span<double> jac;       // J, n x m row-major (row i is the gradient of f_i)
    std::span<double> jtj;       // J^T J, m x m (its diagonal damped during a solve)
    std::span<double> dp;        // the step, m
    std::span<double> diag;      // undamped diagonal of J^T J, m
    std::span<double> p_dp;      // the trial point p + Dp, m
    std::span<double> trial_hx;  // f(p + Dp); also scratch for the Jacobian, n
    std::span<double> trial_e;   // x - f(p + Dp); also scratch for the Jacobian, n
};

// Splits the first LmWorkSize(m, n) doubles of block into the views above.
inline Workspace CarveWorkspace(std::span<double> block, int m, int n) {
    const auto mm = static_cast<std::size_t>(m);
    const auto nn = static_cast<std::size_t>(n);
    std::size_t offset = 0;
    auto take = [&](std::size_t count) {
        std::span<double> view = block.subspan(offset, count);
        offset += count;
        return view;
    };
    Workspace w;
    w.e = take(nn);
    w.hx = take(nn);
    w.jte = take(mm);
    w.jac = take(nn * mm);
    w.jtj = take(mm * mm);
    w.dp = take(mm);
    w.diag = take(mm);
    w.p_dp = take(mm);
    w.trial_hx = take(nn);
    w.trial_e = take(nn);
    return w;
}

}  // namespace lm
