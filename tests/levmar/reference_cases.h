// The reference solves of data/levmar-reference-vectors.json, flattened: one entry per
// solve, chain steps included (each starting from the previous step's expected p).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "coplanarity_model.h"

namespace lmtest {

struct ReferenceSolve {
    std::string name;
    std::vector<TiePoint> rows;
    std::array<double, 5> start_p{};
    std::array<double, 5> expected_p{};
    int expected_return = 0;
    int iterations = 0;
    int reason = 0;
    int nfev = 0;
    int njac = 0;
    std::array<std::optional<double>, 9> info;  // nullopt where the reference has null
};

struct ReferenceCall {
    int itmax = 0;
    std::array<double, 5> opts{};
};

// Loads the file; throws std::runtime_error if it cannot be read or parsed.
std::vector<ReferenceSolve> LoadReferenceSolves(const std::string& path);
ReferenceCall LoadReferenceCall(const std::string& path);

// Path of the copied reference file.
std::string ReferenceFilePath();

}  // namespace lmtest
