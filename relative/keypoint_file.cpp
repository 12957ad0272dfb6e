// ReadKeyFile, the reader that `relative` runs: the streaming reader of the keypoints
// library, every failure ending the process through FatalError.
#include <utility>

#include "keypoints/fast_reader.h"
#include "relative/utils.h"

KeypointList ReadKeyFile(const char* filename, int* numfeatures, int* dimensions) {
    using keypoints::KeyFileStatus;
    // Streams the file through the block parser; same messages, in the same order of
    // precedence, as reading the whole text first and parsing it with ParseKeyText.
    keypoints::KeyFileStreamResult read = keypoints::ReadKeyFileStream(filename);
    if (read.access == keypoints::KeyFileAccess::cannot_open) {
        FatalError("Could not open file: %s", filename);
    }
    if (read.access == keypoints::KeyFileAccess::cannot_read) {
        FatalError("Could not read file: %s", filename);
    }
    keypoints::KeyFileParse& parsed = read.parse;
    if (parsed.status == KeyFileStatus::bad_beginning) {
        FatalError("%s", keypoints::KeyFileStatusMessage(parsed.status));
    }
    *numfeatures = parsed.numfeatures;
    *dimensions = parsed.dimensions;
    if (parsed.status != KeyFileStatus::ok) {
        FatalError("%s", keypoints::KeyFileStatusMessage(parsed.status));
    }
    return std::move(parsed.keys);
}
