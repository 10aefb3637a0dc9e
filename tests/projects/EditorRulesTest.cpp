#include "projects/EditorRules.h"

#include "support/Rows.h"

#include <gtest/gtest.h>
#include <set>

namespace sentrel {
namespace {

TEST(EditorRules, NormalizeTimeAndInterval)
{
    const std::pair<const char*, const char*> times[]
        = { { "7", "07:00" },       { "7:5", "07:05" },     { "", "12:00" },        { "25:70", "23:59" },
            { "123:456", "12:45" }, { "-5:30", "05:30" },   { "9:30:15", "09:30" }, { "ab:cd", "00:00" },
            { "1.5:2.9", "01:02" }, { " 24:00 ", "23:00" }, { "12", "12:00" },      { "1 2:3 0", "12:30" },
            { "1e1:0", "10:00" },   { "1e999:5", "10:05" } };
    for (const auto& [typed, normal] : times)
        EXPECT_EQ(NormalizeTime(typed), normal) << typed;

    EXPECT_EQ(NormalizeInterval("0", kHourIntervalBound), "1");
    EXPECT_EQ(NormalizeInterval("100", kHourIntervalBound), "48");
    const std::pair<const char*, const char*> minutes[]
        = { { "75", "60" }, { "2.7", "2" }, { "", "1" }, { "-7", "7" }, { "12abc", "12" } };
    for (const auto& [typed, normal] : minutes)
        EXPECT_EQ(NormalizeInterval(typed, kMinuteIntervalBound), normal) << typed;
}

ProjectRecord Stored(std::string kind, std::string start, std::string remark, std::string tag)
{
    ProjectRecord r = test::Project("P", std::move(kind), std::move(start), std::move(tag));
    r.Source = "/s";
    r.Destination = "/d";
    r.IncludeSubdir = "No";
    r.OverwriteOption = "All";
    r.Remark = std::move(remark);
    return r;
}

TEST(EditorRules, EditingReadsEveryKindBack)
{
    const EditorState weekly = EditorStateFor(Stored("Weekly", "Startup", "Mon Wed Sun ", "1 3 7"));
    EXPECT_EQ(weekly.kind, ScheduleKind::Weekly);
    EXPECT_TRUE(weekly.startAfterStartup);
    EXPECT_EQ(weekly.weekdays, (std::array<bool, 8> { false, true, false, true, false, false, false, true }));
    EXPECT_FALSE(weekly.includeSubdirs);
    EXPECT_TRUE(weekly.overwriteAll);

    const EditorState monthly = EditorStateFor(Stored("Monthly", "9:5", "09 10", "09 10"));
    std::set<int> days;
    for (int d = 1; d <= 31; ++d) {
        if (monthly.monthDays[std::size_t(d)])
            days.insert(d);
    }
    EXPECT_EQ(days, (std::set<int> { 9, 10 }));
    EXPECT_EQ(monthly.time, "9:5"); // unchanged until the box loses the focus

    const EditorState hourly = EditorStateFor(Stored("Hourly", "-", "Every 100 hours", "100"));
    EXPECT_EQ(hourly.hours, "48");
    EXPECT_EQ(hourly.time, "12:00");

    const EditorState unknown = EditorStateFor(Stored("daily", "08:00", "Every day", ""));
    EXPECT_EQ(unknown.kind, ScheduleKind::Daily);
    EXPECT_EQ(unknown.time, "12:00");
    EXPECT_TRUE(unknown.overwriteAll);
}

struct SaveFixture {
    ProjectTable projects;
    std::set<std::string> dirs { "/s", "/d", "/D" };
    EditorState state;

    SaveFixture()
    {
        state.source = "/s";
        state.destination = "/d";
        projects.append(ProjectRow { test::Project("New Project", "Daily", "12:00") });
        projects.append(ProjectRow { test::Project("Other", "Daily", "12:00") });
    }

