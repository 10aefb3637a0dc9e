#include "platform/qt/DesktopAutostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <utility>

namespace sentrel {

namespace {
// The escapes of a Desktop Entry string value.
std::string EscapeString(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// One argument of an Exec line, before the string escapes.
std::string QuoteArgument(const std::string& argument)
{
    std::string out = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += '\\';
        if (c == '%')
            out += '%';
        out += c;
    }
    return out + '"';
}

std::string Env(const char* name)
{
    return qEnvironmentVariable(name).toStdString();
}

std::string ConfigHome()
{
    // XDG base directories ignore a relative value.
    const std::string configHome = Env("XDG_CONFIG_HOME");
    if (!configHome.empty() && configHome.front() == '/')
        return configHome;
    return QDir::homePath().toStdString() + "/.config";
}

std::string Absolute(const std::string& path)
{
    if (path.empty())
        return path;
    return QFileInfo(QString::fromStdString(path)).absoluteFilePath().toStdString();
}
} // namespace

// The session starts the program from another directory, so a relative data
// directory is made absolute now.
DesktopAutostart::DesktopAutostart(std::string programPath)
    : DesktopAutostart(std::move(programPath), ConfigHome() + "/autostart/sentrel.desktop",
                       Absolute(Env("SENTREL_HOME")))
{
}

DesktopAutostart::DesktopAutostart(std::string programPath, std::string entryPath, std::string sentrelHome)
    : programPath_(std::move(programPath))
    , entryPath_(std::move(entryPath))
    , sentrelHome_(std::move(sentrelHome))
{
}

std::string DesktopAutostart::EntryText() const
{
    std::string exec;
    if (!sentrelHome_.empty())
        exec = "env " + QuoteArgument("SENTREL_HOME=" + sentrelHome_) + " ";
    exec += QuoteArgument(programPath_) + " /1";

    const QFileInfo program(QString::fromStdString(programPath_));
    const QString iconFile = program.absoluteDir().filePath(QStringLiteral("sentrel.svg"));
    const std::string icon = QFileInfo::exists(iconFile) ? iconFile.toStdString() : std::string("sentrel");

    std::string text = "[Desktop Entry]\n"
                       "Type=Application\n"
                       "Name=Sentrel\n"
                       "Comment=Backs up your folders on a schedule\n";
    text += "Exec=" + EscapeString(exec) + "\n";
    text += "Icon=" + EscapeString(icon) + "\n";
    text += "Terminal=false\n"
            "X-GNOME-Autostart-enabled=true\n";
    return text;
}

void DesktopAutostart::AddRunEntry()
{
    const QString path = QString::fromStdString(entryPath_);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    const std::string text = EntryText();
    file.write(text.data(), qint64(text.size()));
    file.commit();
}

void DesktopAutostart::RemoveRunEntry()
{
    QFile::remove(QString::fromStdString(entryPath_));
}

} // namespace sentrel
