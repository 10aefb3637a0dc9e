#include "platform/ExecutablePath.h"

#include <cerrno>
#include <climits>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace sentrel {

std::string ExecutableDir()
{
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    std::string exe(path, std::size_t(n));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
}

bool IsWritableDir(const std::string& dir)
{
    return ::access(dir.c_str(), W_OK | X_OK) == 0;
}

bool IsInstalledProgramDir(const std::string& dir)
{
    std::string_view path(dir);
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path == "/bin" || path.ends_with("/bin") || path.ends_with("/sbin");
}

std::string CurrentDir()
{
    char path[PATH_MAX];
    return ::getcwd(path, sizeof path) ? std::string(path) : std::string();
}

bool MakePath(const std::string& dir)
{
    for (std::size_t i = 1; i <= dir.size(); ++i) {
        if (i == dir.size() || dir[i] == '/') {
            const std::string prefix = dir.substr(0, i);
            if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
                return false;
        }
    }
    return true;
}

} // namespace sentrel
