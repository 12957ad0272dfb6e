// featsheet's conversion core on arbitrary bytes, from a buffer to a buffer.
//
// The output is compared with a plain model of the conversion (featsheet_model.h). The same input
// is also fed in small uneven pieces, through a source that fails part-way and into a sink that
// fills up: pieces must not change the result, a failed read must end as a read error, and output
// that could not be written must never end as success.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "converter/byte_stream.h"
#include "converter/convert.h"
#include "fuzz/fuzz_check.h"
#include "testing/featsheet_model.h"

namespace featsheet {

namespace {

using test_support::ConvertLikeFeatsheet;
using test_support::FeatsheetModel;

// Hands out the data in pieces of 1 to 17 bytes; with fail_at set, reports a read error
// once that many bytes have been handed out.
struct PieceSource : Source {
    PieceSource(std::string_view d, std::uint32_t s, std::size_t f)
        : data(d), seed(s), fail_at(f) {}
    std::size_t Read(char* dest, std::size_t capacity, bool* error) override {
        if (given >= fail_at) {
            *error = true;
            return 0;
        }
        seed = seed * 1103515245u + 12345u;
        std::size_t n = std::min<std::size_t>({capacity, data.size(), 1 + (seed >> 16) % 17});
        n = std::min(n, fail_at - given);
        std::copy_n(data.data(), n, dest);
        data.remove_prefix(n);
        given += n;
        return n;
    }
    std::string_view data;
    std::uint32_t seed;
    std::size_t fail_at;
    std::size_t given = 0;
};

// Takes at most `room` bytes in all; a write that does not fit fails.
struct FullSink : Sink {
    explicit FullSink(std::size_t r) : room(r) {}
    bool Write(const char* data, std::size_t size) override {
        const std::size_t n = std::min(size, room - text.size());
        text.append(data, n);
        return n == size;
    }
    std::size_t room;
    std::string text;
};

bool IsLinePrefix(const std::string& part, const std::string& whole) {
    return whole.compare(0, part.size(), part) == 0 && (part.empty() || part.back() == '\n');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const FeatsheetModel model = ConvertLikeFeatsheet(text);
    const ConvertStatus expected_status = model.ok ? ConvertStatus::ok : ConvertStatus::bad_format;
    const auto seed = static_cast<std::uint32_t>(size * 2654435761u);
    KeyHeader header;

    BufferSource whole(text);
    StringSink out;
    FUZZ_CHECK(ConvertKeypoints(whole, out, &header) == expected_status, "status");
    FUZZ_CHECK(out.text == model.csv, "output of a buffer in one piece");

    PieceSource pieces(text, seed, SIZE_MAX);
    StringSink piece_out;
    FUZZ_CHECK(ConvertKeypoints(pieces, piece_out, &header) == expected_status, "pieces status");
    FUZZ_CHECK(piece_out.text == model.csv, "output of a buffer in pieces");

    PieceSource failing(text, seed, size == 0 ? 0 : seed % size);
    StringSink failing_out;
    const ConvertStatus read_status = ConvertKeypoints(failing, failing_out, &header);
    if (read_status == ConvertStatus::read_error) {
        FUZZ_CHECK(IsLinePrefix(failing_out.text, model.csv), "whole lines before a read error");
    } else {
        FUZZ_CHECK(read_status == expected_status, "status when the read error comes late");
        FUZZ_CHECK(failing_out.text == model.csv, "output when the read error comes late");
    }

    if (!model.csv.empty()) {
        BufferSource again(text);
        FullSink full(seed % model.csv.size());
        FUZZ_CHECK(ConvertKeypoints(again, full, &header) == ConvertStatus::write_error,
                   "output that did not fit is a write error");
    }
    return 0;
}

}  // namespace featsheet
