#include "support/LoopMount.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sentrel::test {

namespace {
// From the kernel's ext4 headers, which userland does not ship; xfs took
// the same request and flag.
constexpr unsigned long kShutdown = _IOR('X', 125, std::uint32_t);
constexpr std::uint32_t kNoLogFlush = 2;

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}
} // namespace

bool RunCommand(const std::string& command, std::string* output)
{
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return false;
    std::string text;
    char buffer[512];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    const int status = ::pclose(pipe);
    if (output)
        *output = text;
    return status == 0;
}

std::string LoopMount::Unavailable(std::string_view type)
{
    if (::geteuid() != 0)
        return "loop mounts need root";
    if (!RunCommand("command -v losetup"))
        return "losetup is missing";
    if (!RunCommand("command -v mkfs." + std::string(type)))
        return "mkfs." + std::string(type) + " is missing";
    if (::access("/dev/loop-control", F_OK) != 0)
        return "no /dev/loop-control";
    return {};
}

LoopMount::LoopMount(const std::string& image, const std::string& mountPoint, std::string_view type, unsigned megabytes,
                     const std::vector<std::string>& mkfsArgs, std::string options)
    : image_(image)
    , mountPoint_(mountPoint)
    , type_(type)
    , options_(std::move(options))
{
    const int fd = ::open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const bool sized = fd >= 0 && ::ftruncate(fd, off_t(megabytes) << 20) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!sized) {
        error_ = "cannot make " + image + ": " + std::strerror(errno);
        return;
    }
    std::string command = "mkfs." + type_ + " -q";
    for (const std::string& arg : mkfsArgs)
        command += " " + Quoted(arg);
    std::string output;
    if (!RunCommand(command + " " + Quoted(image), &output)) {
        error_ = command + ": " + output;
        return;
    }
    if (!RunCommand("losetup --find --show " + Quoted(image), &output)) {
        error_ = "losetup: " + output;
        return;
    }
    device_ = output.substr(0, output.find('\n'));
    ::mkdir(mountPoint.c_str(), 0755);
    mount();
}

LoopMount::~LoopMount()
{
    // A lazy unmount only when the plain one fails: the device must be
    // free to detach.
    if (mounted_ && ::umount(mountPoint_.c_str()) != 0)
        ::umount2(mountPoint_.c_str(), MNT_DETACH);
    detach();
}

bool LoopMount::mount()
{
    if (::mount(device_.c_str(), mountPoint_.c_str(), type_.c_str(), 0, options_.c_str()) != 0) {
        error_ = "mount " + device_ + ": " + std::strerror(errno);
        return false;
    }
    mounted_ = true;
    return true;
}

void LoopMount::detach()
{
    if (!device_.empty())
        RunCommand("losetup -d " + Quoted(device_));
    device_.clear();
}

bool LoopMount::cutPower()
{
    const int fd = ::open(mountPoint_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    std::uint32_t flags = kNoLogFlush;
    const bool cut = ::ioctl(fd, kShutdown, &flags) == 0;
    if (!cut)
        error_ = std::string("shutdown ioctl: ") + std::strerror(errno);
    ::close(fd);
    return cut;
}

bool LoopMount::remount()
{
    if (mounted_ && ::umount(mountPoint_.c_str()) != 0) {
        error_ = std::string("umount: ") + std::strerror(errno);
        return false;
    }
    mounted_ = false;
    return mount();
}

bool LoopMount::unplug()
{
    if (mounted_ && ::umount(mountPoint_.c_str()) != 0) {
        error_ = std::string("umount: ") + std::strerror(errno);
        return false;
    }
    mounted_ = false;
    detach();
    return true;
}

bool LoopMount::plugIn()
{
    std::string output;
    if (!RunCommand("losetup --find --show " + Quoted(image_), &output)) {
        error_ = "losetup: " + output;
        return false;
    }
    device_ = output.substr(0, output.find('\n'));
    return mount();
}

} // namespace sentrel::test
