#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace sentrel::test {

// A chain of `levels` folders named `name` below `top`, made by handle so
// that its path may be longer than the system takes at once, with `file`
// holding `content` at the bottom.
void MakeDeepTree(const std::string& top, int levels, const std::string& name, const std::string& file,
                  std::string_view content);
// The content of that file; nothing when it or a folder above is missing.
std::optional<std::string> ReadDeepFile(const std::string& top, int levels, const std::string& name,
                                        const std::string& file);
void SetDeepMtime(const std::string& top, int levels, const std::string& name, const std::string& file,
                  long long seconds);
// "name/name/.../file", `levels` names long.
std::string DeepPath(int levels, const std::string& name, const std::string& file);

// The descriptors this process has open.
int OpenDescriptors();

// Sets or clears the immutable flag of a folder, which not even root can
// remove or change. Empty or why it could not be set (not every file system
// or container allows it).
std::string SetImmutable(const std::string& path, bool on);

} // namespace sentrel::test
