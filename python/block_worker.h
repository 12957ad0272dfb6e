// The worker side of a block run on a cluster: every pair of a chunk oriented as
// orient-block orients it, each key file parsed once for all the chunk's pairs.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace relative_orientation_python {

// Orients the pairs of a chunk (block::EncodeChunk's bytes); a photograph's key file comes
// from `shipped` (its contents by photograph number) when there, else from its path. One
// block::EncodePair record per pair, in the chunk's order. Throws block::WireError for a
// malformed chunk and block::InputError naming a key file that cannot be used.
std::vector<std::vector<std::uint8_t>> OrientChunk(const std::string& task,
                                                   const std::map<int, std::string>& shipped);

}  // namespace relative_orientation_python
