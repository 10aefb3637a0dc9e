#pragma once

#include <string>

namespace sentrel {

// An existing directory the program may enter.
bool DirExists(const std::string& path);

} // namespace sentrel
