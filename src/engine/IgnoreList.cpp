#include "engine/IgnoreList.h"

#include "base/CaseFold.h"

namespace sentrel {

IgnoreList::IgnoreList()
    : matcher_(std::make_shared<const IgnoreMatcher>())
{
}

void IgnoreList::LoadIgnoreList(const std::string& path, std::string* error)
{
    path_ = path;
    clear();
    if (const auto lines = ReadTextLines(path, error))
        appendLines(*lines);
    refold();
}

void IgnoreList::LoadFromText(std::string_view content)
{
    clear();
    appendLines(SplitLines(content));
    refold();
}

void IgnoreList::appendLines(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines) {
        std::string entry = TrimSpaces(line);
        if (!entry.empty())
            append(IgnoreEntry { std::move(entry) });
    }
}

WriteError IgnoreList::SaveIgnoreList(const std::string& path) const
{
    std::string content;
    for (const IgnoreEntry& entry : rows()) {
        if (!entry.text.empty())
            content.append(entry.text).append("\r\n");
    }
    return WriteFileAtomically(path, content);
}

WriteError IgnoreList::Save() const
{
    if (path_.empty())
        return std::nullopt;
    return SaveIgnoreList(path_);
}

IgnoreAdd IgnoreList::AddEntry(std::string_view typed)
{
    IgnoreAdd outcome { IgnoreAddResult::Added, TrimSpaces(typed) };
    if (outcome.text.empty()) {
        outcome.result = IgnoreAddResult::Empty;
        return outcome;
    }
    if (outcome.text.find('"') != std::string::npos) {
        outcome.result = IgnoreAddResult::HasQuote;
        return outcome;
    }
    std::u32string folded;
    FoldCase(outcome.text, folded);
    std::u32string other;
    for (const IgnoreEntry& entry : rows()) {
        FoldCase(entry.text, other);
        if (other == folded) {
            outcome.result = IgnoreAddResult::Duplicate;
            return outcome;
        }
    }
    append(IgnoreEntry { outcome.text });
    refold();
    return outcome;
}

bool IgnoreList::RemoveSelected()
{
    const auto selected = selectedIndex();
    if (!selected)
        return false;
    removeAt(*selected);
    refold();
    return true;
}

bool IgnoreMatcher::Matches(std::string_view fileName) const
{
    if (folded_.empty())
        return false;
    thread_local std::u32string scratch;
    FoldCase(fileName, scratch);
    const std::u32string_view name = scratch;
    for (const Folded& entry : folded_) {
        if (entry.suffix ? name.ends_with(entry.text) : name == entry.text)
            return true;
    }
    return false;
}

std::shared_ptr<const IgnoreMatcher> IgnoreList::matcher() const
{
    const std::lock_guard lock(matcherLock_);
    return matcher_;
}

void IgnoreList::refold()
{
    auto fresh = std::make_shared<IgnoreMatcher>();
    std::vector<IgnoreMatcher::Folded>& patterns = fresh->folded_;
    for (const IgnoreEntry& entry : rows()) {
        if (entry.text.empty())
            continue;
        IgnoreMatcher::Folded folded { {}, entry.text.starts_with("*.") };
        FoldCase(folded.suffix ? std::string_view(entry.text).substr(1) : std::string_view(entry.text), folded.text);
        patterns.push_back(std::move(folded));
    }
    std::shared_ptr<const IgnoreMatcher> old = std::move(fresh);
    {
        const std::lock_guard lock(matcherLock_);
        matcher_.swap(old); // let go of after the lock
    }
    generation_.fetch_add(1, std::memory_order_release);
}

} // namespace sentrel
