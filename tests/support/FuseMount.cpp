#include "support/FuseMount.h"

#include "support/LoopMount.h"

#include <csignal>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/vfs.h>
#include <thread>
#include <unistd.h>

namespace sentrel::test {

namespace {
constexpr long kFuseMagic = 0x65735546;

struct Tools {
    const char* mkfs; // for an image, or nullptr
    const char* mount;
};

Tools ToolsFor(FuseMount::Kind kind)
{
    switch (kind) {
    case FuseMount::Kind::Exfat:
        return { "mkfs.exfat", "mount.exfat-fuse" };
    case FuseMount::Kind::Fat:
        return { "mkfs.vfat", "fusefat" };
    case FuseMount::Kind::Ntfs:
        return { "mkntfs", "ntfs-3g" };
    case FuseMount::Kind::Sshfs:
        return { nullptr, "sshfs" };
    case FuseMount::Kind::ChmodDenied:
        return { nullptr, "bindfs" };
    }
    return { nullptr, "" };
}

bool Found(const std::string& tool)
{
    return RunCommand("command -v " + tool + " >/dev/null 2>&1");
}

bool IsFuse(const std::string& path)
{
    struct statfs st { };
    return ::statfs(path.c_str(), &st) == 0 && long(st.f_type) == kFuseMagic;
}

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

constexpr const char* kSftpServer = "/usr/lib/openssh/sftp-server";
} // namespace

std::string FuseMount::Unavailable(Kind kind)
{
    if (::geteuid() != 0)
        return "needs root";
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return "no /dev/fuse";
    const Tools tools = ToolsFor(kind);
    for (const char* tool : { tools.mkfs, tools.mount }) {
        if (tool && !Found(tool))
            return std::string(tool) + " is missing";
    }
    if (kind == Kind::Sshfs && ::access(kSftpServer, X_OK) != 0)
        return std::string(kSftpServer) + " is missing";
    if ((kind == Kind::Exfat || kind == Kind::Fat) && !LoopMount::Unavailable("ext4").empty())
        return "no loop devices";
    return {};
}

FuseMount::FuseMount(Kind kind, const std::string& workDir)
    : kind_(kind)
    , workDir_(workDir)
    , mountPoint_(workDir + "/mnt")
{
    ::mkdir(workDir.c_str(), 0755);
    ::mkdir(mountPoint_.c_str(), 0755);
    const std::string image = workDir + "/disk.img", backing = workDir + "/backing";
    std::string output, command;
    switch (kind) {
    case Kind::Exfat:
    case Kind::Fat: {
        // Both want a block device.
        const std::string mkfs = kind == Kind::Exfat ? "mkfs.exfat " : "mkfs.vfat ";
        if (!RunCommand("truncate -s 64M " + Quoted(image) + " && " + mkfs + Quoted(image) + " >/dev/null 2>&1")
            || !RunCommand("losetup -f --show " + Quoted(image), &output)) {
            error_ = "can not make the image";
            return;
        }
        device_ = output.substr(0, output.find('\n'));
        command = (kind == Kind::Exfat ? "mount.exfat-fuse " : "fusefat -o rw+ ") + Quoted(device_) + " "
            + Quoted(mountPoint_);
        break;
    }
    case Kind::Ntfs:
        if (!RunCommand("truncate -s 64M " + Quoted(image) + " && mkntfs -F -Q " + Quoted(image)
                        + " >/dev/null 2>&1")) {
            error_ = "can not make the image";
            return;
        }
        command = "ntfs-3g " + Quoted(image) + " " + Quoted(mountPoint_);
        break;
    case Kind::Sshfs: {
        // The share is served by an sftp server over the ssh command's pipe.
        const std::string server = workDir + "/sftp.sh";
        std::ofstream(server) << "#!/bin/sh\nexec " << kSftpServer << "\n";
        ::chmod(server.c_str(), 0755);
        ::mkdir(backing.c_str(), 0755);
        command
            = "sshfs -o ssh_command=" + Quoted(server) + " localhost:" + Quoted(backing) + " " + Quoted(mountPoint_);
        break;
    }
    case Kind::ChmodDenied:
        ::mkdir(backing.c_str(), 0755);
        command = "bindfs --chmod-deny " + Quoted(backing) + " " + Quoted(mountPoint_);
        break;
    }
    if (!RunCommand(command + " >/dev/null 2>&1") || !IsFuse(mountPoint_)) {
        error_ = "can not mount: " + command;
        return;
    }
    mounted_ = true;
    daemon_ = findDaemon();
}

FuseMount::~FuseMount()
{
    thaw();
    unmount();
    if (!device_.empty())
        RunCommand("losetup -d " + Quoted(device_) + " 2>/dev/null");
}

pid_t FuseMount::findDaemon() const
{
    // The daemon is the process whose arguments name the mount point.
    DIR* proc = ::opendir("/proc");
    pid_t found = 0;
    while (const dirent* entry = proc ? ::readdir(proc) : nullptr) {
        const pid_t pid = pid_t(std::atol(entry->d_name));
        if (pid <= 0 || pid == ::getpid())
            continue;
        std::ifstream in("/proc/" + std::string(entry->d_name) + "/cmdline");
        std::string argument;
        while (std::getline(in, argument, '\0')) {
            if (argument == mountPoint_)
                found = pid;
        }
    }
    if (proc)
        ::closedir(proc);
    return found;
}

void FuseMount::freeze()
{
    if (daemon_ > 0 && ::kill(daemon_, SIGSTOP) == 0)
        frozen_ = true;
}

void FuseMount::thaw()
{
    if (frozen_)
        ::kill(daemon_, SIGCONT);
    frozen_ = false;
}

void FuseMount::pull()
{
    if (!mounted_)
        return;
    // Killed with the mount still there: every call then fails with
    // "Transport endpoint is not connected", as on a pulled stick.
    if (daemon_ > 0) {
        ::kill(daemon_, SIGCONT);
        ::kill(daemon_, SIGKILL);
    }
    frozen_ = false;
}

void FuseMount::unmount()
{
    if (!mounted_)
        return;
    // Lazily: a test may still hold a descriptor on it.
    RunCommand("fusermount -uz " + Quoted(mountPoint_) + " 2>/dev/null || umount -l " + Quoted(mountPoint_)
               + " 2>/dev/null");
    mounted_ = false;
}

} // namespace sentrel::test
