#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sentrel::test {

// A fresh file system in an image file, attached to a loop device and
// mounted, for tests that need a real disk's behaviour: a power cut, a
// failing write-back. Needs root and the file system's mkfs tool.
class LoopMount {
public:
    // Why no loop file system of this type can be made here, or empty.
    static std::string Unavailable(std::string_view type = "ext4");

    // Makes an image of `megabytes` at `image` (sparse), formats it with
    // mkfs.<type> and its extra arguments, and mounts it on `mountPoint`,
    // which is made if missing. On failure error() says why.
    LoopMount(const std::string& image, const std::string& mountPoint, std::string_view type = "ext4",
              unsigned megabytes = 64, const std::vector<std::string>& mkfsArgs = {}, std::string options = {});
    ~LoopMount();
    LoopMount(const LoopMount&) = delete;
    LoopMount& operator=(const LoopMount&) = delete;

    const std::string& error() const { return error_; }
    const std::string& path() const { return mountPoint_; }

    // As if the power went: nothing written after this reaches the disk,
    // not even the journal (ext4 and xfs).
    bool cutPower();
    // Unmounts and mounts again, as after a restart; the journal is replayed.
    bool remount();
    // Unmounted and its device gone, as a USB drive unplugged; and plugged
    // in again, under whatever loop device is free.
    bool unplug();
    bool plugIn();

private:
    bool mount();
    void detach();

    std::string image_, mountPoint_, type_, options_, device_, error_;
    bool mounted_ = false;
};

// Output of a shell command, and whether it succeeded.
bool RunCommand(const std::string& command, std::string* output = nullptr);

} // namespace sentrel::test
