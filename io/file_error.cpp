#include "io/file_error.h"

#include <cstring>

namespace io {

std::string FileError::Message() const {
    switch (failure) {
        case FileFailure::cannot_open:
            return file + ": cannot open: " + reason;
        case FileFailure::cannot_create:
            return file + ": cannot create: " + reason;
        case FileFailure::cannot_write:
            return file + ": cannot write: " + reason;
        case FileFailure::read_error:
            return file + ": read error: " + reason;
        case FileFailure::write_error:
            return file + ": write error: " + reason;
        case FileFailure::cannot_replace:
            return file + ": cannot replace: " + reason;
        case FileFailure::too_long:
            break;
    }
    return file + ": " + reason;
}

std::string SystemReason(int error) { return error != 0 ? std::strerror(error) : "unknown error"; }

std::string ShownName(const std::string& path, const char* stream) {
    return path == "-" ? std::string(stream) : path;
}

}  // namespace io
