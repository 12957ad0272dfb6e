#include "converter/convert.h"

#include <cstring>
#include <vector>

#include "converter/float_format.h"

namespace featsheet {

namespace {

// Finished lines are handed to the sink once they fill this much.
constexpr std::size_t kFlushSize = std::size_t{1} << 16;

// Output text: finished lines in [0, done), the current entry's line in [done, size).
struct LineBuffer {
    std::vector<char> data = std::vector<char>(2 * kFlushSize);
    std::size_t size = 0;
    std::size_t done = 0;

    // Makes room for `n` more characters.
    char* Room(std::size_t n) {
        if (data.size() - size < n) data.resize(2 * (size + n));
        return data.data() + size;
    }
    void Field(const char* separator, std::size_t separator_length, float v, int width,
               int precision) {
        char* p = Room(separator_length + kMaxFixedChars);
        std::memcpy(p, separator, separator_length);
        size += separator_length + FormatFixed(v, width, precision, p + separator_length);
    }
};

ConvertStatus FromScan(ScanStatus s) {
    return s == ScanStatus::read_error ? ConvertStatus::read_error : ConvertStatus::bad_format;
}

// Drops the unfinished line and writes the finished ones.
bool FlushDone(LineBuffer& lines, Sink& out) {
    const bool written = lines.done == 0 || out.Write(lines.data.data(), lines.done);
    lines.size = 0;
    lines.done = 0;
    return written;
}

// Ends the conversion with `status`, after writing the finished lines; losing them is a
// write error whatever stopped the conversion.
ConvertStatus Stop(LineBuffer& lines, Sink& out, ConvertStatus status) {
    return FlushDone(lines, out) ? status : ConvertStatus::write_error;
}

// Reads one entry and appends its line.
ScanStatus ConvertEntry(KeyInput& in, int vecLen, LineBuffer& lines) {
    float v[4];
    for (float& x : v) {
        const ScanStatus s = ScanFloat(in, &x);
        if (s != ScanStatus::ok) return s;
    }
    lines.Field("", 0, v[0], 4, 2);
    lines.Field(", ", 2, v[1], 4, 2);
    lines.Field(", ", 2, v[2], 4, 3);
    lines.Field(", ", 2, v[3], 4, 4);
    for (int d = 0; d < vecLen; ++d) {
        float fval = 0.0f;
        const ScanStatus s = ScanFloat(in, &fval);
        if (s != ScanStatus::ok) return s;
        lines.Field(", ", 2, fval, 3, 0);
    }
    *lines.Room(1) = '\n';
    ++lines.size;
    return ScanStatus::ok;
}

}  // namespace

ConvertStatus ReadKeyHeader(KeyInput& in, KeyHeader* header) {
    KeyHeader h;
    ScanStatus s = ScanInt(in, &h.num);
    if (s == ScanStatus::ok) s = ScanInt(in, &h.vecLen);
    if (s != ScanStatus::ok) return FromScan(s);
    *header = h;
    return ConvertStatus::ok;
}

ConvertStatus ConvertEntries(KeyInput& in, const KeyHeader& header, Sink& out) {
    LineBuffer lines;
    for (int k = 0; k < header.num; ++k) {
        const ScanStatus s = ConvertEntry(in, header.vecLen, lines);
        if (s != ScanStatus::ok) return Stop(lines, out, FromScan(s));
        lines.done = lines.size;
        if (lines.done >= kFlushSize && !FlushDone(lines, out)) {
            return ConvertStatus::write_error;
        }
    }
    return Stop(lines, out, ConvertStatus::ok);
}

ConvertStatus ConvertKeypoints(Source& in, Sink& out, KeyHeader* header) {
    KeyInput input(in);
    const ConvertStatus s = ReadKeyHeader(input, header);
    if (s != ConvertStatus::ok) return s;
    return ConvertEntries(input, *header, out);
}

}  // namespace featsheet
