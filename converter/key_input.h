// Buffered reading of the numbers of a keypoint file.
//
// Each number is the longest prefix of the remaining text that forms a number of the
// expected kind, after skipping whitespace; whatever is left of the token is where the
// next read begins. Reals are read as strtof reads them, integers as strtol reads them
// in base 10 (both through std::from_chars where it gives the same), and an integer
// outside the int range is no number.
#pragma once

#include <cstddef>
#include <vector>

#include "converter/byte_stream.h"

namespace featsheet {

// Input bytes read in blocks. The unread bytes are buffer[pos, end), and buffer[end] is
// always a NUL so that the C library's conversions stop at the end of the data.
struct KeyInput {
    explicit KeyInput(Source& s);
    Source& source;
    std::vector<char> buffer;
    std::size_t pos = 0;
    std::size_t end = 0;
    bool at_end = false;       // the source has no more bytes
    bool read_failed = false;  // the source reported an error
};

enum class ScanStatus {
    ok,
    no_number,   // the next token does not begin with a number, or the input has ended
    read_error,  // the source could not be read
};

// Reads a single-precision real.
ScanStatus ScanFloat(KeyInput& in, float* value);

// Reads an int.
ScanStatus ScanInt(KeyInput& in, int* value);

}  // namespace featsheet
