#include "python/block_worker.h"

#include <chrono>
#include <cstdio>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "block/key_identity.h"
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

// Parsed key files a worker process keeps from chunk to chunk, so that a worker given
// several chunks of one photograph parses its key file once, not once per chunk. A file is
// known by its path, size and modification time (shipped contents by name, size and hash);
// the least recently used go first beyond kWorkerCacheBytes. Chunks may run on several
// threads of one worker: the calls are serialised.
constexpr std::size_t kWorkerCacheBytes = std::size_t{256} << 20;

class WorkerKeyCache {
  public:
    std::shared_ptr<const pair_run::KeypointFile> Find(const std::string& identity) {
        std::lock_guard lock(mutex_);
        const auto found = entries_.find(identity);
        if (found == entries_.end()) return nullptr;
        order_.splice(order_.begin(), order_, found->second.place);
        return found->second.keys;
    }

    void Keep(const std::string& identity, std::shared_ptr<const pair_run::KeypointFile> keys) {
        std::size_t bytes = sizeof(pair_run::KeypointFile);
        for (const KeypointSt& key : keys->keys) {
            bytes += sizeof key + key.descrip.capacity() * sizeof(int);
        }
        std::lock_guard lock(mutex_);
        if (bytes > kWorkerCacheBytes || entries_.count(identity) != 0) return;
        while (held_ + bytes > kWorkerCacheBytes && !order_.empty()) {
            const auto oldest = entries_.find(order_.back());
            held_ -= oldest->second.bytes;
            entries_.erase(oldest);
            order_.pop_back();
        }
        order_.push_front(identity);
        entries_[identity] = {std::move(keys), bytes, order_.begin()};
        held_ += bytes;
    }

  private:
    struct Entry {
        std::shared_ptr<const pair_run::KeypointFile> keys;
        std::size_t bytes = 0;
        std::list<std::string>::iterator place;
    };
    std::mutex mutex_;
    std::list<std::string> order_;  // most recently used first
    std::unordered_map<std::string, Entry> entries_;
    std::size_t held_ = 0;
};

WorkerKeyCache& KeyCacheOfThisWorker() {
    static WorkerKeyCache cache;
    return cache;
}

}  // namespace

std::vector<std::vector<std::uint8_t>> OrientChunk(const std::string& task,
                                                   const std::map<int, std::string>& shipped) {
    using Clock = std::chrono::steady_clock;
    const block::ChunkTask chunk =
        block::DecodeChunk({reinterpret_cast<const std::uint8_t*>(task.data()), task.size()});
    std::map<int, const block::ChunkPhoto*> photos;
    for (const block::ChunkPhoto& p : chunk.photos) photos[p.index] = &p;
    std::map<int, std::shared_ptr<const pair_run::KeypointFile>> parsed;
    const auto keys_of = [&](int index) -> const pair_run::KeypointFile& {
        std::shared_ptr<const pair_run::KeypointFile>& held = parsed[index];
        if (held) return *held;
        const block::ChunkPhoto& photo = *photos.at(index);
        const auto contents = shipped.find(index);
        std::string identity;
        if (contents != shipped.end()) {
            identity = "shipped:" + photo.key_file + ":" + std::to_string(contents->second.size()) +
                       ":" + std::to_string(block::Fnv1a(contents->second));
        } else {
            try {
                const block::KeyStat stat = block::StatKeyFile(photo.key_path);
                identity = "file:" + photo.key_path + ":" + std::to_string(stat.bytes) + ":" +
                           std::to_string(stat.mtime_ns);
            } catch (const block::InputError&) {
                // Not cached: reading it below fails with the reader's message.
            }
        }
        if (!identity.empty()) held = KeyCacheOfThisWorker().Find(identity);
        if (held) return *held;
        auto keys = std::make_shared<pair_run::KeypointFile>();
        std::string problem;
        if (contents != shipped.end()) {
            keys->file = photo.key_file;
            problem = ParseShipped(contents->second, *keys);
        } else {
            keys->file = photo.key_path;
            problem = pair_run::ReadKeypointFile(*keys);
            // Named as given, as orient-block names it.
            if (problem.starts_with(photo.key_path)) {
                problem = photo.key_file + problem.substr(photo.key_path.size());
            }
            keys->file = photo.key_file;
        }
        if (!problem.empty()) throw block::InputError(problem);
        if (!identity.empty()) KeyCacheOfThisWorker().Keep(identity, keys);
        held = std::move(keys);
        return *held;
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
    }
    return records;
}

}  // namespace relative_orientation_python
