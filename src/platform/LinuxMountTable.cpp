#include "platform/LinuxMountTable.h"

#include <cerrno>
#include <cstdint>
#include <libmount/libmount.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace sentrel {

LinuxMountTable::LinuxMountTable(EventLoop& loop, std::string mountInfo)
    : loop_(loop)
    , mountInfo_(std::move(mountInfo))
{
}

LinuxMountTable::~LinuxMountTable()
{
    alive_->store(false);
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        if (::write(wake_, &one, sizeof one) != sizeof one) {
            // Left to the end of the process, with the descriptor it waits on.
            thread_.detach();
            return;
        }
        thread_.join();
    }
    if (wake_ >= 0)
        ::close(wake_);
}

std::vector<std::string> LinuxMountTable::mountPoints()
{
    std::vector<std::string> points;
    libmnt_table* table = mnt_new_table();
    if (!table)
        return points;
    if (mnt_table_parse_file(table, mountInfo_.c_str()) == 0) {
        libmnt_iter* it = mnt_new_iter(MNT_ITER_FORWARD);
        libmnt_fs* fs = nullptr;
        while (it && mnt_table_next_fs(table, it, &fs) == 0)
            if (const char* target = mnt_fs_get_target(fs))
                points.emplace_back(target);
        mnt_free_iter(it);
    }
    mnt_unref_table(table);
    return points;
}

void LinuxMountTable::follow(Changed changed)
{
    if (thread_.joinable() || !changed)
        return;
    wake_ = ::eventfd(0, EFD_CLOEXEC);
    if (wake_ < 0)
        return;
    thread_ = std::thread([this, changed = std::move(changed)] { watch(changed); });
}

void LinuxMountTable::watch(Changed changed)
{
    libmnt_monitor* monitor = mnt_new_monitor();
    if (!monitor)
        return;
    const int fd = mnt_monitor_enable_kernel(monitor, 1) == 0 ? mnt_monitor_get_fd(monitor) : -1;
    while (fd >= 0) {
        pollfd fds[2] = { { fd, POLLIN, 0 }, { wake_, POLLIN, 0 } };
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (fds[1].revents != 0 || !alive_->load())
            break;
        // Several changes at once (a remount, say) are one look at the table.
        const char* file = nullptr;
        int type = 0;
        while (mnt_monitor_next_change(monitor, &file, &type) == 0) { }
        loop_.post([alive = alive_, changed, points = mountPoints()]() mutable {
            if (alive->load())
                changed(std::move(points));
        });
    }
    mnt_unref_monitor(monitor);
}

} // namespace sentrel
