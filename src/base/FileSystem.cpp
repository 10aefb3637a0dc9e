#include "base/FileSystem.h"

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

} // namespace sentrel
