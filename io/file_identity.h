// Which file a path names, so that a program can refuse to write an output over one of
// its inputs (through another path, a symbolic link or a hard link).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace io {

// The identity of an open or named file.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool regular = false;  // a regular file (not a pipe, device or folder)
};

// The identity of the file `path` names, following symbolic links; for "-" that of
// standard input (`dash_fd` 0) or standard output (1). nullopt when it cannot be found
// (no such file, a folder on the way that cannot be searched, a closed stream).
std::optional<FileIdentity> IdentifyFile(const std::string& path, int dash_fd);

// True when writing the output `output` ("-": standard output) would write over the
// existing regular file `input`. Pipes and devices are never the same file: writing one
// does not destroy what another path reads.
bool WouldOverwrite(const std::string& output, const FileIdentity& input);

// True when writing the output `output` ("-": standard output) would write over `input`
// ("-": standard input): both name one existing regular file, or neither exists yet and
// both name the same place once relative paths and symbolic links are resolved (two
// outputs still to be made).
bool WouldOverwrite(const std::string& output, const std::string& input);

}  // namespace io
