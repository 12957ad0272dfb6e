// Why a file could not be read or written, in words a message can carry.
#pragma once

#include <string>

namespace io {

// The step that failed; each gives the message its wording.
enum class FileFailure {
    cannot_open,     // "FILE: cannot open: REASON"
    cannot_create,   // "FILE: cannot create: REASON" (the temporary file beside an output)
    cannot_write,    // "FILE: cannot write: REASON" (an output refused before anything was written)
    read_error,      // "FILE: read error: REASON"
    write_error,     // "FILE: write error: REASON"
    cannot_replace,  // "FILE: cannot replace: REASON" (the finished temporary file)
    too_long,        // "FILE: REASON", e.g. "too long for a camera file (more than 1048576 bytes)"
};

struct FileError {
    std::string file;  // the path as given, or "standard input" / "standard output" for "-"
    FileFailure failure = FileFailure::cannot_open;
    std::string reason;  // the system's text for the error (strerror), or what was wrong

    // The whole message, e.g. "out.json: cannot create: No such file or directory".
    std::string Message() const;
};

// The system's text for an errno value; "unknown error" for 0.
std::string SystemReason(int error);

// The name messages use for `path`: `path` itself, or `stream` ("standard input",
// "standard output") for "-".
std::string ShownName(const std::string& path, const char* stream);

}  // namespace io
