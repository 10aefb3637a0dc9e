#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace sentrel {

// The desktop's folder chooser, over the window in front. It does not block:
// the answer comes later, so a backup in progress goes on meanwhile.
class FolderPicker {
public:
    using Answer = std::function<void(std::string)>;

    virtual ~FolderPicker() = default;
    // Answers the chosen existing directory without a trailing "/" (the root
    // stays "/"), or empty text when the user cancelled. A preselected
    // folder that does not exist is no error.
    virtual void BrowseForFolder(std::string_view title, std::string_view initialFolder, Answer answer) = 0;
};

} // namespace sentrel
