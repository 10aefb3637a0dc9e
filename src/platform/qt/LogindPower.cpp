#include "platform/qt/LogindPower.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>

#include <unistd.h>

namespace sentrel {

namespace {
const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

class InhibitorFd final : public SleepLock {
public:
    explicit InhibitorFd(int fd)
        : fd_(fd)
    {
    }
    ~InhibitorFd() override { ::close(fd_); }

private:
    int fd_;
};
} // namespace

LogindPower::LogindPower()
{
    QDBusConnection::systemBus().connect(kService, kPath, kManager, QStringLiteral("PrepareForSleep"), this,
                                         SLOT(prepareForSleep(bool)));
}

std::unique_ptr<SleepLock> LogindPower::delaySleep(const std::string& why)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return nullptr;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kManager, QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep") << QStringLiteral("Sentrel") << QString::fromStdString(why)
         << QStringLiteral("delay");
    // A short wait: a run must not hang on a bus that does not answer.
    const QDBusMessage reply = bus.call(call, QDBus::Block, 2000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return nullptr;
    const auto fd = reply.arguments().first().value<QDBusUnixFileDescriptor>();
    if (!fd.isValid())
        return nullptr;
    const int own = ::dup(fd.fileDescriptor());
    return own < 0 ? nullptr : std::make_unique<InhibitorFd>(own);
}

void LogindPower::prepareForSleep(bool sleeping)
{
    if (sleeping && beforeSleep)
        beforeSleep();
    else if (!sleeping && afterWake)
        afterWake();
}

} // namespace sentrel
