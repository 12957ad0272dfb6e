// The command line of `python3 -m relative_orientation block`: orient-block's run options
// (command_line/block_options.h, the matching and estimation options) with its checks and
// wording, plus where the pairs run: --scheduler, --ship-keys, --workers, --chunk-pairs.
#pragma once

#include <string>
#include <vector>

#include "block/plan.h"

namespace relative_orientation_python {

// What starts every message of the command ("python3 -m relative_orientation block: ").
extern const char kBlockProgram[];

struct BlockCommand {
    bool run = false;  // false: exit at once with `status`, printing `out` and `err`
    int status = 0;
    std::string out;
    std::string err;
    block::BlockRequest request;
    std::string key_list;   // --list FILE; empty: none
    std::string scheduler;  // tcp://HOST:PORT; empty: a local cluster
    bool ship_keys = false;
    int workers = 0;      // of the local cluster; 0: one per core
    int chunk_pairs = 0;  // 0: automatic
};

// Parses the arguments after `block`.
BlockCommand ParseBlockCommand(const std::vector<std::string>& arguments);

}  // namespace relative_orientation_python
