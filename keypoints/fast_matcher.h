// The fast exhaustive matcher: the same nearest / second-nearest candidates and distances
// as the plain search (FindNeighbours), for every input, at the speed of the CPU's integer
// multiply-add units.
//
// When every compared descriptor value lies in 0..255 (and the length is at most
// kernels::kMaxByteDims), squared distances come from dot products computed by a
// vector kernel chosen once at start-up: AVX-512 VNNI (bytes), AVX2 (16-bit pairs) or a
// portable loop. Any other input takes an exact wide-integer path. One thread unless the
// caller asks FindAllNeighbours for more.
#pragma once

#include <vector>

#include "keypoints/matching.h"

namespace keypoints {

enum class MatchKernel {
    automatic,  // the fastest kernel this CPU runs
    vnni,       // AVX-512 VNNI byte kernel
    avx2,       // AVX2 16-bit kernel
    portable,   // baseline x86-64 loop
    wide,       // exact 64-bit per-pair loop, any values
};

// Whether this CPU can run `kernel`; automatic, portable and wide always can.
bool MatchKernelAvailable(MatchKernel kernel);

// The kernel that `automatic` stands for on this CPU.
MatchKernel AutomaticMatchKernel();

// A short lower-case name for reports and benchmark labels.
const char* MatchKernelName(MatchKernel kernel);

// For every keypoint of keys1, in order, its nearest and second-nearest keypoints of
// keys2 exactly as FindNeighbours reports them. A kernel the CPU cannot run is replaced
// by the automatic choice; data outside 0..255 always takes the wide path, whatever the
// kernel asked for. Descriptors shorter than `dims` read as padded with zeros. With
// `threads` > 1 the rows of keys1 are shared out among that many threads; the result is
// the same for every thread count.
std::vector<NeighbourPair> FindAllNeighbours(const KeypointList& keys1, const KeypointList& keys2,
                                             int dims, MatchKernel kernel = MatchKernel::automatic,
                                             int threads = 1);

}  // namespace keypoints
