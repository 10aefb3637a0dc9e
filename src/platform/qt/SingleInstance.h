#pragma once

#include <QLockFile>

#include <memory>
#include <string>

namespace sentrel {

// One running program per user and data directory. The lock lives in the
// user's runtime directory, so a second start writes nothing.
class SingleInstance final {
public:
    explicit SingleInstance(const std::string& dataDir);

    // False when another instance holds the lock.
    bool acquire();
    void release();

    static std::string LockPath(const std::string& dataDir);

private:
    std::unique_ptr<QLockFile> lock_;
};

} // namespace sentrel
