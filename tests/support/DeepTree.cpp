#include "support/DeepTree.h"

#include "base/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sentrel::test {

namespace {
constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

int OpenChain(const std::string& top, int levels, const std::string& name, bool create)
{
    UniqueFd dir(::open(top.c_str(), kDirFlags));
    for (int i = 0; i < levels && dir.get() >= 0; ++i) {
        if (create && ::mkdirat(dir.get(), name.c_str(), 0755) != 0 && errno != EEXIST)
            throw std::runtime_error("mkdirat: " + std::string(std::strerror(errno)));
        dir.reset(::openat(dir.get(), name.c_str(), kDirFlags | O_NOFOLLOW));
    }
    return dir.release();
}
} // namespace

void MakeDeepTree(const std::string& top, int levels, const std::string& name, const std::string& file,
                  std::string_view content)
{
    const UniqueFd bottom(OpenChain(top, levels, name, true));
    const UniqueFd out(::openat(bottom.get(), file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (out.get() < 0 || ::write(out.get(), content.data(), content.size()) != ssize_t(content.size()))
        throw std::runtime_error("can not write the deep file");
}

std::optional<std::string> ReadDeepFile(const std::string& top, int levels, const std::string& name,
                                        const std::string& file)
{
    const UniqueFd bottom(OpenChain(top, levels, name, false));
    const UniqueFd in(bottom.get() < 0 ? -1 : ::openat(bottom.get(), file.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return std::nullopt;
    std::string content;
    char buffer[4096];
    for (ssize_t n; (n = ::read(in.get(), buffer, sizeof buffer)) > 0;)
        content.append(buffer, std::size_t(n));
    return content;
}

void SetDeepMtime(const std::string& top, int levels, const std::string& name, const std::string& file,
                  long long seconds)
{
    const UniqueFd bottom(OpenChain(top, levels, name, false));
    const timespec times[2] = { { time_t(seconds), 0 }, { time_t(seconds), 0 } };
    if (bottom.get() < 0 || ::utimensat(bottom.get(), file.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("can not set the deep file's time");
}

std::string DeepPath(int levels, const std::string& name, const std::string& file)
{
    std::string path;
    for (int i = 0; i < levels; ++i)
        path += name + "/";
    return path + file;
}

int OpenDescriptors()
{
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(dir))
        count += entry->d_name[0] != '.';
    ::closedir(dir);
    return count - 1; // the listing's own
}

std::string SetImmutable(const std::string& path, bool on)
{
    const UniqueFd fd(::open(path.c_str(), kDirFlags | O_NOFOLLOW));
    int flags = 0;
    if (fd.get() < 0 || ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0)
        return std::strerror(errno);
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    if (::ioctl(fd.get(), FS_IOC_SETFLAGS, &flags) != 0)
        return std::strerror(errno);
    return {};
}

} // namespace sentrel::test
