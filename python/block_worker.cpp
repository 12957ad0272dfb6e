#include "python/block_worker.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <utility>

#include "block/photographs.h"
#include "block/plan.h"
#include "block/wire.h"
#include "keypoints/fast_reader.h"

namespace relative_orientation_python {
namespace {

// Parses key file contents shipped by the client, as the file itself would be parsed.
std::string ParseShipped(const std::string& contents, pair_run::KeypointFile& keys) {
    keypoints::KeyFileParse parse;
    if (contents.empty()) {
        parse = keypoints::ParseKeyText(contents);
    } else {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> stream(
            fmemopen(const_cast<char*>(contents.data()), contents.size(), "rb"), &std::fclose);
        if (!stream) return keys.file + ": cannot read the shipped contents";
        int read_error = 0;
        parse = keypoints::ParseKeyStream(stream.get(), &read_error);
    }
    if (parse.status != keypoints::KeyFileStatus::ok) {
        return keys.file + ": " + keypoints::KeyFileStatusMessage(parse.status);
    }
    keys.dimensions = parse.dimensions;
    keys.keys = std::move(parse.keys);
    return {};
}

}  // namespace

std::vector<std::vector<std::uint8_t>> OrientChunk(const std::string& spec,
                                                   const std::map<int, std::string>& shipped) {
    using Clock = std::chrono::steady_clock;
    const block::ChunkSpec chunk =
        block::DecodeChunk({reinterpret_cast<const std::uint8_t*>(spec.data()), spec.size()});
    // Each photograph's key file parsed on first use and dropped after its last pair.
    std::map<int, std::size_t> last_use;
    for (std::size_t k = 0; k < chunk.pairs.size(); ++k) {
        last_use[chunk.pairs[k].photo1] = k;
        last_use[chunk.pairs[k].photo2] = k;
    }
    std::map<int, const block::ChunkPhoto*> photos;
    for (const block::ChunkPhoto& p : chunk.photos) photos[p.index] = &p;
    std::map<int, std::unique_ptr<pair_run::KeypointFile>> parsed;
    const auto keys_of = [&](int index) -> const pair_run::KeypointFile& {
        std::unique_ptr<pair_run::KeypointFile>& keys = parsed[index];
        if (keys) return *keys;
        keys = std::make_unique<pair_run::KeypointFile>();
        keys->file = photos.at(index)->key_file;
        const auto contents = shipped.find(index);
        const std::string problem = contents != shipped.end()
                                        ? ParseShipped(contents->second, *keys)
                                        : pair_run::ReadKeypointFile(*keys);
        if (!problem.empty()) throw block::InputError(problem);
        return *keys;
    };

    std::vector<std::vector<std::uint8_t>> records;
    for (std::size_t k = 0; k < chunk.pairs.size(); ++k) {
        const block::ChunkPair& pair = chunk.pairs[k];
        const Clock::time_point start = Clock::now();
        const pair_run::KeypointFile& first = keys_of(pair.photo1);
        const pair_run::KeypointFile& second = keys_of(pair.photo2);
        if (std::string mismatch = pair_run::DescriptorMismatch(first, second); !mismatch.empty()) {
            throw block::InputError(mismatch);
        }
        const block::ChunkPhoto& p1 = *photos.at(pair.photo1);
        const block::ChunkPhoto& p2 = *photos.at(pair.photo2);
        block::PairMessage message;
        message.photo1 = pair.photo1;
        message.photo2 = pair.photo2;
        message.row = block::OrientBlockPair({p1.key_file, {p1.camera, p1.camera_file}},
                                             {p2.key_file, {p2.camera, p2.camera_file}}, first,
                                             second, chunk.settings, 1, pair.id1, pair.id2, start);
        records.push_back(block::EncodePair(message));
        for (const int photo : {pair.photo1, pair.photo2}) {
            if (last_use[photo] == k) parsed.erase(photo);
        }
    }
    return records;
}

}  // namespace relative_orientation_python
