#include "shell/LogFile.h"

#include "base/DateTime.h"
#include "base/TextFile.h"
#include "base/Utf8.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace sentrel {

namespace {
constexpr std::size_t kNameField = 13;
constexpr std::string_view kTimeGap = "      ";

} // namespace

std::string LogFilePath(const std::string& logDir, const LocalDateTime& date)
{
    return logDir + FormatDate(date) + ".txt";
}

std::string FormatLogLine(const LogRow& row)
{
    // Rows added through AddLog are escaped already; this keeps any other
    // row to one line as well.
    std::string line;
    line.reserve(row.projectName.size() + row.time.size() + row.detail.size() + 24);
    AppendEscapingControls(line, row.projectName);
    const std::size_t length = Utf8Length(line);
    if (length < kNameField)
        line.append(kNameField - length, ' ');
    line += ' ';
    line += row.time;
    line += kTimeGap;
    AppendEscapingControls(line, row.detail);
    line += "\r\n";
    return line;
}

void WriteLogFile(const ActivityLog& log, const std::string& logDir, const LocalDateTime& date)
{
    const int fd = ::open(LogFilePath(logDir, date).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0)
        return;
    std::string block;
    for (const LogRow& row : log.rows()) {
        block += FormatLogLine(row);
        if (block.size() >= (1 << 20)) {
            if (!WriteAll(fd, block))
                break;
            block.clear();
        }
    }
    WriteAll(fd, block);
    ::close(fd);
}

} // namespace sentrel
