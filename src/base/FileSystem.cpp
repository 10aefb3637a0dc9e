#include "base/FileSystem.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace sentrel {

bool DirExists(const std::string& path)
{
    // Without changing directory: the current directory is the whole
    // process's.
    struct stat st { };
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

namespace {
std::string ParentOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}
} // namespace

std::string MountPointOf(const std::string& path)
{
    std::string current = path;
    while (current.size() > 1 && current.ends_with('/'))
        current.pop_back();
    struct stat st { };
    while (::stat(current.c_str(), &st) != 0) {
        if (errno != ENOENT && errno != ENOTDIR)
            return {};
        const std::string parent = ParentOf(current);
        if (parent == current)
            return {};
        current = parent;
    }
    // Up to the last directory on the same device.
    for (;;) {
        const std::string parent = ParentOf(current);
        struct stat up { };
        if (parent == current || ::stat(parent.c_str(), &up) != 0 || up.st_dev != st.st_dev)
            return current;
        current = parent;
    }
}

} // namespace sentrel
