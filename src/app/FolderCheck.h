#pragma once

#include "platform/EventLoop.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sentrel {

// Whether each folder is there, asked on threads of their own: a share that
// hangs must not freeze the window. Returns at once; `answered` gets, on
// the loop's thread, one answer a folder, nothing for one that did not
// answer within `limit`.
using FolderAnswers = std::vector<std::optional<bool>>;
void CheckFolders(EventLoop& loop, std::vector<std::string> paths, std::chrono::milliseconds limit,
                  std::function<void(FolderAnswers)> answered);

} // namespace sentrel
