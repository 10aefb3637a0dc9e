#pragma once

#include "platform/PowerEvents.h"

#include <string>
#include <vector>

namespace sentrel::test {

// Counts the sleep delays it hands out and how many are held now.
class FakePower final : public PowerEvents {
public:
    struct Lock final : SleepLock {
        explicit Lock(int& held)
            : held_(held)
        {
            ++held_;
        }
        ~Lock() override { --held_; }
        int& held_;
    };

    std::unique_ptr<SleepLock> delaySleep(const std::string& why) override
    {
        reasons.push_back(why);
        return std::make_unique<Lock>(held);
    }

    std::vector<std::string> reasons;
    int held = 0;
};

} // namespace sentrel::test
