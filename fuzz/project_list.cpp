// The project list file's lines: any bytes load without harm, and what was
// loaded is saved as one line that loads back the same.
#include "Check.h"
#include "base/TextFile.h"
#include "projects/ProjectListFile.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const std::string& line : sentrel::SplitLines(text)) {
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
        const auto record = sentrel::ParseProjectLine(line);
        if (!record)
            continue;
        const std::string saved = sentrel::FormatProjectLine(*record);
        FUZZ_CHECK(saved.ends_with("\r\n"));
        const auto lines = sentrel::SplitLines(saved);
        FUZZ_CHECK(lines.size() == 1);
        // Only a tag that was followed by more fields can end in spaces,
        // and the trimming of the saved line takes them.
        sentrel::ProjectRecord expected = *record;
        expected.Tag.erase(expected.Tag.find_last_not_of(' ') + 1);
        const auto reloaded = sentrel::ParseProjectLine(lines[0]);
        FUZZ_CHECK(reloaded && *reloaded == expected);
    }
    return 0;
}
