#pragma once

#include "platform/PowerEvents.h"

#include <QObject>

namespace sentrel {

// logind's PrepareForSleep signal and its delay inhibitor, on the system bus.
// Without logind nothing is told and nothing delayed; the main timer still
// notices a wake-up from the clock.
class LogindPower final : public QObject, public PowerEvents {
    Q_OBJECT

public:
    LogindPower();
    std::unique_ptr<SleepLock> delaySleep(const std::string& why) override;

private Q_SLOTS:
    void prepareForSleep(bool sleeping);
};

} // namespace sentrel
