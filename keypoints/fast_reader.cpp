// Streaming keypoint file parser.
//
// The file is read in blocks into one buffer. Before a number is converted, the whole
// whitespace-delimited token it starts is brought into the buffer (moving the unread
// rest to the front, growing the buffer only for a token longer than a block), so a
// number that straddles two blocks reads as if the text were contiguous. Integers are
// converted with std::from_chars, and so are reals wherever it reads them as strtof does
// (see FromCharsFloat); all others go to strtof on a copy of the token. No valid number
// contains whitespace, so the copy changes nothing.
#include "keypoints/fast_reader.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "io/file_handles.h"
#include "keypoints/kernels/digit_runs.h"

namespace keypoints {
namespace {

// The characters isspace accepts in the C locale.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

struct BlockReader {
    std::FILE* file = nullptr;
    std::vector<char> buf;
    std::size_t pos = 0;                      // next unread byte
    std::size_t end = 0;                      // end of the bytes read
    bool eof = false;                         // the file has no more bytes (or a read failed)
    int error = 0;                            // errno of the read that failed; 0: none
    kernels::RunConverter convert = nullptr;  // vector run conversion, when available
};

// Moves the unread bytes to the front and reads more behind them. False when no byte
// arrived.
bool Fill(BlockReader& r) {
    if (r.eof) return false;
    if (r.pos > 0) {
        std::copy(r.buf.begin() + static_cast<std::ptrdiff_t>(r.pos),
                  r.buf.begin() + static_cast<std::ptrdiff_t>(r.end), r.buf.begin());
        r.end -= r.pos;
        r.pos = 0;
    }
    if (r.end == r.buf.size()) r.buf.resize(r.buf.size() * 2);
    const std::size_t got = std::fread(r.buf.data() + r.end, 1, r.buf.size() - r.end, r.file);
    if (got == 0) {
        r.eof = true;
        // Taken here, before anything else can change errno; EIO should a failed read not
        // have said why.
        if (std::ferror(r.file) != 0) r.error = errno != 0 ? errno : EIO;
        return false;
    }
    r.end += got;
    return true;
}

// Skips whitespace and finds the token that starts there, complete in the buffer.
// False at the end of the text (end of file or a NUL byte).
bool NextToken(BlockReader& r, const char** begin, const char** stop) {
    for (;;) {
        while (r.pos < r.end && IsSpace(r.buf[r.pos])) ++r.pos;
        if (r.pos < r.end) break;
        if (!Fill(r)) return false;
    }
    if (r.buf[r.pos] == '\0') return false;
    std::size_t scan = r.pos;
    for (;;) {
        while (scan < r.end && !IsSpace(r.buf[scan]) && r.buf[scan] != '\0') ++scan;
        if (scan < r.end) break;
        const std::size_t offset = scan - r.pos;
        const bool more = Fill(r);  // may move the unread bytes to the front
        scan = r.pos + offset;
        if (!more) break;
    }
    *begin = r.buf.data() + r.pos;
    *stop = r.buf.data() + scan;
    return true;
}

// An int at the start of [p, e) as strtol reads it in base 10, with a value outside the
// int range being no number. Returns the characters consumed, 0 when no int converts.
std::size_t ParseInt(const char* p, const char* e, int* value) {
    // from_chars takes no '+': step over one that a digit follows, as strtol does.
    const char* q = p < e && *p == '+' && p + 1 < e && IsDigit(p[1]) ? p + 1 : p;
    int v = 0;
    const auto [stop, error] = std::from_chars(q, e, v);
    if (error != std::errc()) return 0;  // no digits, or outside the int range
    *value = v;
    return static_cast<std::size_t>(stop - p);
}

// A real at the start of [p, e) through std::from_chars, where that settles it as strtof
// would: from_chars accepts it and it ends before `e`, at whitespace or a NUL byte. What
// from_chars refuses by definition but strtof reads (a leading '+', hexadecimal, where
// from_chars stops at the 'x', values out of range, NaN payloads) and numbers followed by
// other bytes return 0: the caller then reads the whole token with strtof.
std::size_t FromCharsFloat(const char* p, const char* e, float* value) {
    float v = 0.0f;
    const auto [stop, error] = std::from_chars(p, e, v);
    if (error != std::errc() || stop == e || !(IsSpace(*stop) || *stop == '\0') || std::isnan(v)) {
        return 0;
    }
    *value = v;
    return static_cast<std::size_t>(stop - p);
}

// A real read from a whole token [p, e), whatever follows it: strtof on a copy.
std::size_t ParseFloat(const char* p, const char* e, float* value, std::string& copy) {
    copy.assign(p, e);
    char* stop = nullptr;
    const float v = std::strtof(copy.c_str(), &stop);
    if (stop == copy.c_str()) return 0;
    *value = v;
    return static_cast<std::size_t>(stop - copy.c_str());
}

// Longest number the in-buffer fast paths take; anything longer goes through NextToken.
constexpr std::size_t kFastChars = 24;

// Skips whitespace; true when at least kFastChars bytes follow, so that a number of
// fewer characters and the character that ends it are all in the buffer. Refills when
// the unread rest of the buffer runs short.
bool Ready(BlockReader& r) {
    if (r.end - r.pos < 2 * kFastChars && !r.eof) Fill(r);
    while (r.pos < r.end && IsSpace(r.buf[r.pos])) ++r.pos;
    return r.end - r.pos >= kFastChars;
}

bool ReadIntSlow(BlockReader& r, int* value) {
    const char* b = nullptr;
    const char* e = nullptr;
    if (!NextToken(r, &b, &e)) return false;
    const std::size_t n = ParseInt(b, e, value);
    r.pos += n;
    return n > 0;
}

bool ReadInt(BlockReader& r, int* value) {
    if (Ready(r)) {
        // An int ends at its first non-digit, wherever the token ends; the buffer holds
        // kFastChars more bytes, so ParseInt sees the whole digit run unless it is longer.
        const char* p = r.buf.data() + r.pos;
        const char* e = p + kFastChars;
        std::size_t n = ParseInt(p, e, value);
        // A failure after a sign or digit is decided on the whole token instead.
        if (n == 0 && (*p == '+' || *p == '-' || IsDigit(*p))) n = kFastChars;
        if (n < kFastChars - 1) {
            r.pos += n;
            return n > 0;
        }
    }
    return ReadIntSlow(r, value);
}

bool ReadFloat(BlockReader& r, float* value, std::string& copy) {
    if (Ready(r)) {
        const char* p = r.buf.data() + r.pos;
        const std::size_t n = FromCharsFloat(p, p + kFastChars, value);
        if (n > 0) {
            r.pos += n;
            return true;
        }
    }
    const char* b = nullptr;
    const char* e = nullptr;
    if (!NextToken(r, &b, &e)) return false;
    const std::size_t n = ParseFloat(b, e, value, copy);
    r.pos += n;
    return n > 0;
}

// Reads `count` descriptor values into out[0..count): whole windows of plain digit runs
// at a time, anything else (signs, long or malformed numbers, the end of the text)
// through ReadInt, which applies the full rules.
bool ReadValues(BlockReader& r, int* out, int count) {
    int d = 0;
    while (d < count) {
        if (r.end - r.pos < 2 * kernels::kWindowBytes && !r.eof) Fill(r);
        if (r.end - r.pos >= kernels::kWindowBytes) {
            const std::size_t at =
                kernels::ScanDigitWindow(r.buf.data() + r.pos, out, count, &d, r.convert);
            r.pos += at;
            if (d == count) break;
            if (at == 64) continue;  // only spaces left in this window
            // A short run that reached the window's end starts the next window.
            if (at > 0 && IsDigit(r.buf[r.pos]) &&
                kernels::LeadingDigitCount(r.buf.data() + r.pos) < 8) {
                continue;
            }
        }
        if (!ReadInt(r, &out[d])) return false;
        ++d;
    }
    return true;
}

// Bytes of the file, 0 when unknown (a pipe); bounds reservations by what the file holds.
std::size_t FileBytes(std::FILE* file) {
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || info.st_size <= 0) return 0;
    return static_cast<std::size_t>(info.st_size);
}

KeyFileStatus ParseEntries(BlockReader& r, std::size_t bytes, KeyFileParse& result) {
    const int num = result.numfeatures;
    const int dims = result.dimensions;
    std::string copy;
    result.keys.reserve(PlausibleCount(num, bytes, kMinEntryBytes));
    const std::size_t descrip_reserve = PlausibleCount(dims, bytes, kMinValueBytes);
    for (int k = 0; k < num; ++k) {
        KeypointSt key;
        if (!ReadFloat(r, &key.row, copy) || !ReadFloat(r, &key.col, copy) ||
            !ReadFloat(r, &key.scale, copy) || !ReadFloat(r, &key.ori, copy)) {
            return KeyFileStatus::bad_format;
        }
        if (dims > 0 && static_cast<std::size_t>(dims) <= descrip_reserve) {
            key.descrip.resize(static_cast<std::size_t>(dims));
            if (!ReadValues(r, key.descrip.data(), dims)) return KeyFileStatus::bad_value;
        } else {
            // A length the file cannot hold: grow only with what is really read.
            key.descrip.reserve(descrip_reserve);
            for (int d = 0; d < dims; ++d) {
                int value = 0;
                if (!ReadInt(r, &value)) return KeyFileStatus::bad_value;
                key.descrip.push_back(value);
            }
        }
        result.keys.push_back(std::move(key));
    }
    return KeyFileStatus::ok;
}

}  // namespace

