#pragma once

#include <functional>
#include <string>
#include <vector>

namespace sentrel {

// Where file systems are mounted, and word when that changes.
class MountTable {
public:
    using Changed = std::function<void(std::vector<std::string> mountPoints)>;
    virtual ~MountTable() = default;
    virtual std::vector<std::string> mountPoints() = 0;
    // From now on `changed` gets the table's mount points after each
    // change, on the window's thread.
    virtual void follow(Changed changed) = 0;
};

} // namespace sentrel
