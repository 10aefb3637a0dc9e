#include "engine/TreeWalk.h"

#include "base/DirStream.h"
#include "engine/DirChain.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace sentrel {

struct TreeLevel::Walk {
    struct Subdirectory {
        std::string name;
        int data;
    };
    struct Level {
        std::vector<Subdirectory> subdirectories;
        std::size_t next = 0;
        std::size_t pathLength = 0;
        std::string name;
        int data = 0;
    };

    explicit Walk(DirChain& chain)
        : chain(chain)
    {
    }
    // The caller's chain goes back to where it was, however the walk ends.
    ~Walk()
    {
        for (; pushed > 0; --pushed)
            chain.pop();
    }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    DirChain& chain;
    std::vector<Level> levels;
    std::string path;
    std::size_t pushed = 0;
    bool stopped = false;
};

int TreeLevel::fd()
{
    return walk_.chain.fd();
}

const std::string& TreeLevel::path() const
{
    return walk_.path;
}

std::string_view TreeLevel::name() const
{
    return walk_.levels.back().name;
}

std::size_t TreeLevel::depth() const
{
    return walk_.levels.size() - 1;
}

int TreeLevel::data() const
{
    return walk_.levels.back().data;
}

void TreeLevel::descend(std::string name, int data)
{
    walk_.levels.back().subdirectories.push_back({ std::move(name), data });
}

void TreeLevel::stop()
{
    walk_.stopped = true;
}

bool TreeLevel::stopped() const
{
    return walk_.stopped;
}

void TreeVisitor::left(TreeLevel&, const std::string&, int) { }

bool TreeVisitor::going()
{
    return true;
}

bool WalkTree(DirChain& chain, TreeVisitor& visitor)
{
    // A loop rather than recursion: the depth of a tree is not the stack's.
    TreeLevel::Walk walk(chain);
    TreeLevel level(walk);
    walk.levels.emplace_back();
    visitor.visit(level);
    while (!walk.levels.empty()) {
        TreeLevel::Walk::Level& current = walk.levels.back();
        const bool more = current.next < current.subdirectories.size();
        if (more && !walk.stopped && !visitor.going())
            walk.stopped = true;
        if (!more || walk.stopped) {
            const std::string name = std::move(current.name);
            const int data = current.data;
            walk.levels.pop_back();
            if (walk.levels.empty())
                break;
            walk.chain.pop();
            --walk.pushed;
            walk.path.resize(walk.levels.back().pathLength);
            visitor.left(level, name, data);
            continue;
        }
        TreeLevel::Walk::Subdirectory next = std::move(current.subdirectories[current.next++]);
        if (!walk.path.empty())
            walk.path.push_back('/');
        walk.path.append(next.name);
        walk.chain.push(next.name.c_str());
        ++walk.pushed;
        walk.levels.push_back({ {}, 0, walk.path.size(), std::move(next.name), next.data });
        visitor.visit(level);
    }
    return !walk.stopped;
}

namespace {
bool IsDirectoryEntry(int dirFd, const dirent& entry)
{
    if (entry.d_type != DT_UNKNOWN)
        return entry.d_type == DT_DIR;
    struct stat st { };
    return ::fstatat(dirFd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
}

class Remover final : public TreeVisitor {
public:
    explicit Remover(const std::string& top)
        : top_(top)
    {
    }

    void visit(TreeLevel& level) override
    {
        holding_.resize(level.depth() + 1);
        holding_.back() = false;
        const int fd = level.fd();
        if (fd < 0)
            return fail(level.path(), {}, errno);
        // Listed before anything goes: removing while listing may skip entries.
        std::vector<std::pair<std::string, bool>> entries;
        {
            DirStream dir = DirStream::Duplicate(fd);
            if (!dir)
                return fail(level.path(), {}, dir.error());
            while (const dirent* entry = dir.next())
                entries.emplace_back(entry->d_name, IsDirectoryEntry(fd, *entry));
            if (errno != 0)
                fail(level.path(), {}, errno);
        }
        for (auto& [name, directory] : entries) {
            if (directory)
                level.descend(std::move(name));
            else if (::unlinkat(fd, name.c_str(), 0) == 0)
                ++outcome.files;
            else
                fail(level.path(), name, errno);
        }
    }

    void left(TreeLevel& parent, const std::string& name, int) override
    {
        const bool childHolds = holding_[parent.depth() + 1];
        holding_.resize(parent.depth() + 1);
        const int fd = parent.fd();
        if (fd >= 0 && ::unlinkat(fd, name.c_str(), AT_REMOVEDIR) == 0)
            return;
        const int error = fd < 0 ? ENOENT : errno;
        if (childHolds && (error == ENOTEMPTY || error == EEXIST))
            holding_.back() = true;
        else
            fail(parent.path(), name, error);
    }

    // The top itself, once all below it is done.
    void removeTop(int parentFd)
    {
        const bool holds = !holding_.empty() && holding_[0];
        if (::unlinkat(parentFd, top_.c_str(), AT_REMOVEDIR) == 0)
            return;
        const int error = errno;
        if (!holds || (error != ENOTEMPTY && error != EEXIST))
            failAt(top_, error);
    }

    void failAt(const std::string& path, int error)
    {
        if (outcome.failed++ == 0) {
            outcome.firstPath = path;
            outcome.firstError = error;
        }
    }

    RemoveOutcome outcome;

private:
    void fail(const std::string& levelPath, const std::string& name, int error)
    {
        holding_.back() = true;
        if (outcome.failed > 0) {
            ++outcome.failed;
            return;
        }
        std::string path = top_;
        for (const std::string* part : { &levelPath, &name }) {
            if (!part->empty())
                path.append("/").append(*part);
        }
        failAt(path, error);
    }

    const std::string& top_;
    std::vector<bool> holding_; // by depth: a level that keeps something
};
} // namespace

RemoveOutcome RemoveTree(int parentFd, const std::string& name)
{
    const int fd = ::openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    Remover remover(name);
    if (fd < 0) {
        remover.failAt(name, errno);
        return remover.outcome;
    }
    {
        DirChain chain(fd, 0);
        WalkTree(chain, remover);
    }
    remover.removeTop(parentFd);
    return remover.outcome;
}

} // namespace sentrel
