// The whole run of `orient-block` for a command line: the block's pairs into the database,
// or the export of a database. Messages go to standard error, prefixed "orient-block: ".
#pragma once

namespace orient_block {

// Returns the exit status (command_line.h).
int OrientBlockMain(int argc, const char* const* argv);

}  // namespace orient_block
