// Sturm's theorem: along the chain p0 = p, p1 = p', p(k+1) = -rem(p(k-1), p(k)), the number
// V(a) - V(b) of lost sign changes equals the number of distinct real roots in (a, b].
//
// The real line is searched in two halves of equal standing: the roots with |z| <= 1 (more
// exactly z in (-1, 1]) as roots of p itself on (-1, 1], and the others as roots w in (-1, 1]
// of q(w) = w^n p(-1/w), z = -1/w. A single bound for all roots would squeeze the moderate
// roots into a tiny cluster next to a huge one (a near-zero leading coefficient), where the
// chain can no longer tell them apart; split this way, a huge root becomes a lone root near
// w = 0 and nothing is squeezed.
#include "two_view/sturm.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace two_view {
namespace {

constexpr int kMaxCoefficients = kMaxSturmDegree + 1;

// An interval is not split further once it is this narrow relative to its end points, or
// once it has been halved kMaxDepth times: the roots inside form one cluster.
constexpr double kClusterWidth = 0x1p-50;
constexpr int kMaxDepth = 80;
// Sturm-chain evaluations allowed for one half-line, and Newton steps for one root.
constexpr int kMaxEvaluations = 600;
constexpr int kMaxNewtonSteps = 100;
// Newton steps end once a step moves the root by less than this fraction of it; the final
// polishing step then reaches the accuracy that the coefficients allow.
constexpr double kNewtonTolerance = 1e-14;
// A leading coefficient of a remainder below this fraction of its largest one is dropped.
constexpr double kNegligible = 1e-100;

struct Polynomial {
    std::array<double, kMaxCoefficients> c{};  // ascending powers
    int degree = 0;
};

double Evaluate(const Polynomial& p, double s) {
    double v = p.c[p.degree];
    for (int i = p.degree - 1; i >= 0; --i) v = v * s + p.c[i];
    return v;
}

// p(s) and p'(s) together.
void EvaluateWithDerivative(const Polynomial& p, double s, double* value, double* slope) {
    double v = p.c[p.degree];
    double d = 0.0;
    for (int i = p.degree - 1; i >= 0; --i) {
        d = d * s + v;
        v = v * s + p.c[i];
    }
    *value = v;
    *slope = d;
}

double MaxAbsCoefficient(const Polynomial& p) {
    double m = 0.0;
    for (int i = 0; i <= p.degree; ++i) m = std::max(m, std::abs(p.c[i]));
    return m;
}

// Multiplies by a positive factor (signs are kept) so that the largest coefficient
// magnitude is 1, after dropping zero leading coefficients. False for the zero polynomial.
bool Normalise(Polynomial* p) {
    while (p->degree > 0 && p->c[p->degree] == 0.0) --p->degree;
    const double m = MaxAbsCoefficient(*p);
    if (!(m > 0.0) || !std::isfinite(m)) return false;
    const double factor = 1.0 / m;
    for (int i = 0; i <= p->degree; ++i) p->c[i] *= factor;
    for (int i = p->degree + 1; i < kMaxCoefficients; ++i) p->c[i] = 0.0;
    return true;
}

// The members are computed without trimming by size: a remainder's leading coefficient is
// dropped only when it is negligible or zero, and the chain ends only when a remainder
// vanishes (at the common divisor of p and p', whose roots are the multiple ones). Cutting
// the chain at a relative threshold loses roots, since remainders can legitimately shrink
// by many orders of magnitude. Each member is evaluated from its own coefficients.
class SturmChain {
  public:
    explicit SturmChain(const Polynomial& p) {
        chain_[0] = p;
        Polynomial& d = chain_[1];
        d.degree = p.degree - 1;
        for (int i = 1; i <= p.degree; ++i) d.c[i - 1] = i * p.c[i];
        size_ = Normalise(&d) ? 2 : 1;
        while (size_ >= 2 && size_ < kMaxCoefficients && chain_[size_ - 1].degree > 0) {
            if (!AppendNegatedRemainder()) break;
        }
    }

