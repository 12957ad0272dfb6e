// Decimal numbers as camera files write them: read so that a file gives the same doubles
// as the literals it shows, and written so that the text reads back to exactly the same
// doubles.
#pragma once

#include <cmath>
#include <optional>
#include <string>
#include <string_view>

namespace ro {

// `s` without the blanks (space, tab, CR, FF, VT) at either end.
std::string_view TrimBlanks(std::string_view s);

// A finite decimal number that fills the whole field (a leading '+' is allowed).
std::optional<double> ParseDecimal(std::string_view field);

// The value of a decimal field times 10^shift, rounded once: "13.2" millimetres with shift
// -3 becomes exactly the double nearest 0.0132 metres, as if the metres had been written.
std::optional<double> ParseScaledDecimal(std::string_view field, int shift);

// The shortest decimal that ParseDecimal reads back as `value` ("0.25", "1e-05").
std::string ShortestDecimal(double value);

// The shortest decimal that ParseScaledDecimal(text, -shift) reads back as `value`:
// 0.0132 metres with shift 3 gives "13.2", not the "13.200000000000001" of value * 1000.
std::string ScaledDecimal(double value, int shift);

// A double x within a few units in the last place of `guess` for which map(x) == target,
// trying `guess` first and then its neighbours outwards; nullopt when there is none. Used to
// write a value that a computation on the read number gives back exactly.
template <class Map>
std::optional<double> PreimageNear(double guess, double target, Map map) {
    if (!std::isfinite(guess)) return std::nullopt;
    double up = guess;
    double down = guess;
    if (map(guess) == target) return guess;
    for (int step = 0; step < 16; ++step) {
        up = std::nextafter(up, HUGE_VAL);
        down = std::nextafter(down, -HUGE_VAL);
        if (map(up) == target) return up;
        if (map(down) == target) return down;
    }
    return std::nullopt;
}

}  // namespace ro
