#pragma once

#include <dirent.h>

namespace sentrel {

// An open directory listing, closed when it goes out of scope, also when a
// throw passes through.
class DirStream final {
public:
    DirStream() = default;
    // Lists directory `fd`, which stays the caller's: the listing reads a
    // duplicate of it from the start.
    static DirStream Duplicate(int fd);
    // Lists directory `fd` and closes it with the listing. A negative one,
    // just returned by a failed open, keeps errno as the failure.
    static DirStream Adopt(int fd);

    ~DirStream();
    DirStream(DirStream&& other) noexcept;
    DirStream& operator=(DirStream&& other) noexcept;
    DirStream(const DirStream&) = delete;
    DirStream& operator=(const DirStream&) = delete;

    explicit operator bool() const { return dir_ != nullptr; }
    // Why the listing could not be opened, else 0.
    int error() const { return error_; }
    // The listed directory's handle, or -1.
    int fd() const;
    // The next entry but "." and "..", or null at the end (errno 0) or on
    // a failure (errno set). Valid until the next call.
    const dirent* next();

private:
    void close();

    DIR* dir_ = nullptr;
    int error_ = 0;
};

} // namespace sentrel
