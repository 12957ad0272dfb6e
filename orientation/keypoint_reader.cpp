// The reference keypoint file reader.
//
// A keypoint file is whitespace-separated text: a header "count dimensions", then per
// keypoint four reals (row, column, scale, orientation) and `dimensions` integers. Each
// number is the longest prefix of the remaining text that forms a number of the expected
// kind (leading whitespace skipped); whatever is left of the token is where the next read
// begins, so "12.5" read as a descriptor value gives 12 and leaves ".5". Reals follow
// strtof, integers strtol in base 10, and an integer outside the int range is no number.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "fast_reader.h"
#include "utils.h"

namespace {

// Reads an int at *pos; on success advances *pos past it.
bool ReadInt(const char*& pos, int* value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(pos, &end, 10);
    if (end == pos || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    *value = static_cast<int>(v);
    pos = end;
    return true;
}

// Reads a single-precision real at *pos; on success advances *pos past it. Values that
// overflow or underflow convert as strtof rounds them (to infinity or a tiny value).
bool ReadFloat(const char*& pos, float* value) {
    char* end = nullptr;
    const float v = std::strtof(pos, &end);
    if (end == pos) return false;
    *value = v;
    pos = end;
    return true;
}

// An upper bound on the entries (or values) that `bytes` of text can still hold, so that
// header counts never drive an allocation larger than the file can justify.
std::size_t Plausible(long long announced, std::size_t bytes, std::size_t bytes_per_item) {
    if (announced <= 0) return 0;
    return std::min<std::size_t>(static_cast<std::size_t>(announced), bytes / bytes_per_item + 1);
}

}  // namespace

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

KeyFileParse ParseKeyText(const std::string& text) {
    KeyFileParse result;
    const char* pos = text.c_str();
    int num = 0;
    int dims = 0;
    if (!ReadInt(pos, &num) || !ReadInt(pos, &dims)) {
        result.status = KeyFileStatus::bad_beginning;
        return result;
    }
    result.numfeatures = num;
    result.dimensions = dims;
    try {
        // Every entry takes at least 8 bytes (four one-digit reals and their separators),
        // every descriptor value at least 2.
        result.keys.reserve(Plausible(num, text.size(), 8));
        const std::size_t descrip_reserve = Plausible(dims, text.size(), 2);
        for (int k = 0; k < num; ++k) {
            KeypointSt key;
            if (!ReadFloat(pos, &key.row) || !ReadFloat(pos, &key.col) ||
                !ReadFloat(pos, &key.scale) || !ReadFloat(pos, &key.ori)) {
                result.status = KeyFileStatus::bad_format;
                return result;
            }
            key.descrip.reserve(descrip_reserve);
            for (int d = 0; d < dims; ++d) {
                int value = 0;
                if (!ReadInt(pos, &value)) {
                    result.status = KeyFileStatus::bad_value;
                    return result;
                }
                key.descrip.push_back(value);
            }
            result.keys.push_back(std::move(key));
        }
    } catch (const std::bad_alloc&) {
        result.keys = KeypointList();
        result.status = KeyFileStatus::out_of_memory;
    }
    return result;
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
