// Runs a built program as a child process and collects what it wrote.
#pragma once

#include <string>
#include <vector>

namespace test_support {

struct ProgramResult {
    int exit_status = -1;    // the status passed to exit, or -1 when ended by a signal
    int signal = 0;          // the signal that ended the process, 0 if none
    bool timed_out = false;  // killed after the time limit
    std::string out;         // everything written to standard output
    std::string err;         // everything written to standard error
};

// Starts `program` with `args` (not including argv[0]) in working directory `cwd`
// (empty: the current one), with standard input closed, and waits for it for at most
// `timeout_seconds`.
ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                         double timeout_seconds = 60.0, const std::string& cwd = "");

}  // namespace test_support
