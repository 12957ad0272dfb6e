// The byte streams that the conversion reads from and writes to: files for the program,
// memory buffers for tests and fuzzing.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace featsheet {

// A stream of input bytes.
struct Source {
    virtual ~Source() = default;
    // Copies up to `capacity` of the next bytes into `dest` and returns how many; 0 at the
    // end of the stream. When the stream cannot be read, sets *error and returns 0.
    virtual std::size_t Read(char* dest, std::size_t capacity, bool* error) = 0;
};

// A stream of output bytes.
struct Sink {
    virtual ~Sink() = default;
    // Appends `size` bytes; false when they could not all be written.
    virtual bool Write(const char* data, std::size_t size) = 0;
};

// Reads an open file; the file stays owned by the caller.
struct FileSource : Source {
    explicit FileSource(std::FILE* f) : file(f) {}
    std::size_t Read(char* dest, std::size_t capacity, bool* error) override;
    std::FILE* file;
};

// Writes an open file; the file stays owned by the caller.
struct FileSink : Sink {
    explicit FileSink(std::FILE* f) : file(f) {}
    bool Write(const char* data, std::size_t size) override;
    std::FILE* file;
};

// Reads a memory buffer that outlives it.
struct BufferSource : Source {
    explicit BufferSource(std::string_view d) : data(d) {}
    std::size_t Read(char* dest, std::size_t capacity, bool* error) override;
    std::string_view data;
};

// Collects everything written in a string.
struct StringSink : Sink {
    bool Write(const char* data, std::size_t size) override;
    std::string text;
};

}  // namespace featsheet
