#include "base/DirStream.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace sentrel {

DirStream DirStream::Duplicate(int fd)
{
    // Not reopened by ".": that needs search permission the handle may not have.
    const int copy = fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    DirStream stream = Adopt(copy);
    // The duplicate shares the position of the original, wherever that is.
    if (stream.dir_)
        ::rewinddir(stream.dir_);
    return stream;
}

DirStream DirStream::Adopt(int fd)
{
    DirStream stream;
    if (fd < 0) {
        stream.error_ = errno != 0 ? errno : EBADF;
        return stream;
    }
    stream.dir_ = ::fdopendir(fd);
    if (!stream.dir_) {
        stream.error_ = errno;
        ::close(fd);
    }
    return stream;
}

DirStream::~DirStream()
{
    close();
}

DirStream::DirStream(DirStream&& other) noexcept
    : dir_(std::exchange(other.dir_, nullptr))
    , error_(other.error_)
{
}

DirStream& DirStream::operator=(DirStream&& other) noexcept
{
    if (this != &other) {
        close();
        dir_ = std::exchange(other.dir_, nullptr);
        error_ = other.error_;
    }
    return *this;
}

void DirStream::close()
{
    if (dir_)
        ::closedir(dir_);
    dir_ = nullptr;
}

int DirStream::fd() const
{
    return dir_ ? ::dirfd(dir_) : -1;
}

const dirent* DirStream::next()
{
    if (!dir_) {
        errno = error_ != 0 ? error_ : EBADF;
        return nullptr;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir_);
        if (!entry)
            return nullptr;
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        return entry;
    }
}

} // namespace sentrel