    // Number of sign changes along the chain at s; zeros are skipped.
    int SignChanges(double s) const {
        int changes = 0;
        double last = 0.0;
        for (int k = 0; k < size_; ++k) {
            const double v = Evaluate(chain_[k], s);
            if (v == 0.0) continue;
            if (last != 0.0 && (v < 0.0) != (last < 0.0)) ++changes;
            last = v;
        }
        return changes;
    }

  private:
    bool AppendNegatedRemainder() {
        const Polynomial& a = chain_[size_ - 2];
        const Polynomial& b = chain_[size_ - 1];
        Polynomial r = a;
        const double inverse_lead = 1.0 / b.c[b.degree];
        for (int i = a.degree; i >= b.degree; --i) {
            const double q = r.c[i] * inverse_lead;
            for (int j = 0; j < b.degree; ++j) r.c[i - b.degree + j] -= q * b.c[j];
        }
        r.degree = b.degree - 1;
        const double scale = MaxAbsCoefficient(r);
        if (!(scale > 0.0) || !std::isfinite(scale)) return false;
        while (r.degree > 0 && std::abs(r.c[r.degree]) <= kNegligible * scale) --r.degree;
        for (int i = 0; i <= r.degree; ++i) r.c[i] = -r.c[i];
        if (!Normalise(&r)) return false;
        chain_[size_++] = r;
        return true;
    }

    std::array<Polynomial, kMaxCoefficients> chain_{};
    int size_ = 0;
};

struct Interval {
    double lo, hi;  // the roots counted are those in (lo, hi]
    int changes_lo, changes_hi;
    int depth;
};

// The roots of p in (-1, 1], ascending, by bisection on the chain's counts.
class RootIsolator {
  public:
    RootIsolator(const Polynomial& p, std::span<double, kMaxSturmDegree> roots)
        : p_(p), chain_(p), roots_(roots) {}

    int Run() {
        Push({-1.0, 1.0, chain_.SignChanges(-1.0), chain_.SignChanges(1.0), 0});
        while (top_ > 0 && evaluations_ < kMaxEvaluations && count_ < kMaxSturmDegree) {
            const Interval v = stack_[--top_];
            const int inside = v.changes_lo - v.changes_hi;
            if (inside <= 0) continue;
            if (IsCluster(v)) {
                Emit(0.5 * (v.lo + v.hi));
            } else if (inside == 1) {
                Emit(Refine(v));
            } else {
                const double mid = 0.5 * (v.lo + v.hi);
                const int changes_mid = Count(mid);
                // Right half first so that the left one is handled first: ascending roots.
                Push({mid, v.hi, changes_mid, v.changes_hi, v.depth + 1});
                Push({v.lo, mid, v.changes_lo, changes_mid, v.depth + 1});
            }
        }
        return count_;
    }

  private:
    static bool IsCluster(const Interval& v) {
        return v.depth >= kMaxDepth ||
               v.hi - v.lo <= kClusterWidth * std::max(std::abs(v.lo), std::abs(v.hi));
    }

    int Count(double s) {
        ++evaluations_;
        return chain_.SignChanges(s);
    }

    void Push(const Interval& v) {
        // Intervals on the stack are disjoint and each holds a root, so there are never more
        // than kMaxSturmDegree of them; the guard only protects against a miscounting chain.
        if (top_ < static_cast<int>(stack_.size())) stack_[top_++] = v;
    }

    void Emit(double s) { roots_[count_++] = s; }

