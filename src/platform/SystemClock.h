#pragma once

#include "platform/Clock.h"

namespace sentrel {

class SystemClock final : public Clock {
public:
    LocalDateTime now() const override;
    std::int64_t tickMs() const override;
};

} // namespace sentrel
