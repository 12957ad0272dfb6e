// A built program started as a child process that a test can signal while it runs (the
// interruption and kill tests), then wait for.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "testing/run_program.h"

namespace test_support {

class ChildProcess {
  public:
    // Starts `program` with `args`, standard input closed, standard output and error written
    // to the files `out_file` and `err_file` (created or truncated).
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& out_file, const std::string& err_file);
    // Kills the child (SIGKILL) if it still runs, and reaps it.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void Signal(int signal);

    // Waits at most `timeout_seconds` (then kills it); the result holds the status or the
    // signal and both files' contents.
    ProgramResult Wait(double timeout_seconds);

  private:
    pid_t pid_ = -1;
    std::string out_file_;
    std::string err_file_;
};

}  // namespace test_support
