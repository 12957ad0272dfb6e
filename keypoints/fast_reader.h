// The streaming keypoint file reader: the same values, statuses and header numbers as
// ParseKeyText over the whole file text, read in large blocks with memory proportional
// to the keypoints read.
#pragma once

#include <cstddef>
#include <cstdio>

#include "keypoints/key_file.h"

namespace keypoints {

// What happened to the file itself, before any question of its contents.
enum class KeyFileAccess {
    ok,
    cannot_open,  // fopen failed
    cannot_read,  // a read from the open file failed
};

struct KeyFileStreamResult {
    KeyFileAccess access = KeyFileAccess::ok;
    int error = 0;       // errno of the failed open or read
    KeyFileParse parse;  // meaningful when access is ok
};

// How descriptor values are scanned: with the vector converter when the CPU has one, or
// with the portable scan only (the same results either way).
enum class KeyScan { automatic, portable };

// Default size of one read from the file.
inline constexpr std::size_t kKeyFileBlockBytes = std::size_t{1} << 20;

// Parses an open stream as ParseKeyText parses text: numbers as strtof / strtol (base 10,
// outside the int range = not a number) read them, a NUL byte ending the readable text.
// Reads the stream to its end even after the entries announced, so that a read failure
// anywhere sets *read_error (its errno; 0 when every read succeeded) just as reading the
// whole text first would.
KeyFileParse ParseKeyStream(std::FILE* file, int* read_error,
                            std::size_t block_bytes = kKeyFileBlockBytes,
                            KeyScan scan = KeyScan::automatic);

// Opens `filename` (mode "rb") and parses it with ParseKeyStream.
KeyFileStreamResult ReadKeyFileStream(const char* filename,
                                      std::size_t block_bytes = kKeyFileBlockBytes,
                                      KeyScan scan = KeyScan::automatic);

}  // namespace keypoints
