#pragma once

#include <string>
#include <vector>

namespace sentrel {

inline constexpr const char* kControlBusName = "example.corvane.Sentrel";
inline constexpr const char* kControlPath = "/example/corvane/Sentrel";
inline constexpr const char* kControlInterface = "example.corvane.Sentrel";

struct TaskStatus {
    std::string name;
    std::string start;
    std::string status;
};

enum class ControlReply { Done, UnknownProject, Refused };

// What scripts may ask of the running program; the bus service calls it.
class ControlHandler {
public:
    virtual ~ControlHandler() = default;
    virtual ControlReply backupNow(const std::string& name) = 0;
    virtual ControlReply stopSchedule() = 0;
    virtual ControlReply startSchedule() = 0;
    virtual void show() = 0;
    virtual std::vector<TaskStatus> status() const = 0;
    // The projects being backed up now.
    virtual std::vector<std::string> running() const = 0;
    // Each timed project as "name\tlast good run or never\tok, overdue or failed".
    virtual std::vector<std::string> health() const = 0;
};

} // namespace sentrel
