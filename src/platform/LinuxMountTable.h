#pragma once

#include "platform/EventLoop.h"
#include "platform/MountTable.h"

#include <atomic>
#include <memory>
#include <thread>

namespace sentrel {

// The process's mount table, from /proc/self/mountinfo, followed through
// libmount's monitor on a thread of its own: reading the table never
// touches a disk, but the wait for a change must not hold the window.
class LinuxMountTable final : public MountTable {
public:
    explicit LinuxMountTable(EventLoop& loop, std::string mountInfo = "/proc/self/mountinfo");
    ~LinuxMountTable() override;
    LinuxMountTable(const LinuxMountTable&) = delete;
    LinuxMountTable& operator=(const LinuxMountTable&) = delete;

    std::vector<std::string> mountPoints() override;
    void follow(Changed changed) override;

private:
    void watch(Changed changed);

    EventLoop& loop_;
    std::string mountInfo_;
    // Cleared when this goes: a change posted before then finds no listener.
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
    int wake_ = -1;
    std::thread thread_;
};

} // namespace sentrel
