// The parsed key files of a block's photographs, shared by the threads of a run and bounded
// in memory: a file is parsed on first use and kept until the bytes of the files kept pass
// the limit; then the least recently used ones that no pair is using are dropped. A file in
// use is never dropped, so a run needs at least the files of its pairs in flight whatever
// the limit. Two threads asking for a file at once wait for one parse.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "pair_run/input_files.h"

namespace block {

class KeyCache {
  public:
    KeyCache(std::vector<std::string> key_files, std::size_t limit_bytes);

    // The parsed key file of photograph `photo`, held (pinned) as long as the pointer
    // lives; nullptr, with the reason in `problem`, when it cannot be read or parsed.
    std::shared_ptr<const pair_run::KeypointFile> Get(int photo, std::string& problem);

    struct Stats {
        std::size_t parses = 0;      // files parsed, counting every parse again after a drop
        std::size_t peak_bytes = 0;  // most bytes held at once
    };
    Stats Statistics() const;

    // The memory a parsed key file holds, for the limit.
    static std::size_t BytesOf(const pair_run::KeypointFile& keys);

  private:
    struct Entry {
        std::shared_ptr<const pair_run::KeypointFile> keys;
        bool loading = false;
        std::size_t bytes = 0;
        std::uint64_t last_use = 0;
    };
    void DropUnused();  // with mutex_ held

    std::vector<std::string> key_files_;
    std::size_t limit_bytes_;
    mutable std::mutex mutex_;
    std::condition_variable loaded_;
    std::vector<Entry> entries_;
    std::size_t held_bytes_ = 0;
    std::uint64_t clock_ = 0;
    Stats stats_;
};

}  // namespace block
