#pragma once

#include "shell/Table.h"
#include "shell/TextFile.h"

#include <string>
#include <string_view>

namespace sentrel {

struct IgnoreEntry {
    std::string text; // never empty
    bool selected = false;
};

// File names and "*.ext" patterns that no backup copies. The rows are the
// list the user edits; the file is rewritten after every edit.
class IgnoreList : public Table<IgnoreEntry> {
public:
    void LoadIgnoreList(const std::string& path);
    WriteError SaveIgnoreList(const std::string& path) const;

    bool Matches(std::string_view fileName) const;
};

} // namespace sentrel
