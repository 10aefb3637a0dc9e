#include "platform/qt/QtEventLoop.h"

#include <QCoreApplication>
#include <QTimer>

namespace sentrel {

void QtEventLoop::every(std::chrono::milliseconds interval, std::function<bool()> tick)
{
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setInterval(interval);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, tick = std::move(tick)] {
        if (!tick()) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

void QtEventLoop::post(std::function<void()> fn)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

} // namespace sentrel
