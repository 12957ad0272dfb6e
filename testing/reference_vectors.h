// The solver's reference solves (data/levmar-reference-vectors.json), flattened: one entry
// per solve, chain steps included (each starting from the previous step's expected p), and
// the call the program makes.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "testing/coplanarity_reference.h"

namespace lmtest {

struct ReferenceSolve {
    std::string name;
    std::vector<scene::TiePoint> rows;
    std::array<double, 5> start_p{};
    std::array<double, 5> expected_p{};
    int expected_return = 0;
    int iterations = 0;
    int reason = 0;
    int nfev = 0;
    int njac = 0;
    std::array<std::optional<double>, 9> info;  // nullopt where the reference has null
};

// The solver call of the reference: iteration limit and options.
struct ReferenceCall {
    int itmax = 0;
    std::array<double, 5> opts{};
};

// The file, loaded once; throw a std::exception when it cannot be read or parsed.
const std::vector<ReferenceSolve>& ReferenceSolves();
const ReferenceCall& ReferenceSolverCall();

// The solve of that name; throws std::runtime_error when there is none.
const ReferenceSolve& ReferenceSolveNamed(const std::string& name);

}  // namespace lmtest
