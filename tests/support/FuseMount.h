#pragma once

#include <string>
#include <sys/types.h>

namespace sentrel::test {

// A file system of a kind people back up to, mounted through FUSE for a
// test and unmounted at its end: a USB stick (exFAT, FAT), an NTFS disk, a
// network share (sshfs over a pipe to an sftp server, with no network), or
// a folder that refuses permission changes (bindfs).
class FuseMount {
public:
    enum class Kind { Exfat, Fat, Ntfs, Sshfs, ChmodDenied };

    // Why this machine cannot mount it (not root, a tool missing), or empty.
    static std::string Unavailable(Kind kind);

    // Mounts a fresh one on `workDir`/mnt; images and backing folders go to
    // `workDir` too. On failure error() says why.
    FuseMount(Kind kind, const std::string& workDir);
    ~FuseMount();
    FuseMount(const FuseMount&) = delete;
    FuseMount& operator=(const FuseMount&) = delete;

    const std::string& error() const { return error_; }
    const std::string& path() const { return mountPoint_; }

    // The daemon stops answering, as a share whose network stalled; every
    // call on the mount then waits until thaw().
    void freeze();
    void thaw();
    // Gone at once, as a stick pulled out: the daemon is killed.
    void pull();

private:
    pid_t findDaemon() const;
    void unmount();

    Kind kind_;
    std::string workDir_, mountPoint_, device_, error_;
    pid_t daemon_ = 0; // found while it answers: looking later could wait on a frozen mount
    bool mounted_ = false;
    bool frozen_ = false;
};

} // namespace sentrel::test
