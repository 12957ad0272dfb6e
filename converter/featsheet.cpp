// featsheet: converts a keypoint file into a comma-separated file, one line per keypoint.
//
//   featsheet in.key out.csv
//
// Every message goes to standard output. Exit status 0 after a complete conversion,
// 255 on every failure.
#include <sys/stat.h>

#include <cstdio>

#include "converter/byte_stream.h"
#include "converter/convert.h"
#include "io/file_handles.h"

namespace featsheet {
namespace {

using io::File;

constexpr int kFailure = -1;  // the process status keeps its low eight bits: 255

// Writes `message` (a printf format for one name) and the closing line; returns the
// failure status.
int Fail(const char* message, const char* name) {
    std::printf(message, name);
    std::puts("Exiting program\n");
    return kFailure;
}

// Closes the output file, reporting whether everything written reached it.
bool CloseOutput(File& out) { return io::CloseFile(out); }

int Report(ConvertStatus status, const char* in_name, const char* out_name) {
    switch (status) {
        case ConvertStatus::ok:
            std::puts("done!");
            return 0;
        case ConvertStatus::bad_format:
            return Fail("%s\n", "Invalid keypoint file format");
        case ConvertStatus::read_error:
            return Fail("Could not read file: %s\n", in_name);
        case ConvertStatus::write_error:
            return Fail("Could not write file: %s\n", out_name);
    }
    return kFailure;
}

// True when `out_name` names the file that `in` reads (through any path or link):
// opening it for writing would truncate the input before a byte of it is read.
bool SameFile(std::FILE* in, const char* out_name) {
    struct stat in_stat {};
    struct stat out_stat {};
    return fstat(fileno(in), &in_stat) == 0 && stat(out_name, &out_stat) == 0 &&
           in_stat.st_dev == out_stat.st_dev && in_stat.st_ino == out_stat.st_ino;
}

int Run(const char* in_name, const char* out_name) {
    File in(std::fopen(in_name, "rb"));
    if (!in) return Fail("Could not open file: %s\n", in_name);
    if (SameFile(in.get(), out_name)) return Fail("Could not open file: %s\n", out_name);
    File out(std::fopen(out_name, "wb"));
    if (!out) return Fail("Could not open file: %s\n", out_name);
    // The conversion writes whole blocks itself; a second buffer would only copy them.
    std::setvbuf(out.get(), nullptr, _IONBF, 0);

    FileSource source(in.get());
    FileSink sink(out.get());
    KeyInput input(source);
    KeyHeader header;
    ConvertStatus status = ReadKeyHeader(input, &header);
    if (status != ConvertStatus::ok) {
        CloseOutput(out);
        return Report(status, in_name, out_name);
    }

    std::printf("Converting %s to %s\n", in_name, out_name);
    std::printf("Number of features  : %d\n", header.num);
    std::printf("Number of dimensions: %d\n", header.vecLen);
    std::printf("Saving %s...................", out_name);
    std::fflush(stdout);

    status = ConvertEntries(input, header, sink);
    in.reset();
    if (!CloseOutput(out) && status != ConvertStatus::read_error) {
        status = ConvertStatus::write_error;
    }
    return Report(status, in_name, out_name);
}

}  // namespace
}  // namespace featsheet

int main(int argc, char** argv) {
    std::putchar('\n');
    if (argc != 3) {
        std::puts("Error: Incorrect number of parameters");
        std::puts("Usage: featsheet in.key out.csv");
        std::puts("Exiting program\n");
        return featsheet::kFailure;
    }
    return featsheet::Run(argv[1], argv[2]);
}
