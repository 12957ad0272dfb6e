// The command line of `orient-block`, parsed GNU-style:
//
//   orient-block [OPTIONS] --db FILE KEY...
//   orient-block export --db FILE [--json OUT] [--csv OUT] [--svg OUT] [--force]
//
// The matching and estimation options are orient's (command_line/estimation_options.h).
#pragma once

#include <string>

#include "block/runner.h"

namespace orient_block {

// Exit statuses.
inline constexpr int kCompleted = 0;   // every pair of the selection is in the database
inline constexpr int kInputError = 1;  // an input, the database or an output failed
inline constexpr int kUsageError = 2;
inline constexpr int kInterrupted = 130;  // stopped by SIGINT or SIGTERM

struct ExportOptions {
    std::string database;
    std::string json_file;  // JSON lines; "-": standard output
    std::string csv_file;
    std::string svg_file;
    bool force = false;
};

struct CommandLine {
    bool run = false;  // false: exit at once with `status`, `out` and `err`
    int status = 0;
    std::string out;
    std::string err;
    bool export_pairs = false;  // the export subcommand
    block::BlockRequest request;
    std::string key_list;  // --list FILE; empty: none
    ExportOptions exports;
};

// Parses argv[1..argc-1]. `default_threads` is the thread count without --threads.
CommandLine ParseCommandLine(int argc, const char* const* argv, int default_threads);

}  // namespace orient_block
