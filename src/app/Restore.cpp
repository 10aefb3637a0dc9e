#include "app/Restore.h"

#include "base/BackgroundJob.h"
#include "base/DateTime.h"
#include "base/TextFile.h"
#include "engine/Versions.h"
#include "shell/AppState.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace sentrel {

namespace {
constexpr auto kTurnInterval = std::chrono::milliseconds(10);

bool IsCopyTemp(std::string_view name)
{
    return name.starts_with(".sentrel-") && name.ends_with(".tmp");
}

std::string Joined(std::string_view a, std::string_view b)
{
    std::string path(a);
    if (b.empty())
        return path;
    if (!path.empty() && !path.ends_with('/'))
        path.push_back('/');
    path.append(b);
    return path;
}

// Walks `top`, calling `file` for each file (links included) by its path
// relative to `top`, and `folder` for each folder but dot folders.
void Walk(const std::string& top, const std::string& relative, const std::function<void(const std::string&)>& folder,
          const std::function<void(const std::string&, const struct stat&)>& file, std::atomic<std::size_t>* listed,
          const std::atomic<bool>* cancel)
{
    DIR* dir = ::opendir(Joined(top, relative).c_str());
    if (!dir)
        return;
    std::vector<std::string> subfolders;
    while (const dirent* entry = ::readdir(dir)) {
        if (cancel && *cancel)
            break;
        const std::string_view name = entry->d_name;
        if (name == "." || name == ".." || IsCopyTemp(name))
            continue;
        struct stat st { };
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        const std::string path = Joined(relative, name);
        if (S_ISDIR(st.st_mode)) {
            // The backup has none of its own: they are the versions and the user's.
            if (!name.starts_with('.'))
                subfolders.push_back(path);
            continue;
        }
        file(path, st);
        if (listed)
            ++*listed;
    }
    ::closedir(dir);
    for (const std::string& path : subfolders) {
        folder(path);
        Walk(top, path, folder, file, listed, cancel);
    }
}

// 0 or the errno.
int MakeParents(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string parent = path.substr(0, slash);
        if (::mkdir(parent.c_str(), 0777) != 0 && errno != EEXIST)
            return errno;
    }
    return 0;
}

int CopyData(int in, int out)
{
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errno;
        if (got == 0)
            return 0;
        for (ssize_t written = 0; written < got;) {
            const ssize_t n = ::write(out, buffer + written, std::size_t(got - written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return errno;
            written += n;
        }
    }
}

std::optional<std::int64_t> MtimeOf(const std::string& path)
{
    struct stat st { };
    if (::lstat(path.c_str(), &st) != 0)
        return std::nullopt;
    return std::int64_t(st.st_mtim.tv_sec);
}
} // namespace

BackupIndex IndexBackup(const std::string& destinationRoot, std::atomic<std::size_t>* listed,
                        const std::atomic<bool>* cancel)
{
    BackupIndex index;
    const auto copyOf = [](const std::string& path, const struct stat& st, std::string version) {
        return BackupCopy { path, std::move(version), (long long)st.st_size, std::int64_t(st.st_mtim.tv_sec) };
    };
    const auto folder = [&](const std::string& relative) { index.folders.push_back(relative); };
    Walk(
        destinationRoot, "", folder,
        [&](const std::string& relative, const struct stat& st) {
            index.files[relative].push_back(copyOf(Joined(destinationRoot, relative), st, {}));
        },
        listed, cancel);

    const std::string versions = Joined(destinationRoot, kVersionsFolder);
    std::vector<std::string> runs;
    if (DIR* dir = ::opendir(versions.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (ParseVersionFolderName(entry->d_name))
                runs.emplace_back(entry->d_name);
        }
        ::closedir(dir);
    }
    // Newest first, each after the backup's own copy.
    std::sort(runs.rbegin(), runs.rend());
    for (const std::string& run : runs) {
        const std::string top = Joined(versions, run);
        Walk(
            top, "", folder,
            [&](const std::string& relative, const struct stat& st) {
                index.files[relative].push_back(copyOf(Joined(top, relative), st, run));
            },
            listed, cancel);
    }
    std::sort(index.folders.begin(), index.folders.end());
    index.folders.erase(std::unique(index.folders.begin(), index.folders.end()), index.folders.end());
    return index;
}

std::string CopyLabel(const BackupCopy& copy)
{
    if (copy.version.empty())
        return "Backup copy";
    const std::optional<LocalDateTime> date = ParseVersionFolderName(copy.version);
    return date ? FormatDateTime(*date) : copy.version;
}

std::string SizeText(long long bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    const char* units[] = { "KB", "MB", "GB", "TB" };
    double value = double(bytes) / 1024;
    std::size_t unit = 0;
    for (; value >= 1024 && unit + 1 < std::size(units); ++unit)
        value /= 1024;
    // One decimal at most, rounded half up.
    const long long tenths = (long long)(value * 10 + 0.5);
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10 != 0)
        text += "." + std::to_string(tenths % 10);
    return text + " " + units[unit];
}

std::string RestoreTarget(std::string_view relative, std::string_view sourceRoot, std::string_view pickedFolder)
{
    if (pickedFolder.empty())
        return Joined(sourceRoot, relative);
    const std::size_t slash = relative.rfind('/');
    return Joined(pickedFolder, slash == std::string_view::npos ? relative : relative.substr(slash + 1));
}

