// The plain reference reader of keypoint files: the whole text, one number after another,
// through the C library's strtof and strtol. The streaming reader (fast_reader.cpp) is
// tested against it.
//
// A keypoint file is whitespace-separated text: a header "count dimensions", then per
// keypoint four reals (row, column, scale, orientation) and `dimensions` integers. Each
// number is the longest prefix of the remaining text that forms a number of the expected
// kind (leading whitespace skipped); whatever is left of the token is where the next read
// begins, so "12.5" read as a descriptor value gives 12 and leaves ".5". Reals follow
// strtof, integers strtol in base 10, and an integer outside the int range is no number.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>
#include <string>

#include "keypoints/key_file.h"

namespace keypoints {
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

}  // namespace

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
        result.keys.reserve(PlausibleCount(num, text.size(), kMinEntryBytes));
        const std::size_t descrip_reserve = PlausibleCount(dims, text.size(), kMinValueBytes);
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

}  // namespace keypoints
