// Keypoint files beyond the fixed reader ReadKeyFile: the keypoint list, the parse of a
// file's text with its status and messages, and the allocation bound that both readers
// apply. utils.h includes this header and defines the record KeypointSt; include utils.h.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct KeypointSt;  // one keypoint as the file states it: utils.h

// A keypoint list in file order.
using KeypointList = std::vector<KeypointSt>;

// Why parsing a keypoint file stopped. Everything except `ok` is fatal for `relative`.
enum class KeyFileStatus {
    ok,
    bad_beginning,  // the header does not yield two integers
    bad_format,     // an entry's four reals do not all convert
    bad_value,      // a descriptor value does not convert
    out_of_memory,
};

// The message that `relative` prints for a parse status (without the "Error: " prefix).
const char* KeyFileStatusMessage(KeyFileStatus status);

// Result of parsing the text of a keypoint file. `numfeatures` and `dimensions` are the
// header's numbers as soon as the header has been read; `keys` holds the complete entries
// read before any failure.
struct KeyFileParse {
    KeyFileStatus status = KeyFileStatus::ok;
    int numfeatures = 0;
    int dimensions = 0;
    KeypointList keys;
};

// The plain reference reader (reference_reader.cpp): parses keypoint file text with
// strtof and strtol, one number after another. The text must be followed by a NUL byte
// (std::string guarantees it); an embedded NUL ends the readable text like any non-number.
// Never exits: the caller decides what a failure means. The streaming reader of
// fast_reader.h gives the same results and is what ReadKeyFile runs.
KeyFileParse ParseKeyText(const std::string& text);

// The fewest bytes that one entry (four one-digit reals and their separators) and one
// descriptor value (a digit and a separator) take in a file.
inline constexpr std::size_t kMinEntryBytes = 8;
inline constexpr std::size_t kMinValueBytes = 2;

// How many of the `announced` items (entries or descriptor values, each at least
// `bytes_per_item` long) `bytes` of text can still hold: the most a reader reserves for
// them. A header may announce two billion keypoints in a file of ten bytes; reserving
// only what the file can justify keeps memory proportional to the file, and a longer
// list simply grows as it is read. 0 for a count that is not positive.
std::size_t PlausibleCount(long long announced, std::size_t bytes, std::size_t bytes_per_item);
