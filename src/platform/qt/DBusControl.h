#pragma once

#include "platform/ControlService.h"

#include <QDBusContext>
#include <QObject>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

namespace sentrel {

// The running program on the session bus. Status gives today's rows as
// (project, start time, status); TaskFinished follows each run's outcome.
class DBusControl final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "example.corvane.Sentrel")

public:
    explicit DBusControl(ControlHandler& handler);
    // False when there is no session bus or another program holds the name.
    bool publish();

    void taskFinished(const TaskStatus& row);

public Q_SLOTS:
    Q_SCRIPTABLE void BackupNow(const QString& name);
    Q_SCRIPTABLE void StopSchedule();
    Q_SCRIPTABLE void StartSchedule();
    Q_SCRIPTABLE void Show();
    Q_SCRIPTABLE QStringList Status();
    Q_SCRIPTABLE QStringList Running();
    Q_SCRIPTABLE QStringList Health();

Q_SIGNALS:
    Q_SCRIPTABLE void TaskFinished(const QString& name, const QString& start, const QString& status);

private:
    void answer(ControlReply reply, const QString& what);

    ControlHandler& handler_;
};

// The command line's side: calls the running program.
struct ControlCall {
    bool reached = false; // a program answered
    std::string error; // D-Bus error name, empty on success
    std::string message;
    std::vector<TaskStatus> rows; // of Status
    std::vector<std::string> lines; // the reply's list as it came
};

bool ControlServiceRunning();
ControlCall CallControl(const std::string& method, const std::optional<std::string>& argument = std::nullopt);

} // namespace sentrel
