// The pairs of a block: which pairs (every pair, each photograph with the next N, or a file
// of pairs), the canonical order they are numbered in, the share of a shard, and the order
// they are run in so that a bounded cache of key files is reused.
//
// A pair is (i, j) with i < j, numbers of photographs in the order given: photograph 1 of a
// pair is the one given first. The canonical list is sorted by (i, j).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace block {

using PhotoPair = std::pair<int, int>;

// What --pairs asks for.
struct PairChoice {
    enum class Kind { all, sequential, file } kind = Kind::all;
    int next = 0;      // sequential: each photograph with the next `next`
    std::string file;  // file: the pair list
};

// Reads a --pairs value: "all", "sequential:N" (N a whole number from 1), anything else a
// file; false when the value is "sequential:" followed by anything but such a number.
bool ParsePairChoice(const std::string& text, PairChoice& choice);

// Every pair of `photographs`, canonical.
std::vector<PhotoPair> AllPairs(int photographs);

// Each photograph with the next `next` ones, canonical.
std::vector<PhotoPair> SequentialPairs(int photographs, int next);

// The pairs of a pair list's text (lines "NAME1 NAME2", '#' comments, blank lines; a name
// may also be a key file as given), canonical. Throws InputError "FILE:LINE: reason" for a
// line without exactly two names, an unknown photograph, a photograph paired with itself and
// a pair listed twice (in either order).
std::vector<PhotoPair> ParsePairList(std::string_view text, const std::string& file,
                                     const std::vector<std::string>& names,
                                     const std::vector<std::string>& key_files);

// --shard I/N.
struct Shard {
    int index = 1;  // 1 ... count
    int count = 1;
};

// Reads "I/N" with 1 <= I <= N (whole numbers); false when the text is not such a shard.
bool ParseShard(const std::string& text, Shard& shard);

// The pairs of `shard`: pair k of the canonical list (from 0) belongs to shard k mod N + 1,
// so the N shards share the pairs out evenly and each pair to one shard.
std::vector<PhotoPair> ShardPairs(const std::vector<PhotoPair>& canonical, const Shard& shard);

// The order to run `pairs` in when the cache holds `cached` photographs at once: with
// cached >= photographs, as given; else in tiles of the pair matrix, photographs grouped in
// runs of max(1, cached / 2), tile (a, b) of the groups after tile (a, b - 1), so that two
// groups are in use at a time and every key file is read about photographs / group times.
std::vector<PhotoPair> RunOrder(std::vector<PhotoPair> pairs, int photographs, int cached);

}  // namespace block
