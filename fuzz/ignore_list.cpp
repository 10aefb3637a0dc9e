// The ignore list: any file content loads, every whole-name entry matches
// a file of that name in any case, and a saved list loads back the same.
// The input is the file's content, then a NUL byte, then a file name.
#include "Check.h"
#include "engine/IgnoreList.h"

#include <clocale>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool locale = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    (void)locale;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view content = input.substr(0, nul);
    const std::string_view name = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

    sentrel::IgnoreList list;
    list.LoadFromText(content);
    std::string saved;
    for (const sentrel::IgnoreEntry& entry : list.rows()) {
        FUZZ_CHECK(!entry.text.empty() && entry.text.front() != ' ' && entry.text.back() != ' ');
        if (!entry.text.starts_with("*."))
            FUZZ_CHECK(list.Matches(entry.text));
        saved.append(entry.text).append("\r\n");
    }
    sentrel::IgnoreList reloaded;
    reloaded.LoadFromText(saved);
    FUZZ_CHECK(reloaded.size() == list.size());

    list.Matches(name);
    const auto added = list.AddEntry(name);
    if (added.result == sentrel::IgnoreAddResult::Added)
        FUZZ_CHECK(added.text.starts_with("*.") || list.Matches(added.text));
    return 0;
}
