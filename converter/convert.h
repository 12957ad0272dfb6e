// Conversion of a keypoint file into comma-separated text, one line per keypoint.
//
// The conversion streams: it keeps the current entry's line and about one block of
// finished lines, whatever the size of the file. It never ends the process; every
// failure comes back as a status for the caller to report.
#pragma once

#include "converter/byte_stream.h"
#include "converter/key_input.h"

namespace featsheet {

enum class ConvertStatus {
    ok,
    bad_format,   // the header or an entry does not hold the numbers it must
    read_error,   // the input could not be read
    write_error,  // the output could not be written
};

// The two numbers that begin a keypoint file.
struct KeyHeader {
    int num = 0;     // keypoints announced
    int vecLen = 0;  // descriptor values per keypoint
};

// Reads the header: two integers.
ConvertStatus ReadKeyHeader(KeyInput& in, KeyHeader* header);

// Reads header.num entries (none when it is not positive) and writes one line for each:
// the four reals as "%4.2f, %4.2f, %4.3f, %4.4f", then ", %3.0f" per descriptor value,
// then a line feed, all values read as floats. A line is written only once its entry
// has been read whole, so on failure `out` holds exactly the lines of the entries before
// the failing one. Data after the last announced entry is not read.
ConvertStatus ConvertEntries(KeyInput& in, const KeyHeader& header, Sink& out);

// ReadKeyHeader and then ConvertEntries on `in`; *header receives the header when it
// could be read.
ConvertStatus ConvertKeypoints(Source& in, Sink& out, KeyHeader* header);

}  // namespace featsheet
