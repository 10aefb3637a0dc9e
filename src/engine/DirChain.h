#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sentrel {

// The open directories of a walk, from its top down to the level in hand.
// Each level is opened from its parent's handle by its name alone, never
// following a link, so depth is limited only by the file system and a link
// that took a directory's place never leads the walk elsewhere. Only the
// deepest handles stay open; an ancestor whose handle was closed is opened
// again, name by name, from the deepest one still open.
class DirChain final {
public:
    // Takes the top's handle; a negative one is a top that failed with `error`.
    DirChain(int topFd, int error);
    ~DirChain();
    DirChain(const DirChain&) = delete;
    DirChain& operator=(const DirChain&) = delete;

    // Enters subdirectory `name` of the level in hand. Below a level that
    // failed, every level fails the same way.
    void push(const char* name);
    void pop();

    // The handle of the level in hand, or -1 with errno set.
    int fd();

    static constexpr std::size_t kOpenLimit = 48;

private:
    struct Level {
        std::string name;
        int fd; // -1: closed to save handles, or failed
        int error; // non-zero: failed
    };

    int reopen(std::size_t index);
    void closeSpare();

    std::vector<Level> levels_;
    std::size_t open_ = 0;
};

} // namespace sentrel
