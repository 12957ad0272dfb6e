// A temporary directory that is removed with everything in it when it goes out of scope.
#pragma once

#include <filesystem>
#include <string>

namespace test_support {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Path of a file inside the directory.
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // Writes `content` to a file inside the directory and returns its path.
    std::string Write(const std::string& name, const std::string& content) const;

  private:
    std::filesystem::path path_;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);

}  // namespace test_support
