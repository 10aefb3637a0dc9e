#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace sentrel {

class DirChain;

// The directory a walk is at, as its visitor sees it.
class TreeLevel final {
public:
    // Its handle, or -1 with errno set: a level that could not be opened is
    // visited all the same, so that the visitor can tell.
    int fd();
    // Its path below the top, "a/b"; empty for the top.
    const std::string& path() const;
    // Its own name; empty for the top.
    std::string_view name() const;
    // 0 for the top.
    std::size_t depth() const;
    // What its parent passed with descend().
    int data() const;

    // Walks into subdirectory `name` once this visit is done, in the order
    // asked, handing `data` (an errno, an index) to that level's visit.
    void descend(std::string name, int data = 0);
    // Enters no more levels; those entered are left as the walk unwinds.
    void stop();
    bool stopped() const;

private:
    friend bool WalkTree(DirChain& chain, class TreeVisitor& visitor);
    struct Walk;
    explicit TreeLevel(Walk& walk)
        : walk_(walk)
    {
    }
    Walk& walk_;
};

class TreeVisitor {
public:
    virtual ~TreeVisitor() = default;
    // The level just entered: list it and say which subdirectories to walk.
    virtual void visit(TreeLevel& level) = 0;
    // Back at `parent` from its subdirectory `name`, all below it walked or
    // the walk stopped: the place to remove it.
    virtual void left(TreeLevel& parent, const std::string& name, int data);
    // Asked before each subdirectory is entered; false stops the walk.
    virtual bool going();
};

// Walks the tree below `chain`'s level in hand depth first, each level
// opened from its parent's handle by name without following a link (see
// DirChain), so neither the path's length nor the depth has a limit but the
// file system's, and only a bounded number of handles is open. `chain` is
// back at its level when this returns, also by a throw. False when stopped.
bool WalkTree(DirChain& chain, TreeVisitor& visitor);

// What RemoveTree did.
struct RemoveOutcome {
    int files = 0; // removed, links and the like included
    // Entries that could not be removed; a folder kept only for what it
    // still holds is not counted again.
    int failed = 0;
    std::string firstPath; // the first failure's, below the parent: "run/sub/f"
    int firstError = 0;
};

// Removes entry `name` of parentFd, a directory, with all it holds, deepest
// first, each entry by its parent's handle. Goes on past failures.
RemoveOutcome RemoveTree(int parentFd, const std::string& name);

} // namespace sentrel