namespace {
std::string TempBeside(const std::string& to)
{
    return to.substr(0, to.rfind('/') + 1) + ".sentrel-restore-" + std::to_string(::getpid()) + ".tmp";
}

// A link comes back as the link it was, not as a copy of what it points to.
std::string RestoreLink(const std::string& from, const std::string& to, const struct stat& st)
{
    std::string target(std::size_t(st.st_size > 0 ? st.st_size : 4095) + 1, '\0');
    const ssize_t length = ::readlink(from.c_str(), target.data(), target.size());
    if (length < 0)
        return "Can not read " + from + ", " + SystemErrorText(errno);
    target.resize(std::size_t(length));
    const std::string temp = TempBeside(to);
    ::unlink(temp.c_str());
    int failure = MakeParents(to);
    if (failure == 0 && ::symlink(target.c_str(), temp.c_str()) != 0)
        failure = errno;
    if (failure == 0) {
        const timespec times[2] = { st.st_atim, st.st_mtim };
        ::utimensat(AT_FDCWD, temp.c_str(), times, AT_SYMLINK_NOFOLLOW);
        if (::rename(temp.c_str(), to.c_str()) != 0) {
            failure = errno;
            ::unlink(temp.c_str());
        }
    }
    return failure == 0 ? std::string() : "Can not create " + to + ", " + SystemErrorText(failure);
}
} // namespace

std::string RestoreFile(const std::string& from, const std::string& to)
{
    struct stat link { };
    if (::lstat(from.c_str(), &link) == 0 && S_ISLNK(link.st_mode))
        return RestoreLink(from, to, link);
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return "Can not read " + from + ", " + SystemErrorText(errno);
    struct stat st { };
    int failure = ::fstat(in, &st) != 0 ? errno : MakeParents(to);
    const std::string temp = TempBeside(to);
    int out = -1;
    if (failure == 0) {
        out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (out < 0)
            failure = errno;
    }
    if (failure == 0)
        failure = CopyData(in, out);
    const timespec times[2] = { st.st_atim, st.st_mtim };
    if (failure == 0 && (::fchmod(out, st.st_mode & 07777) != 0 || ::futimens(out, times) != 0 || ::fsync(out) != 0))
        failure = errno;
    if (out >= 0 && ::close(out) != 0 && failure == 0 && errno != EINTR)
        failure = errno;
    ::close(in);
    if (failure == 0 && ::rename(temp.c_str(), to.c_str()) != 0)
        failure = errno;
    if (failure == 0)
        return {};
    if (out >= 0)
        ::unlink(temp.c_str());
    return "Can not create " + to + ", " + SystemErrorText(failure);
}

Restorer::Restorer(Dialogs& dialogs, std::function<void()> yield)
    : dialogs_(dialogs)
    , yield_(std::move(yield))
{
}

void Restorer::beside(const std::function<void()>& work)
{
    BackgroundJob job(work);
    job.waitTurning(
        [this] {
            if (yield_)
                yield_();
            return true;
        },
        kTurnInterval);
}

RestoreOutcome Restorer::restore(std::vector<Item> items)
{
    // Compared first, then asked about, then written: no file is touched
    // on the window's thread, and no question waits on a disk.
    std::vector<char> newer(items.size(), 0);
    beside([&] {
        for (std::size_t i = 0; i < items.size(); ++i) {
            const auto target = MtimeOf(items[i].to);
            const auto copy = MtimeOf(items[i].from);
            newer[i] = target && copy && *target > *copy;
        }
    });
    RestoreOutcome outcome;
    std::vector<Item> chosen;
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto replace = std::make_shared<bool>(false);
        if (newer[i])
            dialogs_.ask("The file " + items[i].to + " is newer than the copy in the backup.\r\nReplace it?", kAppTitle,
                         [replace](bool yes) { *replace = yes; });
        if (newer[i] && !*replace) {
            ++outcome.declined;
            continue;
        }
        chosen.push_back(std::move(items[i]));
    }
    beside([&] {
        for (const Item& item : chosen) {
            std::string failure = RestoreFile(item.from, item.to);
            if (failure.empty())
                ++outcome.restored;
            else
                outcome.failures.push_back(std::move(failure));
        }
    });
    return outcome;
}

std::vector<Restorer::Item> Restorer::FileItems(const BackupCopy& copy, const std::string& target)
{
    return { { copy.path, target } };
}

std::vector<Restorer::Item> Restorer::FolderItems(const BackupIndex& index, std::string_view relative,
                                                  const std::string& target)
{
    std::vector<Item> items;
    const std::string prefix = relative.empty() ? std::string() : std::string(relative) + "/";
    for (auto it = index.files.lower_bound(prefix); it != index.files.end() && it->first.starts_with(prefix); ++it) {
        // The backup's own copy; a file only in the versions was replaced
        // by a folder, which is the one to restore.
        if (it->second.front().version.empty())
            items.push_back({ it->second.front().path, Joined(target, it->first.substr(prefix.size())) });
    }
    return items;
}

} // namespace sentrel
