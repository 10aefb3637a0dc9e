#include "platform/qt/SingleInstance.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace sentrel {

SingleInstance::SingleInstance(const std::string& dataDir)
    : lock_(std::make_unique<QLockFile>(QString::fromStdString(LockPath(dataDir))))
{
    // Only a lock whose process is gone is stale, however old it is.
    lock_->setStaleLockTime(0);
}

bool SingleInstance::acquire()
{
    return lock_->tryLock(0);
}

void SingleInstance::release()
{
    lock_->unlock();
}

std::string SingleInstance::LockPath(const std::string& dataDir)
{
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (unsigned char c : dataDir) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    // The user's id too: without a runtime directory the lock lands in the
    // shared /tmp, where another user's lock must not lock this user out.
    char name[80];
    std::snprintf(name, sizeof name, "sentrel-%u-%016llx.lock", unsigned(::getuid()),
                  static_cast<unsigned long long>(hash));

    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string dir = runtime && *runtime ? runtime : "/tmp";
    return dir + "/" + name;
}

} // namespace sentrel
