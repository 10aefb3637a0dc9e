#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace sentrel {

// Whether a folder is there, asked on a thread of its own while `yield`
// keeps the event loop turning: a share that hangs must not freeze the
// window. Nothing when the folder did not answer within `limit`.
std::optional<bool> DirExistsWithin(const std::string& path, std::chrono::milliseconds limit,
                                    const std::function<void()>& yield);

} // namespace sentrel
