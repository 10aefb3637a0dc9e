#pragma once

#include <string>

namespace sentrel {

// The directory that holds the running executable, or empty text.
std::string ExecutableDir();
bool IsWritableDir(const std::string& dir);
// A directory of installed programs (".../bin/"), shared by all users and
// writable by root: never a data directory, even when writable.
bool IsInstalledProgramDir(const std::string& dir);
std::string CurrentDir();
// Creates the directory and its missing parents.
bool MakePath(const std::string& dir);

} // namespace sentrel
