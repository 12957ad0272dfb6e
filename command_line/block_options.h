// The run options of a block (the photographs, their cameras, the pairs, the database),
// offered alike by `orient-block` and by the Python module's block command: the same names,
// help texts, checks and wording.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "block/plan.h"

namespace command_line {

// --db, KEY..., --list, --camera, --cameras, --pairs and --shard; `key_list` gets --list.
void AddBlockInputs(CLI::App& app, block::BlockRequest& request, std::string& key_list);

// --quiet.
void AddBlockQuiet(CLI::App& app, bool& quiet);

// Why a parsed block run cannot go on, empty when it can: no --db, no key files, and what
// CheckEstimationOptions refuses (`threshold` from AddEstimationOptions).
std::string CheckBlockRun(const block::BlockRequest& request, const std::string& key_list,
                          const CLI::Option* threshold);

}  // namespace command_line
