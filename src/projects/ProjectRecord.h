#pragma once

#include <string>

namespace sentrel {

// One backup project: nine texts in the order of the project list file.
struct ProjectRecord {
    std::string ProjectName;
    std::string ScheduleType; // "Manually", "Minutely", "Hourly", "Daily", "Weekly", "Monthly"
    std::string Source;
    std::string Destination;
    std::string IncludeSubdir; // "Yes" or "No"
    std::string StartTime; // "", "-", "Startup" or "HH:MM"
    std::string OverwriteOption; // "All" or "Old"
    std::string Remark;
    std::string Tag;

    friend bool operator==(const ProjectRecord&, const ProjectRecord&) = default;
};

} // namespace sentrel
