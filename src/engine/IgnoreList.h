#pragma once

#include "base/Table.h"
#include "base/TextFile.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel {

struct IgnoreEntry {
    std::string text; // never empty
    bool selected = false;
};

enum class IgnoreAddResult {
    Added,
    Empty, // nothing but spaces was typed
    HasQuote, // refused: the box's hint text must never become an entry
    Duplicate, // refused: already listed, whatever the case
};

struct IgnoreAdd {
    IgnoreAddResult result;
    std::string text; // the typed text, trimmed, for the box
};

// The patterns of an ignore list, as matching uses them. Never changed once
// made: an edit makes a new one, so a copy thread may go on matching with
// the one it holds.
class IgnoreMatcher final {
public:
    // Whole names, or suffixes for entries beginning "*.", compared without
    // regard to case by the current LC_CTYPE. Only for file names.
    bool Matches(std::string_view fileName) const;

private:
    friend class IgnoreList;
    struct Folded {
        std::u32string text; // the suffix for a pattern
        bool suffix;
    };
    std::vector<Folded> folded_;
};

// File names and "*.ext" patterns that no backup copies. The rows are the
// list the user edits, on the window's thread; Save() writes them to the
// file they were loaded from. Change the rows only through the operations
// below: they keep the matcher that backups use.
class IgnoreList : public Table<IgnoreEntry> {
public:
    IgnoreList();

    // A missing or unreadable file gives an empty list; unless it is
    // simply missing, `error` receives the reason.
    void LoadIgnoreList(const std::string& path, std::string* error = nullptr);
    // The entries of a file's content.
    void LoadFromText(std::string_view content);
    WriteError SaveIgnoreList(const std::string& path) const;
    // To the loaded file; nothing to write before a load.
    WriteError Save() const;
    const std::string& path() const { return path_; }

    IgnoreAdd AddEntry(std::string_view typed);
    // False when nothing was selected.
    bool RemoveSelected();

    bool Matches(std::string_view fileName) const { return matcher()->Matches(fileName); }
    // The patterns as they are now; any thread may ask, and the answer
    // stays as it is whatever is edited afterwards.
    std::shared_ptr<const IgnoreMatcher> matcher() const;
    // Goes up with every edit: a reader keeps its matcher while it holds.
    std::uint64_t generation() const { return generation_.load(std::memory_order_acquire); }

private:
    void appendLines(const std::vector<std::string>& lines);
    void refold();

    std::string path_;
    // A plain lock rather than atomic shared_ptr access: it is taken once
    // per edit and once per batch of a copy, and reads the same on every
    // standard library.
    mutable std::mutex matcherLock_;
    std::shared_ptr<const IgnoreMatcher> matcher_;
    std::atomic<std::uint64_t> generation_ { 0 };
};

} // namespace sentrel
