#pragma once

#include "platform/qt/QtEventLoop.h"

#include <QTest>

namespace sentrel::test {

// The application's own event loop, turned by Qt as in the program.
inline EventLoop& UiLoop()
{
    static QtEventLoop loop;
    return loop;
}

// Turns it until `done` holds, at most `ms`.
inline bool TurnUntil(const std::function<bool()>& done, int ms = 30000)
{
    return QTest::qWaitFor(done, ms);
}

} // namespace sentrel::test
