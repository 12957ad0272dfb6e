// What tells a key file's content apart between runs: its size and modification time (from
// stat, cheap) and the 64-bit FNV-1a hash of its bytes (read whole, computed only when the
// size or the time differs from the stored ones).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace block {

struct KeyStat {
    std::int64_t bytes = 0;
    std::int64_t mtime_ns = 0;
};

// The size and time of `file`; throws InputError ("FILE: cannot open: reason").
KeyStat StatKeyFile(const std::string& file);

// The 64-bit FNV-1a hash of `bytes`, continuing from `hash`.
std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t hash = 0xcbf29ce484222325ULL);

// The FNV-1a hash of the whole file; throws InputError when it cannot be read.
std::uint64_t HashKeyFile(const std::string& file);

}  // namespace block
