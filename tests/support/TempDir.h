#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sentrel::test {

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // The directory, without a trailing "/".
    const std::string& path() const { return path_; }
    std::string operator/(std::string_view relative) const { return path_ + "/" + std::string(relative); }

private:
    std::string path_;
};

// Small file helpers for building and checking trees.
void WriteFile(const std::string& path, std::string_view content);
std::string ReadFile(const std::string& path);
bool Exists(const std::string& path);
void MakeDirs(const std::string& path);
void SetMtime(const std::string& path, std::int64_t seconds, long nanoseconds = 0);
std::int64_t Mtime(const std::string& path);
unsigned Mode(const std::string& path); // permission bits

} // namespace sentrel::test
