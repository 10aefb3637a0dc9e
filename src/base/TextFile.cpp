#include "base/TextFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sentrel {

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

std::optional<std::vector<std::string>> ReadTextLines(const std::string& path, std::string* error)
{
    const auto refuse = [&](int code) -> std::optional<std::vector<std::string>> {
        if (error && code != ENOENT)
            *error = SystemErrorText(code);
        return std::nullopt;
    };
    // Non-blocking: opening a named pipe must not wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return refuse(errno);
    struct stat st { };
    if (::fstat(fd, &st) != 0) {
        const int code = errno;
        ::close(fd);
        return refuse(code);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        if (error)
            *error = "Not a regular file";
        return std::nullopt;
    }
    if (std::size_t(st.st_size) > kMaxDataFileBytes) {
        ::close(fd);
        return refuse(EFBIG);
    }
    // The size may change while reading; the cap holds whatever it says.
    std::string content(std::size_t(st.st_size) + 1, '\0');
    std::size_t done = 0;
    for (;;) {
        if (done == content.size()) {
            if (content.size() > kMaxDataFileBytes) {
                ::close(fd);
                return refuse(EFBIG);
            }
            content.resize(std::min(content.size() * 2, kMaxDataFileBytes + 1));
        }
        const ssize_t n = ::read(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // a read error keeps what was read until then
        done += std::size_t(n);
    }
    ::close(fd);
    content.resize(done);
    return SplitLines(content);
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
