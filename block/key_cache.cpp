#include "block/key_cache.h"

#include <algorithm>
#include <utility>

namespace block {

KeyCache::KeyCache(std::vector<std::string> key_files, std::size_t limit_bytes)
    : key_files_(std::move(key_files)), limit_bytes_(limit_bytes), entries_(key_files_.size()) {}

std::size_t KeyCache::BytesOf(const pair_run::KeypointFile& keys) {
    std::size_t bytes =
        sizeof keys + keys.file.capacity() + keys.keys.capacity() * sizeof(KeypointSt);
    for (const KeypointSt& k : keys.keys) bytes += k.descrip.capacity() * sizeof(int);
    return bytes;
}

std::shared_ptr<const pair_run::KeypointFile> KeyCache::Get(int photo, std::string& problem) {
    Entry& entry = entries_.at(static_cast<std::size_t>(photo));
    {
        std::unique_lock lock(mutex_);
        loaded_.wait(lock, [&entry] { return !entry.loading; });
        entry.last_use = ++clock_;
        if (entry.keys) return entry.keys;
        entry.loading = true;
    }
    // Parsed outside the lock: the other threads go on with their own files.
    auto keys = std::make_shared<pair_run::KeypointFile>();
    keys->file = key_files_[static_cast<std::size_t>(photo)];
    problem = pair_run::ReadKeypointFile(*keys);
    std::lock_guard lock(mutex_);
    entry.loading = false;
    loaded_.notify_all();
    if (!problem.empty()) return nullptr;
    entry.keys = keys;
    entry.bytes = BytesOf(*keys);
    held_bytes_ += entry.bytes;
    ++stats_.parses;
    stats_.peak_bytes = std::max(stats_.peak_bytes, held_bytes_);
    DropUnused();
    return keys;
}

void KeyCache::DropUnused() {
    while (held_bytes_ > limit_bytes_) {
        Entry* oldest = nullptr;
        for (Entry& entry : entries_) {
            // Only the cache holds it: no pair uses it (copies are made under the lock only).
            if (entry.keys && entry.keys.use_count() == 1 &&
                (oldest == nullptr || entry.last_use < oldest->last_use)) {
                oldest = &entry;
            }
        }
        if (oldest == nullptr) return;
        held_bytes_ -= oldest->bytes;
        oldest->keys.reset();
        oldest->bytes = 0;
    }
}

KeyCache::Stats KeyCache::Statistics() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

}  // namespace block
