#pragma once

#include "platform/Autostart.h"
#include "platform/Dialogs.h"
#include "platform/FolderPicker.h"
#include "platform/MountTable.h"
#include "platform/ProcessControl.h"
#include "platform/SettingsStore.h"
#include "platform/Sound.h"
#include "platform/Tray.h"
#include "platform/UrlOpener.h"
#include "shell/MainWindowView.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sentrel::test {

// Calls of several fakes in the order they happened, "who.what".
using Journal = std::vector<std::string>;

class Noting {
public:
    explicit Noting(Journal* journal = nullptr)
        : journal_(journal)
    {
    }

protected:
    void note(std::string call) const
    {
        if (journal_)
            journal_->push_back(std::move(call));
    }

private:
    Journal* journal_;
};

class FakeSettings final : public SettingsStore, Noting {
public:
    using Noting::Noting;
    std::string ReadSetting(std::string_view name) override
    {
        note("settings.read " + std::string(name));
        if (failReads)
            throw std::runtime_error("settings store unreadable");
        const auto it = values.find(name);
        return it == values.end() ? std::string() : it->second;
    }
    void WriteSetting(std::string_view name, std::string_view value) override
    {
        note("settings.write " + std::string(name) + "=" + std::string(value));
        values[std::string(name)] = value;
    }

    std::map<std::string, std::string, std::less<>> values;
    bool failReads = false; // reads throw, as a broken store might
};

class FakeAutostart final : public Autostart, Noting {
public:
    using Noting::Noting;
    void AddRunEntry() override { note("autostart.add"), present = true; }
    void RemoveRunEntry() override { note("autostart.remove"), present = false; }

    bool present = false;
};

struct Balloon {
    std::string text;
    std::string title;
    BalloonIcon icon;
};

class FakeTray final : public Tray, Noting {
public:
    using Noting::Noting;
    void addIcon() override { note("tray.add"), iconShown = true; }
    void deleteIcon() override { note("tray.delete"), iconShown = false; }
    bool isAvailable() const override { return available; }
    void showBalloon(std::string_view text, std::string_view title, BalloonIcon icon) override
    {
        balloons.push_back({ std::string(text), std::string(title), icon });
    }
    void setMenuEnabled(bool enabled) override { note(enabled ? "tray.menu on" : "tray.menu off"); }
    void setStatus(TrayLook newLook, std::string_view newTip) override
    {
        look = newLook;
        tip = newTip;
    }

    bool available = true;
    TrayLook look = TrayLook::Normal;
    std::string tip = "Sentrel";
    bool iconShown = false;
    std::vector<Balloon> balloons;
};

struct ShownMessage {
    std::string text;
    std::string title;
    std::optional<MessageIcon> icon; // none for a question
};

class FakeDialogs final : public Dialogs, Noting {
public:
    using Noting::Noting;
    // Answered at once from `answers`, unless questions are held open.
    void ask(std::string_view text, std::string_view title, std::function<void(bool)> answered) override
    {
        note("dialogs.ask " + std::string(text));
        shown.push_back({ std::string(text), std::string(title), std::nullopt });
        if (holdQuestions) {
            open.push_back(std::move(answered));
            return;
        }
        if (whileAsking)
            whileAsking();
        const bool answer = !answers.empty() && answers.front();
        if (!answers.empty())
            answers.pop_front();
        if (answered)
            answered(answer);
    }
    void message(std::string_view text, std::string_view title, MessageIcon icon) override
    {
        shown.push_back({ std::string(text), std::string(title), icon });
    }
    // Answers the question open longest; false when none is open.
    bool answerOpen(bool yes)
    {
        if (open.empty())
            return false;
        auto answered = std::move(open.front());
        open.pop_front();
        if (answered)
            answered(yes);
        return true;
    }

    std::deque<bool> answers; // next answers to questions; No when empty
    std::function<void()> whileAsking; // runs while a question is open
    bool holdQuestions = false; // questions stay open until answerOpen
    std::deque<std::function<void(bool)>> open;
    std::vector<ShownMessage> shown;
};

// Answers at once, as scripted; cancels when out of answers.
class FakeFolderPicker final : public FolderPicker, Noting {
public:
    using Noting::Noting;
    void BrowseForFolder(std::string_view title, std::string_view initialFolder, Answer answer) override
    {
        note("picker " + std::string(title) + " at " + std::string(initialFolder));
        std::string chosen;
        if (!answers.empty()) {
            chosen = answers.front();
            answers.pop_front();
        }
        answer(chosen);
    }

    std::deque<std::string> answers;
};

class FakeSound final : public Sound {
public:
    void playExclamation() override { ++played; }
    int played = 0;
};

class FakeUrlOpener final : public UrlOpener {
public:
    void openUrl(std::string_view url) override { opened.emplace_back(url); }
    std::vector<std::string> opened;
};

class FakeProcess final : public ProcessControl, Noting {
public:
    using Noting::Noting;
    void endProcess(int status) override { note("process.end " + std::to_string(status)), exitStatus = status; }
    std::optional<int> exitStatus;
};

// A mount table the test changes; told at once, as the window's thread would be.
class FakeMountTable final : public MountTable {
public:
    std::vector<std::string> mountPoints() override { return points; }
    void follow(Changed changed) override { changed_ = std::move(changed); }

    void mount(const std::string& point)
    {
        points.push_back(point);
        tell();
    }
    void unmount(const std::string& point)
    {
        std::erase(points, point);
        tell();
    }

    std::vector<std::string> points { "/", "/home" };

private:
    void tell()
    {
        if (changed_)
            changed_(points);
    }
    Changed changed_;
};

class FakeView final : public MainWindowView, Noting {
public:
    using Noting::Noting;
    void showWindow() override { note("view.show"), visible = true, minimized = false; }
    void hideWindow() override { note("view.hide"), visible = false; }
    void minimizeWindow() override { note("view.minimize"), minimized = true; }
    void restoreWindow() override { note("view.restore"), visible = true, minimized = false; }
    bool isWindowVisible() const override { return visible; }
    void optionsChanged() override { note("view.options"); }
    void scheduleStateChanged(bool running) override { note(running ? "view.running" : "view.stopped"); }
    void setScheduleTimers(bool on) override { note(on ? "view.timers on" : "view.timers off"); }
    void openProjectEditor() override { note("view.editor"); }
    void showTasksTab() override { note("view.tasks tab"); }
    void openRestore(const std::string& projectName) override { note("view.restore " + projectName); }

    bool visible = false;
    bool minimized = false;
};

} // namespace sentrel::test
