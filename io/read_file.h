// Reading a whole input file into memory, up to a limit.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "io/file_error.h"
#include "io/file_identity.h"

namespace io {

struct FileContents {
    std::string bytes;               // the whole file; empty on failure
    FileIdentity identity;           // of the file read (also set when it was too long)
    std::optional<FileError> error;  // nullopt on success
};

// Reads all of `path` ("-": standard input), at most `max_bytes` bytes. Regular files,
// pipes and devices are read to their end; reads interrupted by a signal are resumed.
// Failures, named after `path` ("standard input" for "-"):
//   cannot_open  the file cannot be opened ("No such file or directory", ...)
//   read_error   a read failed; a folder gives "Is a directory"
//   too_long     more than `max_bytes` bytes: "too long for WHAT (more than N bytes)"
//                with `what` (e.g. "a camera file"); a regular file is refused by its
//                size before it is read.
FileContents ReadWholeFile(const std::string& path, std::size_t max_bytes, std::string_view what);

}  // namespace io