KeyFileParse ParseKeyStream(std::FILE* file, int* read_error, std::size_t block_bytes,
                            KeyScan scan) {
    BlockReader r;
    r.file = file;
    r.convert = scan == KeyScan::automatic ? kernels::VectorRunConverter() : nullptr;
    KeyFileParse result;
    try {
        r.buf.resize(std::max<std::size_t>(block_bytes, 1));
        int num = 0;
        int dims = 0;
        if (!ReadInt(r, &num) || !ReadInt(r, &dims)) {
            result.status = KeyFileStatus::bad_beginning;
        } else {
            result.numfeatures = num;
            result.dimensions = dims;
            result.status = ParseEntries(r, FileBytes(file), result);
        }
    } catch (const std::bad_alloc&) {
        result.keys = KeypointList();
        result.status = KeyFileStatus::out_of_memory;
    }
    // The rest of the file is never parsed, but a failure to read it still counts.
    r.pos = r.end;
    while (Fill(r)) r.pos = r.end;
    *read_error = r.error;
    return result;
}

KeyFileStreamResult ReadKeyFileStream(const char* filename, std::size_t block_bytes, KeyScan scan) {
    KeyFileStreamResult out;
    errno = 0;
    const io::File file(std::fopen(filename, "rb"));
    if (!file) {
        out.access = KeyFileAccess::cannot_open;
        out.error = errno;
        return out;
    }
    out.parse = ParseKeyStream(file.get(), &out.error, block_bytes, scan);
    if (out.error != 0) out.access = KeyFileAccess::cannot_read;
    return out;
}

}  // namespace keypoints
