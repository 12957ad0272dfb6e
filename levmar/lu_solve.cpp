#include "levmar/lu_solve.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace lm {
namespace {

// Row scale factors 1 / max_j |a_ij|; false if some row is all zeros.
bool RowScales(std::span<const double> a, std::span<double> scale, int m) {
    for (int i = 0; i < m; ++i) {
        double largest = 0.0;
        for (int j = 0; j < m; ++j) {
            const double magnitude = std::fabs(a[i * m + j]);
            if (magnitude > largest) largest = magnitude;
        }
        if (largest == 0.0) return false;
        scale[i] = 1.0 / largest;
    }
    return true;
}

void SwapRows(std::span<double> matrix, int cols, int r1, int r2) {
    const auto width = static_cast<std::size_t>(cols);
    std::span<double> row1 = matrix.subspan(static_cast<std::size_t>(r1) * width, width);
    std::span<double> row2 = matrix.subspan(static_cast<std::size_t>(r2) * width, width);
    std::swap_ranges(row1.begin(), row1.end(), row2.begin());
}

// Crout step for column j: finishes U above the diagonal and returns the pivot row, the one
// with the largest scaled candidate (ties go to the later row).
int EliminateColumn(std::span<double> a, std::span<const double> scale, int m, int j) {
    for (int i = 0; i < j; ++i) {
        double sum = a[i * m + j];
        for (int k = 0; k < i; ++k) sum -= a[i * m + k] * a[k * m + j];
        a[i * m + j] = sum;
    }
    double best = 0.0;
    int pivot = j;
    for (int i = j; i < m; ++i) {
        double sum = a[i * m + j];
        for (int k = 0; k < j; ++k) sum -= a[i * m + k] * a[k * m + j];
        a[i * m + j] = sum;
        const double candidate = scale[i] * std::fabs(sum);
        if (candidate >= best) {
            best = candidate;
            pivot = i;
        }
    }
    return pivot;
}

// Factors a in place (L below the diagonal with unit diagonal, U on and above). The row
// exchanges are applied to the rhs rows (rhs_cols columns each) as they happen, which gives
// the same permuted right-hand side as recording the pivots and applying them during the
// forward substitution.
bool LuFactor(std::span<double> a, std::span<double> scale, std::span<double> rhs, int rhs_cols,
              int m) {
    if (!RowScales(a, scale, m)) return false;
    for (int j = 0; j < m; ++j) {
        const int pivot = EliminateColumn(a, scale, m, j);
        if (pivot != j) {
            SwapRows(a, m, pivot, j);
            SwapRows(rhs, rhs_cols, pivot, j);
            scale[pivot] = scale[j];
        }
        if (a[j * m + j] == 0.0) a[j * m + j] = DBL_EPSILON;
        if (j != m - 1) {
            const double inv_pivot = 1.0 / a[j * m + j];
            for (int i = j + 1; i < m; ++i) a[i * m + j] *= inv_pivot;
        }
    }
    return true;
}

// Forward and back substitution for column col of the (already permuted) rhs.
void Substitute(std::span<const double> lu, std::span<double> rhs, int rhs_cols, int col, int m) {
    auto b = [&](int i) -> double& { return rhs[i * rhs_cols + col]; };
    int first_nonzero = -1;
    for (int i = 0; i < m; ++i) {
        double sum = b(i);
        if (first_nonzero >= 0) {
            for (int j = first_nonzero; j < i; ++j) sum -= lu[i * m + j] * b(j);
        } else if (sum != 0.0) {
            first_nonzero = i;
        }
        b(i) = sum;
    }
    for (int i = m - 1; i >= 0; --i) {
        double sum = b(i);
        for (int j = i + 1; j < m; ++j) sum -= lu[i * m + j] * b(j);
        b(i) = sum / lu[i * m + i];
    }
}

}  // namespace

bool LuSolve(std::span<const double> a, std::span<const double> b, std::span<double> x,
             std::span<double> scratch, int m) {
    const auto mm = static_cast<std::size_t>(m) * static_cast<std::size_t>(m);
    std::span<double> lu = scratch.first(mm);
    std::span<double> scale = scratch.subspan(mm, static_cast<std::size_t>(m));
    std::copy_n(a.begin(), mm, lu.begin());
    std::copy_n(b.begin(), m, x.begin());
    if (!LuFactor(lu, scale, x, 1, m)) return false;
    Substitute(lu, x, 1, 0, m);
    return true;
}

bool LuInvert(std::span<double> a, std::span<double> inverse, std::span<double> scale, int m) {
    for (int i = 0; i < m; ++i) {
        for (int j = 0; j < m; ++j) inverse[i * m + j] = i == j ? 1.0 : 0.0;
    }
    if (!LuFactor(a, scale, inverse, m, m)) return false;
    for (int col = 0; col < m; ++col) Substitute(a, inverse, m, col, m);
    return true;
}

}  // namespace lm
