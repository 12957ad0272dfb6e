// Work shared out among threads in contiguous slices, for loops whose items are computed
// each on its own: the result does not depend on the number of threads.
#pragma once

#include <algorithm>
#include <cstddef>
#include <thread>
#include <vector>

// Runs body(begin, end, slice) on `threads` contiguous slices of [0, n), slice 0 on the
// calling thread and each other on a thread of its own; returns whether every slice
// returned true. Fewer slices than threads when n is small; one slice for threads <= 1.
template <typename Body>
bool ForSlices(std::size_t n, int threads, const Body& body) {
    const std::size_t parts = std::clamp<std::size_t>(threads > 0 ? threads : 1, 1, n > 0 ? n : 1);
    if (parts == 1) return body(std::size_t{0}, n, std::size_t{0});
    std::vector<char> ok(parts, 0);
    {
        std::vector<std::jthread> workers;
        workers.reserve(parts - 1);
        for (std::size_t p = 1; p < parts; ++p) {
            workers.emplace_back([&, p] { ok[p] = body(n * p / parts, n * (p + 1) / parts, p); });
        }
        ok[0] = body(std::size_t{0}, n / parts, std::size_t{0});
    }
    return std::all_of(ok.begin(), ok.end(), [](char c) { return c != 0; });
}