    std::variant<ProjectRecord, SaveRefusal> save(std::string_view mode = "add",
                                                  std::optional<std::size_t> editedRow = std::nullopt)
    {
        return CheckSave(state,
                         { mode, projects, editedRow, [this](const std::string& p) { return dirs.count(p) > 0; } });
    }
    std::string refusal(std::string_view mode = "add", std::optional<std::size_t> editedRow = std::nullopt)
    {
        const auto outcome = save(mode, editedRow);
        return std::holds_alternative<SaveRefusal>(outcome) ? std::get<SaveRefusal>(outcome).text : "saved";
    }
};

TEST(EditorRules, SaveRefusesInOrderWithTheUsersTexts)
{
    SaveFixture f;
    f.state.name = "   ";
    f.state.source = "";
    const auto first = std::get<SaveRefusal>(f.save());
    EXPECT_EQ(first.text, "Please specify a name for the project.");
    EXPECT_EQ(first.title, "Sentrel");
    EXPECT_EQ(first.icon, MessageIcon::Error);
    EXPECT_EQ(first.focus, EditorField::Name);

    f.state.name = "a|b";
    EXPECT_EQ(std::get<SaveRefusal>(f.save()).icon, MessageIcon::Information);
    f.state.name = " new project ";
    const auto browse = std::get<SaveRefusal>(f.save());
    EXPECT_EQ(browse.text, "Please select the source directory");
    EXPECT_EQ(browse.then, AfterRefusal::BrowseSource);
    EXPECT_EQ(f.state.name, "new project");

    f.state.source = " /s ";
    f.state.destination = " ";
    EXPECT_EQ(std::get<SaveRefusal>(f.save()).then, AfterRefusal::BrowseDestination);
    f.state.destination = "/s";
    EXPECT_EQ(f.refusal(), "Can not back up to the same directory");
    f.state.destination = "/missing";
    const auto unreadable = std::get<SaveRefusal>(f.save());
    EXPECT_EQ(unreadable.text, "Can not read /missing");
    EXPECT_EQ(unreadable.title, "Error");
    EXPECT_EQ(unreadable.focus, EditorField::Destination);

    f.state.destination = "/D"; // differs from "/d" only in case: a different directory
    f.state.kind = ScheduleKind::Weekly;
    EXPECT_EQ(f.refusal(), "Please select the day");
    f.state.kind = ScheduleKind::Monthly;
    EXPECT_EQ(f.refusal(), "Please select the day");
    f.state.monthDays[1] = true;
    const auto duplicate = std::get<SaveRefusal>(f.save());
    EXPECT_EQ(duplicate.text, "The project name is not unique. Please input another name");
    EXPECT_EQ(duplicate.icon, MessageIcon::Warning);

    // Editing may keep the project's own name but not take another's.
    EXPECT_EQ(f.refusal("edit", 0), "saved");
    EXPECT_EQ(f.refusal("edit", 1), "The project name is not unique. Please input another name");
    f.state.name = "Fresh";
    EXPECT_EQ(f.refusal(), "saved");

    // Paths that would break the list file.
    for (const char* path : { "/s|x", "/s\nx" }) {
        f.dirs.insert(path);
        f.state.source = path;
        EXPECT_EQ(std::get<SaveRefusal>(f.save()).focus, EditorField::Source) << path;
    }
}

TEST(EditorRules, SaveComposesTheRecordOfEachKind)
{
    SaveFixture f;
    f.state.name = "Fresh";
    const auto record = [&] { return std::get<ProjectRecord>(f.save()); };

    ProjectRecord daily = record();
    EXPECT_EQ(daily, (ProjectRecord { "Fresh", "Daily", "/s", "/d", "Yes", "12:00", "Old", "Every day", "" }));

    f.state.kind = ScheduleKind::Weekly;
    f.state.weekdays[1] = f.state.weekdays[3] = f.state.weekdays[5] = true;
    f.state.time = "9:5";
    const ProjectRecord weekly = record();
    EXPECT_EQ(weekly.Remark, "Mon Wed Fri ");
    EXPECT_EQ(weekly.Tag, "1 3 5");
    EXPECT_EQ(weekly.StartTime, "09:05");

    f.state.kind = ScheduleKind::Monthly;
    f.state.monthDays[1] = f.state.monthDays[15] = f.state.monthDays[31] = true;
    f.state.startAfterStartup = true;
    const ProjectRecord monthly = record();
    EXPECT_EQ(monthly.Remark, "01 15 31");
    EXPECT_EQ(monthly.Tag, "01 15 31");
    EXPECT_EQ(monthly.StartTime, "Startup");

    f.state.kind = ScheduleKind::Minutely;
    f.state.minutes = "1";
    f.state.includeSubdirs = false;
    f.state.overwriteAll = true;
    EXPECT_EQ(record(), (ProjectRecord { "Fresh", "Minutely", "/s", "/d", "No", "-", "All", "Every 1 minutes", "1" }));

    f.state.kind = ScheduleKind::Manually;
    const ProjectRecord manual = record();
    EXPECT_EQ(manual.StartTime, "");
    EXPECT_EQ(manual.Remark, "Manually backup");
    EXPECT_EQ(manual.Tag, "");

    // What an edit opens with saves as the same record again.
    const ProjectRecord hourly { "Fresh", "Hourly", "/s", "/d", "Yes", "-", "All", "Every 5 hours", "5" };
    f.state = EditorStateFor(hourly);
    EXPECT_EQ(std::get<ProjectRecord>(f.save("edit", 0)), hourly);
}

} // namespace
} // namespace sentrel
