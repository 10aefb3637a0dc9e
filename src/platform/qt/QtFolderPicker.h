#pragma once

#include "platform/FolderPicker.h"

namespace sentrel {

// QFileDialog in directory mode, window-modal over the window in front, with
// a typed path and a new-folder button.
class QtFolderPicker final : public FolderPicker {
public:
    void BrowseForFolder(std::string_view title, std::string_view initialFolder, Answer answer) override;
};

} // namespace sentrel
