#pragma once

#include "engine/BackupEngine.h"

#include <memory>
#include "engine/IgnoreList.h"
#include "support/FakeClock.h"
#include "support/TempDir.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sentrel::test {

using Names = std::vector<std::string>;

// Everything below a folder, sorted; nothing for a missing one.
inline Names Listing(const std::string& path)
{
    Names names;
    if (Exists(path)) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
            names.push_back(entry.path().string().substr(path.size() + 1));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// An engine that copies `src` to `dst`, and where it reports. Several
// workers may report at once; a note is logged as "Note: ...", so that it
// is told from a failure.
class EngineTest : public ::testing::Test, public BackupProgress {
protected:
    EngineTest() { MakeDirs(dst); }

    void setTag(std::string_view path) override { Add(tags, path); }
    void setStatus(std::string_view text) override { Add(statuses, text); }
    void log(std::string_view detail) override { Add(logs, detail); }
    void note(std::string_view detail) override { Add(logs, "Note: " + std::string(detail)); }
    void yield() override { onYield(); }
    bool running() const override { return scheduleRunning; }

    // Counts and copies, then gives the copies their final times as a run
    // does once they are on the disk, or leaves them provisional as after a
    // failed write-out. Gives the files counted and done; logs only this run's.
    std::pair<double, double> Run(std::string_view overwrite = "Old", std::string_view include = "Yes",
                                  bool writtenOut = true)
    {
        logs.clear();
        engine.FilesTotal = engine.FilesDone = 0;
        engine.CountFiles(src, include, dst, *this);
        engine.CopyTree(src, dst, include, overwrite, src, *this);
        if (writtenOut)
            EXPECT_TRUE(engine.ApplyFinalTimes().empty());
        else
            engine.DiscardFinalTimes();
        return { engine.FilesTotal, engine.FilesDone };
    }

    // A source file, its folders made.
    void Put(const std::string& name, std::string_view content = "x", std::optional<std::int64_t> mtime = {})
    {
        MakeDirs(std::filesystem::path(src + name).parent_path());
        WriteFile(src + name, content);
        if (mtime)
            SetMtime(src + name, *mtime);
    }

    void Add(Names& names, std::string_view text)
    {
        const std::lock_guard lock(reports);
        names.emplace_back(text);
    }

    TempDir dir;
    std::string src = dir / "src", dst = dir / "dst";
    std::shared_ptr<FakeClock> clockOwner = std::make_shared<FakeClock>();
    std::shared_ptr<IgnoreList> ignoreOwner = std::make_shared<IgnoreList>();
    FakeClock& clock = *clockOwner;
    IgnoreList& ignoreList = *ignoreOwner;
    BackupEngine engine { clockOwner, ignoreOwner, "." };
    std::mutex reports;
    Names tags, statuses, logs;
    std::function<void()> onYield = [] {};
    bool scheduleRunning = true;
};

} // namespace sentrel::test
