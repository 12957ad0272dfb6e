// ReadKeyFile, the reader that `relative` runs, and what both keypoint readers share: the
// messages of their statuses and the allocation bound.
#include <algorithm>
#include <utility>

#include "fast_reader.h"
#include "utils.h"

const char* KeyFileStatusMessage(KeyFileStatus status) {
    switch (status) {
        case KeyFileStatus::ok:
            return "";
        case KeyFileStatus::bad_beginning:
            return "Invalid keypoint file beginning.";
        case KeyFileStatus::bad_format:
            return "Invalid keypoint file format.";
        case KeyFileStatus::bad_value:
            return "Invalid keypoint file value.";
        case KeyFileStatus::out_of_memory:
            return "Out of memory while reading keypoints.";
    }
    return "Unknown keypoint file error.";
}

std::size_t PlausibleCount(long long announced, std::size_t bytes, std::size_t bytes_per_item) {
    if (announced <= 0) return 0;
    return std::min<std::size_t>(static_cast<std::size_t>(announced), bytes / bytes_per_item + 1);
}

KeypointList ReadKeyFile(const char* filename, int* numfeatures, int* dimensions) {
    // Streams the file through the block parser; same messages, in the same order of
    // precedence, as reading the whole text first and parsing it with ParseKeyText.
    KeyFileStreamResult read = ReadKeyFileStream(filename);
    if (read.access == KeyFileAccess::cannot_open) FatalError("Could not open file: %s", filename);
    if (read.access == KeyFileAccess::cannot_read) FatalError("Could not read file: %s", filename);
    KeyFileParse& parsed = read.parse;
    if (parsed.status == KeyFileStatus::bad_beginning) {
        FatalError("%s", KeyFileStatusMessage(parsed.status));
    }
    *numfeatures = parsed.numfeatures;
    *dimensions = parsed.dimensions;
    if (parsed.status != KeyFileStatus::ok) FatalError("%s", KeyFileStatusMessage(parsed.status));
    return std::move(parsed.keys);
}
