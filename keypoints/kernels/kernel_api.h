// The interface between the matcher and its dot-product kernels.
//
// Each kernel lives in its own source file, compiled with its own target flags, and is
// chosen at run time by what the CPU supports. So that no inline library code compiled
// for a wide target can end up shared with baseline code, kernel files include only this
// header, row_state.h and intrinsics, and work on raw pointers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace keypoints::kernels {

// Largest descriptor length the byte kernels take: below it every dot product, norm and
// squared distance of 0..255 values is exact in 32-bit lanes (8192 * 65025 < 2^31 / 3).
inline constexpr int kMaxByteDims = 8192;

// The distance of a candidate not yet seen: kNoCandidateDistance of matching.h, which
// kernel files do not include (fast_matcher.cpp checks that the two agree).
inline constexpr int kNoDistance = 1000000000;

// The nearest and second-nearest candidates of one row of the first list, with the
// same meaning as NeighbourPair (indices into the second list, -1 when absent).
struct RowResult {
    int nearest;
    int dist1;
    int second;
    int dist2;
};

// Two descriptor lists as row pointers, each row holding at least `dims` values. The
// byte kernels handle values in 0..255 only; they check that while packing the lists.
struct IntLists {
    const int* const* a;  // n1 rows of the first list
    const int* const* b;  // n2 rows of the second list
    int n1;
    int n2;
    int dims;
};

// Descriptor length rounded up to whole groups of four (padded with zeros).
inline int PaddedDims(int dims) { return (dims + 3) / 4 * 4; }

// Each kernel needs a scratch area of *ScratchBytes(lists) bytes (any alignment) and
// writes one RowResult per row of the first list. It returns false, having written
// nothing, when some value lies outside 0..255. Requires n1 > 0, n2 > 0 and
// 0 < dims <= kMaxByteDims.
std::size_t VnniScratchBytes(const IntLists& lists);
bool VnniNeighbours(const IntLists& lists, void* scratch, RowResult* out);

std::size_t Avx2ScratchBytes(const IntLists& lists);
bool Avx2Neighbours(const IntLists& lists, void* scratch, RowResult* out);

std::size_t PortableScratchBytes(const IntLists& lists);
bool PortableNeighbours(const IntLists& lists, void* scratch, RowResult* out);

}  // namespace keypoints::kernels
