#include "converter/key_input.h"

#include <array>
#include <charconv>
#include <cstring>
#include <system_error>

#include "converter/float_parse.h"

namespace featsheet {

namespace {

constexpr std::size_t kBlockSize = std::size_t{1} << 16;

// The characters that strtof and strtol skip before a number (isspace in the C locale).
constexpr std::array<bool, 256> MakeSpaceTable() {
    std::array<bool, 256> table{};
    for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) table[c] = true;
    return table;
}
constexpr std::array<bool, 256> kSpace = MakeSpaceTable();

bool IsSpace(char c) { return kSpace[static_cast<unsigned char>(c)]; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Moves the unread bytes to the front, grows the buffer when they fill it, and reads
// one more block. False when no byte could be added (end of input or read error).
bool Refill(KeyInput& in) {
    if (in.at_end) return false;
    const std::size_t unread = in.end - in.pos;
    if (in.pos > 0) std::memmove(in.buffer.data(), in.buffer.data() + in.pos, unread);
    in.pos = 0;
    in.end = unread;
    if (in.buffer.size() - 1 - in.end < kBlockSize) in.buffer.resize(in.buffer.size() * 2);
    bool error = false;
    const std::size_t got =
        in.source.Read(in.buffer.data() + in.end, in.buffer.size() - 1 - in.end, &error);
    in.end += got;
    in.buffer[in.end] = '\0';
    if (error) in.read_failed = true;
    if (got == 0) in.at_end = true;
    return got > 0;
}

// Skips whitespace; false when the input ends (or fails) before the next token.
bool SkipSpace(KeyInput& in) {
    for (;;) {
        while (in.pos < in.end && IsSpace(in.buffer[in.pos])) ++in.pos;
        if (in.pos < in.end) return true;
        if (!Refill(in)) return false;
    }
}

// Makes sure the whole token at pos is in the buffer: followed there by whitespace, or
// by the end of the input. No number can reach past either.
void LoadToken(KeyInput& in) {
    std::size_t scan = in.pos;
    for (;;) {
        while (scan < in.end && !IsSpace(in.buffer[scan])) ++scan;
        if (scan < in.end) return;
        const std::size_t offset = scan - in.pos;
        if (!Refill(in)) return;
        scan = in.pos + offset;
    }
}

ScanStatus Failure(const KeyInput& in) {
    return in.read_failed ? ScanStatus::read_error : ScanStatus::no_number;
}

}  // namespace

KeyInput::KeyInput(Source& s) : source(s), buffer(kBlockSize + 1, '\0') {}

ScanStatus ScanFloat(KeyInput& in, float* value) {
    if (!SkipSpace(in)) return Failure(in);
    const char* text = in.buffer.data() + in.pos;
    std::size_t used = ParseFloatFast(text, in.buffer.data() + in.end, value);
    if (used == 0) {
        LoadToken(in);
        if (in.read_failed) return ScanStatus::read_error;
        used = ParseFloatStrtof(in.buffer.data() + in.pos, value);
        if (used == 0) return ScanStatus::no_number;
    }
    in.pos += used;
    return ScanStatus::ok;
}

ScanStatus ScanInt(KeyInput& in, int* value) {
    if (!SkipSpace(in)) return Failure(in);
    LoadToken(in);
    if (in.read_failed) return ScanStatus::read_error;
    const char* text = in.buffer.data() + in.pos;
    const char* end = in.buffer.data() + in.end;
    // strtol in base 10 with a value outside the int range being no number; from_chars
    // takes no '+', so one that a digit follows is stepped over, as strtol does.
    const char* digits = *text == '+' && text + 1 < end && IsDigit(text[1]) ? text + 1 : text;
    int v = 0;
    const auto [stop, error] = std::from_chars(digits, end, v);
    if (error != std::errc()) return ScanStatus::no_number;
    *value = v;
    in.pos += static_cast<std::size_t>(stop - text);
    return ScanStatus::ok;
}

}  // namespace featsheet
