// What every run of a program on damaged input must show, whatever the input.
#pragma once

#include <string>

#include "testing/run_program.h"

namespace test_support {

// Sanitizer builds cannot run under a small address-space limit: the sanitizers reserve
// terabytes of virtual memory at start-up. The build says whether the programs carry them
// (RO_PROGRAMS_SANITIZED, cmake/ProjectFlags.cmake), since the tests' own code may be built
// without them.
#if defined(RO_PROGRAMS_SANITIZED) || defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// Seconds a run may take beyond the program's deliberate pauses.
inline constexpr double kSlackSeconds = kSanitized ? 20.0 : 5.0;

// Ended normally by exit, in time, with no sanitizer report on either stream.
inline bool EndedCleanly(const ProgramResult& r) {
    auto reported = [](const std::string& s) {
        return s.find("Sanitizer") != std::string::npos ||
               s.find("runtime error:") != std::string::npos;
    };
    return !r.timed_out && r.signal == 0 && r.exit_status >= 0 && !reported(r.err) &&
           !reported(r.out);
}

// `program` with `args`, under a virtual memory limit of about 2 GB.
inline ProgramResult RunLimited(const std::string& program, const std::vector<std::string>& args,
                                double timeout_seconds) {
    std::vector<std::string> shell = {"-c", "ulimit -v 2000000; exec \"$0\" \"$@\"", program};
    shell.insert(shell.end(), args.begin(), args.end());
    return RunProgram("/bin/sh", shell, timeout_seconds);
}

}  // namespace test_support
