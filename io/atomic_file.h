// Writing an output file so that it is either complete or left as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "io/file_error.h"

namespace io {

// Writes `bytes` as the whole content of the output `path`.
//
// - "-" is standard output (written through stdout and flushed).
// - A regular file, existing or new, is written to a temporary file in the same folder,
//   named ".NAME.tmp-XXXXXX" (hidden, so that no tool takes it for a finished file),
//   flushed to the disk with fsync and renamed over `path`. An existing file keeps its
//   permission bits; a new file gets what open(2) gives mode 0666 under the process's
//   umask (the umask is never changed). A symbolic link is followed: the file it finally
//   names is replaced and the link stays.
// - An existing file that the user may not write is refused (cannot_open, "Permission
//   denied"), as is a folder (cannot_write, "Is a directory") and a regular file under
//   /proc (cannot_write): such a file cannot be replaced by renaming.
// - Devices, pipes and other files that are not regular (/dev/null, /dev/stdout when it
//   is a terminal or a pipe) are written in place.
//
// On every failure the temporary file is removed and an existing `path` is left as it
// was. Returns nullopt on success, else what failed: "PATH: cannot create: No such file
// or directory", "PATH: write error: No space left on device", ... (FileError::Message).
// Standard output is named "standard output". Never throws for a bad path.
std::optional<FileError> WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace io