    // The one root in (lo, hi]: Newton steps kept inside a shrinking bracket, bisection
    // whenever a step would leave it. Without a sign change of p between the ends (a root of
    // even multiplicity, or p(lo) = 0) the interval is halved on the chain's counts instead.
    double Refine(const Interval& v) {
        double f_lo = Evaluate(p_, v.lo);
        const double f_hi = Evaluate(p_, v.hi);
        if (f_hi == 0.0) return v.hi;
        if (f_lo == 0.0 || (f_lo < 0.0) == (f_hi < 0.0)) return BisectOnCounts(v);
        double lo = v.lo, hi = v.hi;
        double s = 0.5 * (lo + hi);
        for (int step = 0; step < kMaxNewtonSteps; ++step) {
            // No stop on |f| below an a-priori bound of its rounding error: that bound is far
            // too pessimistic where roots cluster and stopped Newton up to 1e-4 short of them.
            double f = 0.0, slope = 0.0;
            EvaluateWithDerivative(p_, s, &f, &slope);
            if (f == 0.0) return s;
            if ((f < 0.0) == (f_lo < 0.0)) {
                lo = s;
                f_lo = f;
            } else {
                hi = s;
            }
            double next = s - f / slope;
            if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
            const double tolerance = kNewtonTolerance * std::abs(next);
            const bool done = std::abs(next - s) <= tolerance || hi - lo <= tolerance;
            s = next;
            if (done) break;
        }
        return s;
    }

    double BisectOnCounts(Interval v) {
        while (!IsCluster(v) && evaluations_ < kMaxEvaluations) {
            const double mid = 0.5 * (v.lo + v.hi);
            const int changes_mid = Count(mid);
            if (v.changes_lo - changes_mid >= 1) {
                v = {v.lo, mid, v.changes_lo, changes_mid, v.depth + 1};
            } else {
                v = {mid, v.hi, changes_mid, v.changes_hi, v.depth + 1};
            }
        }
        return 0.5 * (v.lo + v.hi);
    }

    const Polynomial& p_;
    SturmChain chain_;
    std::span<double, kMaxSturmDegree> roots_;
    std::array<Interval, kMaxSturmDegree + 1> stack_{};
    int top_ = 0;
    int count_ = 0;
    int evaluations_ = 0;
};

// One Newton step on the original coefficients, kept when it lowers |p|.
double Polish(const Polynomial& p, double z) {
    double f = 0.0, slope = 0.0;
    EvaluateWithDerivative(p, z, &f, &slope);
    if (f == 0.0 || slope == 0.0) return z;
    const double next = z - f / slope;
    if (!std::isfinite(next)) return z;
    return std::abs(Evaluate(p, next)) < std::abs(f) ? next : z;
}

}  // namespace

int SturmRealRoots(std::span<const double> coefficients, std::span<double, kMaxSturmDegree> roots) {
    const int n = static_cast<int>(coefficients.size()) - 1;
    if (n < 1 || n > kMaxSturmDegree || coefficients[n] == 0.0) return 0;
    Polynomial p;
    p.degree = n;
    for (int i = 0; i <= n; ++i) {
        if (!std::isfinite(coefficients[i])) return 0;
        p.c[i] = coefficients[i];
    }
    // q(w) = w^n p(-1/w): the coefficient of w^j is (-1)^(n-j) c(n-j).
    Polynomial inner = p, outer;
    outer.degree = n;
    for (int j = 0; j <= n; ++j) outer.c[j] = ((n - j) % 2 == 0 ? 1.0 : -1.0) * p.c[n - j];
    if (!Normalise(&inner)) return 0;

    std::array<double, kMaxSturmDegree> found{};
    int count = RootIsolator(inner, found).Run();
    if (Normalise(&outer) && outer.degree > 0) {
        std::array<double, kMaxSturmDegree> w{};
        const int outer_count = RootIsolator(outer, w).Run();
        for (int i = 0; i < outer_count && count < kMaxSturmDegree; ++i) {
            if (w[i] != 0.0) found[count++] = -1.0 / w[i];
        }
    }
    int finite = 0;
    for (int i = 0; i < count; ++i) {
        const double z = Polish(p, found[i]);
        if (std::isfinite(z)) roots[finite++] = z;
    }
    std::sort(roots.begin(), roots.begin() + finite);
    return finite;
}

}  // namespace two_view
