#include "base/TextFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace sentrel {

std::optional<std::vector<std::string>> ReadTextLines(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
    }
    // A read error keeps what was read until then.
    return lines;
}

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(std::size_t(n));
    }
    return true;
}

std::string TrimSpaces(std::string_view text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string SystemErrorText(int error)
{
    return std::strerror(error);
}

namespace {
mode_t CurrentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

int CreateTemporary(const std::string& path, std::string& tempPath)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

WriteError WriteFileAtomically(const std::string& path, std::string_view content)
{
    std::string tempPath;
    const int fd = CreateTemporary(path, tempPath);
    if (fd < 0)
        return SystemErrorText(errno);

    // The replacement keeps the mode of the file it replaces.
    struct stat old { };
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~CurrentUmask());

    const bool written = WriteAll(fd, content) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    const int writeError = errno;
    if (::close(fd) != 0 && written) {
        const int closeError = errno;
        ::unlink(tempPath.c_str());
        return SystemErrorText(closeError);
    }
    if (!written) {
        ::unlink(tempPath.c_str());
        return SystemErrorText(writeError);
    }
    if (::rename(tempPath.c_str(), path.c_str()) != 0) {
        const int renameError = errno;
        ::unlink(tempPath.c_str());
        return SystemErrorText(renameError);
    }
    return std::nullopt;
}

} // namespace sentrel
