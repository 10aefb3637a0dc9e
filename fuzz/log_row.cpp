// Log rows: whatever bytes a project or file name holds, a row is one line
// of the log file, and escaping is done once, alike for screen and file.
// The input is the project name, a NUL byte, then the detail.
#include "Check.h"
#include "base/Utf8.h"
#include "shell/ActivityLog.h"
#include "shell/LogFile.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

namespace {
class FixedClock final : public sentrel::Clock {
public:
    sentrel::LocalDateTime now() const override { return { 2026, 12, 7, 10, 0, 0 }; }
    std::int64_t tickMs() const override { return 0; }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view name = input.substr(0, nul);
    const std::string_view detail = nul == std::string_view::npos ? std::string_view() : input.substr(nul + 1);

    static const FixedClock clock;
    sentrel::ActivityLog log(clock);
    log.AddLog(name, detail);
    const sentrel::LogRow& row = log.at(0);
    FUZZ_CHECK(sentrel::EscapeControlCharacters(row.projectName) == row.projectName);
    FUZZ_CHECK(sentrel::EscapeControlCharacters(row.detail) == row.detail);

    for (const sentrel::LogRow& written : { row, sentrel::LogRow { std::string(name), "t", std::string(detail) } }) {
        const std::string line = sentrel::FormatLogLine(written);
        FUZZ_CHECK(line.ends_with("\r\n"));
        FUZZ_CHECK(std::count(line.begin(), line.end(), '\n') == 1);
        FUZZ_CHECK(std::count(line.begin(), line.end(), '\r') == 1);
    }
    FUZZ_CHECK(sentrel::FormatLogLine(row).find(row.detail) != std::string::npos);
    return 0;
}
