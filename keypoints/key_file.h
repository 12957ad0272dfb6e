// Keypoint files: the parse of a file's text with its status and messages, the plain
// reference reader, and the allocation bound that both readers apply.
//
// A keypoint file is whitespace-separated text: a header "count dimensions", then per
// keypoint four reals (row, column, scale, orientation) and `dimensions` integers; line
// breaks carry no meaning.
#pragma once

#include <cstddef>
#include <string>

#include "keypoints/keypoint.h"

namespace keypoints {

// Why parsing a keypoint file stopped.
enum class KeyFileStatus {
    ok,
    bad_beginning,  // the header does not yield two integers
    bad_format,     // an entry's four reals do not all convert
    bad_value,      // a descriptor value does not convert
    out_of_memory,
};

// The message for a parse status (without a prefix), e.g. "Invalid keypoint file format.".
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
// fast_reader.h gives the same results and is what the programs run.
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

}  // namespace keypoints
