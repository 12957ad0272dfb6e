#include "mutate.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace {

using Rng = std::mt19937;

std::size_t Pick(Rng& rng, std::size_t n) {
    return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
}

template <class T>
std::string Number(const char* format, T value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

// Start of the k-th whitespace-separated token (k counted modulo the token count).
std::size_t TokenStart(const std::string& text, std::size_t k) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool starts = text[i] != ' ' && text[i] != '\n' &&
                            (i == 0 || text[i - 1] == ' ' || text[i - 1] == '\n');
        if (starts && count++ == k) return i;
    }
    return text.size();
}

// Replaces the token at `at` with `word`.
void ReplaceToken(std::string& text, std::size_t at, std::string_view word) {
    std::size_t end = at;
    while (end < text.size() && text[end] != ' ' && text[end] != '\n') ++end;
    text.replace(at, end - at, word);
}

constexpr std::array<std::string_view, 16> kWords = {
    "word",        "-",           "+",          ".",           "1e999999", "-1e999999",
    "99999999999", "-2147483649", "2147483647", "-2147483648", "nan",      "-inf",
    "0x1p3",       "1.5e",        "12.5.5",     "\xff\xfe"};

constexpr std::array<std::string_view, 6> kHeaders = {
    "2147483647 2147483647", "2147483647 128", "-2147483648 -2147483648",
    "1000000000 0",          "5 -7",           "3 99999999999"};

std::string Damage(std::string text, Rng& rng, std::string* what) {
    switch (Pick(rng, 10)) {
        case 0:
            text.resize(Pick(rng, text.size() + 1));
            *what += "cut;";
            break;
        case 1: {
            std::string word(1, ' ');
            word.append(kWords[Pick(rng, kWords.size())]).push_back(' ');
            text.insert(Pick(rng, text.size() + 1), word);
        }
            *what += "word;";
            break;
        case 2:
            for (std::size_t n = 1 + Pick(rng, 8); n > 0; --n) {
                text.insert(text.begin() + static_cast<std::ptrdiff_t>(Pick(rng, text.size() + 1)),
                            static_cast<char>(Pick(rng, 256)));
            }
            *what += "bytes;";
            break;
        case 3:
            text.insert(Pick(rng, text.size() + 1), std::string(1 + Pick(rng, 3), '\0'));
            *what += "nul;";
            break;
        case 4:
            ReplaceToken(text, TokenStart(text, Pick(rng, 64)), kWords[4 + Pick(rng, 10)]);
            *what += "number;";
            break;
        case 5:
            text.insert(Pick(rng, text.size() + 1),
                        std::string(100000 + Pick(rng, 200000), Pick(rng, 2) ? '7' : ' '));
            *what += "long-line;";
            break;
        case 6: {
            std::string crlf;
            for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
            text = crlf;
            *what += "crlf;";
            break;
        }
        case 7:
            text.clear();
            *what += "empty;";
            break;
        case 8: {
            const std::size_t eol = text.find('\n');
            text.replace(0, eol == std::string::npos ? text.size() : eol,
                         kHeaders[Pick(rng, kHeaders.size())]);
            *what += "header;";
            break;
        }
        default:
            ReplaceToken(text, TokenStart(text, Pick(rng, 64)), Number("-%zu", Pick(rng, 1000)));
            *what += "negative;";
            break;
    }
    return text;
}

}  // namespace

std::string MutateKeyFile(const std::string& text, std::uint32_t seed, std::string* what) {
    Rng rng(seed);
    std::string out = text;
    what->clear();
    for (std::size_t n = 1 + Pick(rng, 3); n > 0; --n) out = Damage(out, rng, what);
    return out;
}

std::string MakeKeyFile(int count, int dims, std::uint32_t seed, float shift) {
    Rng rng(seed);
    std::uniform_real_distribution<float> pos(0.0f, 1000.0f);
    std::string text = Number("%d ", count);
    text.append(Number("%d\n", dims));
    char buf[96];
    for (int k = 0; k < count; ++k) {
        std::snprintf(buf, sizeof buf, "%.2f %.2f %.2f %.3f", static_cast<double>(pos(rng) + shift),
                      static_cast<double>(pos(rng) + shift), 1.0 + k % 7, 0.1 * (k % 31));
        text += buf;
        for (int d = 0; d < dims; ++d) {
            text.append(Number(d % 20 == 0 ? "\n %zu" : " %zu", Pick(rng, 256)));
        }
        text += "\n";
    }
    return text;
}
