// The exact nearest / second-nearest rule in squared-distance space, shared by the
// kernels. Every function here has internal linkage, so each kernel file gets its own
// copy compiled for its own target.
//
// The integer distance is d = floor(sqrt(s)) of the squared sum s, and for an integer
// bound t, d < t holds exactly when s < t * t. A candidate therefore changes a row's
// result only when s < dist2^2; its root is taken only then, and the comparisons of the
// plain definition are applied to it in column order, so ties resolve identically.
#pragma once

#include <cstddef>
#include <cstdint>

#include "keypoints/kernels/integer_root.h"
#include "keypoints/kernels/kernel_api.h"

namespace keypoints::kernels {
namespace {

inline constexpr std::int64_t kNoDistanceSquared = std::int64_t{kNoDistance} * kNoDistance;

// Lowest lane threshold: every real accumulator of a byte kernel lies above it (their
// magnitude stays below 65025 * kMaxByteDims < 2^30), so a row without a second-nearest
// candidate yet passes every real column. Padding columns start at INT32_MIN, below it.
inline constexpr std::int32_t kLowestThreshold = -(1 << 30);

struct RowState {
    std::int64_t t2;    // dist2 squared: a candidate matters only when s < t2
    std::int32_t norm;  // |a|^2 of the row
    std::int32_t thr;   // lane threshold derived from t2 (see Threshold)
    int nearest;
    int dist1;
    int second;
    int dist2;
};

// The kernels keep per column an accumulator acc = a.b + h with h = -ceil(q / 2), where
// q is the column's term of s = |a|^2 + q - 2 a.b. Then s < t2 implies
// 2 * acc >= |a|^2 - t2, i.e. acc > floor((|a|^2 - t2 - 1) / 2): one compare per lane
// that never rejects a candidate that can enter the top two.
static inline std::int32_t Threshold(std::int32_t norm, std::int64_t t2) {
    const std::int64_t thr = (std::int64_t{norm} - t2 - 1) >> 1;  // floor division by 2
    return thr < kLowestThreshold ? kLowestThreshold : static_cast<std::int32_t>(thr);
}

static inline void InitRow(RowState* st, std::int32_t norm) {
    st->t2 = kNoDistanceSquared;
    st->norm = norm;
    st->thr = Threshold(norm, st->t2);
    st->nearest = -1;
    st->dist1 = kNoDistance;
    st->second = -1;
    st->dist2 = kNoDistance;
}

// floor(sqrt(s)) of a squared distance, 0 <= s < 2^31.
static inline int RootOf(std::int64_t s) {
    return static_cast<int>(IntegerRoot(static_cast<std::uint64_t>(s)));
}

// Offers candidate `j` with squared distance `s` to the row, in column order.
static inline void Offer(RowState* st, std::int64_t s, int j) {
    if (s >= st->t2) return;  // d >= dist2: the plain rule changes nothing
    const int d = RootOf(s);
    if (d < st->dist1) {
        st->second = st->nearest;
        st->dist2 = st->dist1;
        st->nearest = j;
        st->dist1 = d;
    } else {  // dist1 <= d < dist2
        st->second = j;
        st->dist2 = d;
    }
    st->t2 = std::int64_t{st->dist2} * st->dist2;
    st->thr = Threshold(st->norm, st->t2);
}

static inline void StoreRow(const RowState& st, RowResult* out) {
    out->nearest = st.nearest;
    out->dist1 = st.dist1;
    out->second = st.second;
    out->dist2 = st.dist2;
}

// v when it lies in 0..255; otherwise sets *bad and returns its low byte, so that the
// packing arithmetic stays in range until the caller gives the input up.
static inline int Checked(int v, bool* bad) {
    *bad |= static_cast<unsigned>(v) > 255u;
    return v & 0xFF;
}

static inline std::size_t AlignUp(std::size_t n, std::size_t to) { return (n + to - 1) / to * to; }

// The first address from `raw` on that is a multiple of `to`, as a byte pointer.
static inline std::byte* AlignedFrom(void* raw, std::size_t to) {
    const std::size_t address = reinterpret_cast<std::uintptr_t>(raw);
    return static_cast<std::byte*>(raw) + (AlignUp(address, to) - address);
}

}  // namespace
}  // namespace keypoints::kernels
