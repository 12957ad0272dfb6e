// The decoders of what travels between a block run's client and its workers (block/wire.h)
// on arbitrary bytes: the first byte chooses the decoder (even: a chunk of pairs, odd: a
// finished pair), the rest is its input. Besides the sanitizers' checks: a decoded chunk's
// pairs use only its photographs, in order; a decoded pair's tie points are whole; what was
// decoded encodes to bytes that decode to the same encoding; a refusal says which message.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "block/wire.h"
#include "fuzz/fuzz_check.h"

namespace {

void Chunk(std::span<const std::uint8_t> bytes) {
    try {
        const block::ChunkTask chunk = block::DecodeChunk(bytes);
        for (const block::ChunkPair& pair : chunk.pairs) {
            FUZZ_CHECK(pair.photo1 < pair.photo2, "a pair out of order");
            bool first = false;
            bool second = false;
            for (const block::ChunkPhoto& photo : chunk.photos) {
                first = first || photo.index == pair.photo1;
                second = second || photo.index == pair.photo2;
            }
            FUZZ_CHECK(first && second, "a pair of a photograph the chunk lacks");
        }
        const std::vector<std::uint8_t> again = block::EncodeChunk(chunk);
        FUZZ_CHECK(block::EncodeChunk(block::DecodeChunk(again)) == again,
                   "a chunk that does not survive its encoding");
    } catch (const block::WireError& error) {
        FUZZ_CHECK(std::string(error.what()).starts_with("a chunk of pairs"),
                   "a refusal that does not name the chunk");
    }
}

void Pair(std::span<const std::uint8_t> bytes) {
    try {
        const block::PairMessage pair = block::DecodePair(bytes);
        FUZZ_CHECK(pair.row.tie_points.size() % block::kTiePointBytes == 0, "a broken tie point");
        FUZZ_CHECK(pair.photo1 < pair.photo2, "a pair out of order");
        const std::vector<std::uint8_t> again = block::EncodePair(pair);
        FUZZ_CHECK(block::EncodePair(block::DecodePair(again)) == again,
                   "a pair that does not survive its encoding");
    } catch (const block::WireError& error) {
        FUZZ_CHECK(std::string(error.what()).starts_with("a finished pair"),
                   "a refusal that does not name the pair");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::span<const std::uint8_t> rest(data + 1, size - 1);
    if (data[0] % 2 == 0) {
        Chunk(rest);
    } else {
        Pair(rest);
    }
    return 0;
}
