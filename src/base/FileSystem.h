#pragma once

#include <string>

namespace sentrel {

// An existing directory the program may enter.
bool DirExists(const std::string& path);

// The directory on which the file system holding `path` is mounted, or,
// where `path` is not there, the one holding its nearest existing parent.
// A drive that is not mounted shows as the file system below it. Empty when
// nothing of the path can be reached.
std::string MountPointOf(const std::string& path);

} // namespace sentrel
