#include "ProgramHarness.h"

#include "BenchUtil.h"
#include "base/DateTime.h"
#include "platform/NullServices.h"
#include "platform/qt/QtEventLoop.h"

#include <QApplication>
#include <QTabWidget>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

namespace sentrel::bench {

namespace {
double ThreadCpuSeconds()
{
    timespec ts {};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

class NullSettings final : public SettingsStore {
public:
    std::string ReadSetting(std::string_view) override { return {}; }
    void WriteSetting(std::string_view, std::string_view) override { }
};

class NullAutostart final : public Autostart {
public:
    void AddRunEntry() override { }
    void RemoveRunEntry() override { }
};

class NoDialogs final : public Dialogs {
public:
    void ask(std::string_view, std::string_view, std::function<void(bool)> answered) override { answered(false); }
    void message(std::string_view, std::string_view, MessageIcon) override { }
};

class NoPicker final : public FolderPicker {
public:
    void BrowseForFolder(std::string_view, std::string_view, Answer answer) override { answer({}); }
};

class NullUrls final : public UrlOpener {
public:
    void openUrl(std::string_view) override { }
};

class NoExit final : public ProcessControl {
public:
    void endProcess(int) override { }
};
} // namespace

struct ProgramHarness::Platform {
    NullSettings settings;
    NullAutostart autostart;
    NullTray tray;
    NoDialogs dialogs;
    NoPicker picker;
    NullSound sound;
    NullUrls urls;
    NoExit process;
    QtEventLoop loop;
};

StallMeter::StallMeter()
{
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, [this] { gap(Now()); });
}

void StallMeter::gap(double now)
{
    if (now - last_ > longest_) {
        longest_ = now - last_;
        longestEnd_ = now;
    }
    last_ = now;
}

void StallMeter::start()
{
    longest_ = 0;
    start_ = last_ = longestEnd_ = Now();
    timer_.start();
}

double StallMeter::stop()
{
    timer_.stop();
    gap(Now());
    return longest_ * 1000;
}

ProgramHarness::ProgramHarness(const Clock& clock)
    : clock_(clock)
    , platform_(std::make_unique<Platform>())
{
    char dir[] = "/tmp/sentrel-bench-home-XXXXXX";
    if (!::mkdtemp(dir)) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    dataDir_ = dir;
    std::ofstream(dataDir_ + "/Ignore.ini") << "*.tmp\r\nThumbs.db\r\n";

    // The caller's clock outlives the harness and every run it starts.
    Services services { std::shared_ptr<const Clock>(&clock, [](const Clock*) {}),
                        platform_->settings,
                        platform_->autostart,
                        platform_->tray,
                        platform_->dialogs,
                        platform_->picker,
                        platform_->sound,
                        platform_->urls,
                        platform_->process,
                        platform_->loop,
                        ".",
                        WebPages { "https://home.example/", "https://home.example/new" },
                        {} };
    app_ = std::make_unique<App>(services, MakeAppPaths(dataDir_));
    form_ = std::make_unique<FormMain>(*app_);
    app_->Startup("");
    // Today's tasks in front: the row being backed up is on screen.
    form_->tabs()->setCurrentIndex(1);
    QCoreApplication::processEvents();
}

ProgramHarness::~ProgramHarness()
{
    form_.reset();
    app_.reset();
    Remove(dataDir_);
}

ProgramRun ProgramHarness::backup(const std::string& source, const std::string& destination, const char* overwrite)
{
    ProjectRecord project;
    project.ProjectName = "Bench " + std::to_string(++projects_);
    project.ScheduleType = "Manually";
    project.Source = source;
    project.Destination = destination;
    project.IncludeSubdir = "Yes";
    project.OverwriteOption = overwrite;
    app_->projects().append(ProjectRow { project });

    TodayTask task;
    task.ProjectName = project.ProjectName;
    task.StartTime = FormatDateTime(clock_.now());
    task.Tag = std::string(kTagNeedStart);
    const TaskId id = app_->tasks().appendTask(task);
    const std::size_t firstLogRow = app_->log().size();

    // Straight on to the tick: one turn of the event loop now would let the
    // window's own backup timer take the row.
    StallMeter stall;
    Settle();
    stall.start();
    const double start = Now(), startCpu = ThreadCpuSeconds();
    app_->scheduler().TimerBackup();
    while (app_->scheduler().runInProgress())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ProgramRun run;
    run.seconds = Now() - start;
    run.windowCpuSeconds = ThreadCpuSeconds() - startCpu;
    // The outcome drawn.
    QCoreApplication::processEvents();
    run.longestStallMs = stall.stop();
    run.stallEndsAt = stall.longestEndedAt();

    for (std::size_t i = firstLogRow; i < app_->log().size(); ++i) {
        const std::string& detail = app_->log().at(i).detail;
        if (detail.starts_with("Can not create") && ++run.failures <= 3)
            std::fprintf(stderr, "  %s\n", detail.c_str());
    }
    if (const auto row = app_->tasks().indexOf(id))
        run.status = app_->tasks().at(*row).Status;
    if (run.status != "Backup finished.")
        std::fprintf(stderr, "  run ended: %s\n", run.status.c_str());
    return run;
}

} // namespace sentrel::bench
