#pragma once

#include "platform/EventLoop.h"

namespace sentrel {

// Ticks as QTimers of the thread that owns the application object.
class QtEventLoop final : public EventLoop {
public:
    void every(std::chrono::milliseconds interval, std::function<bool()> tick) override;
    void post(std::function<void()> fn) override;
};

} // namespace sentrel
