// How a program's command line ends when it does not lead to a run, alike for every program:
// --help and --version print their text on standard output (status 0); a value CLI11 refuses
// or a program's own check (UsageError) prints "PROGRAM: message" and "Try 'PROGRAM --help'
// for more information." on standard error, status 2.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>

namespace command_line {

inline constexpr int kUsageStatus = 2;

// A command line that parsed but cannot be run ("--db FILE is required").
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct ParseOutcome {
    bool run = false;  // false: exit at once with `status`, `out` and `err`
    int status = 0;
    std::string out;
    std::string err;
};

// Runs `parse` (CLI11's parse and the program's checks); `help` gives the help text asked
// for. `program` names the program in messages ("orient", "python3 -m relative_orientation
// block").
ParseOutcome ParseOrExit(const std::string& program, const std::function<void()>& parse,
                         const std::function<std::string()>& help);

// Copies `outcome` into a program's command line, which holds the same four fields.
template <class CommandLine>
void TakeOutcome(const ParseOutcome& outcome, CommandLine& line) {
    line.run = outcome.run;
    line.status = outcome.status;
    line.out = outcome.out;
    line.err = outcome.err;
}

}  // namespace command_line
