#include "platform/qt/DBusControl.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace sentrel {

namespace {
const QString kErrorUnknownProject = QStringLiteral("example.corvane.Sentrel.Error.UnknownProject");
const QString kErrorRefused = QStringLiteral("example.corvane.Sentrel.Error.Refused");
constexpr int kCallTimeoutMs = 10000;

// Status rows travel as "project\tstart\tstatus": tabs never appear in a
// project name, a time or a status.
QString StatusLine(const TaskStatus& row)
{
    return QString::fromStdString(row.name) + '\t' + QString::fromStdString(row.start) + '\t'
        + QString::fromStdString(row.status);
}
} // namespace

DBusControl::DBusControl(ControlHandler& handler)
    : handler_(handler)
{
}

bool DBusControl::publish()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    if (!bus.registerObject(QString::fromLatin1(kControlPath), this,
                            QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportScriptableSignals))
        return false;
    return bus.registerService(QString::fromLatin1(kControlBusName));
}

void DBusControl::taskFinished(const TaskStatus& row)
{
    emit TaskFinished(QString::fromStdString(row.name), QString::fromStdString(row.start),
                      QString::fromStdString(row.status));
}

void DBusControl::answer(ControlReply reply, const QString& what)
{
    if (reply == ControlReply::UnknownProject)
        sendErrorReply(kErrorUnknownProject, QStringLiteral("Unknown project: ") + what);
    else if (reply == ControlReply::Refused)
        sendErrorReply(kErrorRefused, what);
}

void DBusControl::BackupNow(const QString& name)
{
    const ControlReply reply = handler_.backupNow(name.toStdString());
    answer(reply, reply == ControlReply::UnknownProject ? name : QStringLiteral("A project is being edited"));
}

void DBusControl::StopSchedule()
{
    answer(handler_.stopSchedule(), QStringLiteral("The schedule is already stopped"));
}

void DBusControl::StartSchedule()
{
    answer(handler_.startSchedule(), QStringLiteral("The schedule is already running"));
}

void DBusControl::Show()
{
    handler_.show();
}

QStringList DBusControl::Status()
{
    QStringList lines;
    for (const TaskStatus& row : handler_.status())
        lines << StatusLine(row);
    return lines;
}

QStringList DBusControl::Running()
{
    QStringList names;
    for (const std::string& name : handler_.running())
        names << QString::fromStdString(name);
    return names;
}

QStringList DBusControl::Health()
{
    QStringList lines;
    for (const std::string& line : handler_.health())
        lines << QString::fromStdString(line);
    return lines;
}

bool ControlServiceRunning()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface()->isServiceRegistered(QString::fromLatin1(kControlBusName)).value();
}

ControlCall CallControl(const std::string& method, const std::optional<std::string>& argument)
{
    ControlCall call;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return call;
    QDBusMessage message
        = QDBusMessage::createMethodCall(QString::fromLatin1(kControlBusName), QString::fromLatin1(kControlPath),
                                         QString::fromLatin1(kControlInterface), QString::fromStdString(method));
    if (argument)
        message << QString::fromStdString(*argument);
    const QDBusMessage reply = bus.call(message, QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        call.reached = reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
            && reply.errorName() != QLatin1String("org.freedesktop.DBus.Error.NoReply");
        call.error = reply.errorName().toStdString();
        call.message = reply.errorMessage().toStdString();
        return call;
    }
    call.reached = true;
    if (!reply.arguments().isEmpty())
        for (const QString& line : reply.arguments().first().toStringList()) {
            call.lines.push_back(line.toStdString());
            const QStringList parts = line.split('\t');
            if (parts.size() == 3)
                call.rows.push_back({ parts[0].toStdString(), parts[1].toStdString(), parts[2].toStdString() });
        }
    return call;
}

} // namespace sentrel
