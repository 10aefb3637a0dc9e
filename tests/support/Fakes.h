#pragma once

#include "platform/Autostart.h"
#include "platform/Dialogs.h"
#include "platform/ProcessControl.h"
#include "platform/SettingsStore.h"
#include "platform/Sound.h"
#include "platform/Tray.h"
#include "platform/UrlOpener.h"
#include "shell/MainWindowView.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sentrel::test {

// Calls of several fakes in the order they happened, "who.what".
using Journal = std::vector<std::string>;

class FakeSettings final : public SettingsStore {
public:
    explicit FakeSettings(Journal* journal = nullptr)
        : journal_(journal)
    {
    }
    std::string ReadSetting(std::string_view name) override;
    void WriteSetting(std::string_view name, std::string_view value) override;

    std::map<std::string, std::string, std::less<>> values;
    bool failReads = false; // reads throw, as a broken store might

private:
    Journal* journal_;
};

class FakeAutostart final : public Autostart {
public:
    explicit FakeAutostart(Journal* journal = nullptr)
        : journal_(journal)
    {
    }
    void AddRunEntry() override;
    void RemoveRunEntry() override;

    bool present = false;

private:
    Journal* journal_;
};

struct Balloon {
    std::string text;
    std::string title;
    BalloonIcon icon;
};

class FakeTray final : public Tray {
public:
    explicit FakeTray(Journal* journal = nullptr)
        : journal_(journal)
    {
    }
    void addIcon() override;
    void deleteIcon() override;
    bool isAvailable() const override { return available; }
    void showBalloon(std::string_view text, std::string_view title, BalloonIcon icon) override;

    bool available = true;
    bool iconShown = false;
    std::vector<Balloon> balloons;

private:
    Journal* journal_;
};

struct ShownMessage {
    std::string text;
    std::string title;
    std::optional<MessageIcon> icon; // none for a question
};

class FakeDialogs final : public Dialogs {
public:
    explicit FakeDialogs(Journal* journal = nullptr)
        : journal_(journal)
    {
    }
    bool ask(std::string_view text, std::string_view title) override;
    void message(std::string_view text, std::string_view title, MessageIcon icon) override;

    std::deque<bool> answers; // next answers to questions; No when empty
    std::function<void()> whileAsking; // runs while a question is open
    std::vector<ShownMessage> shown;

private:
    Journal* journal_;
};

class FakeSound final : public Sound {
public:
    explicit FakeSound(Journal* journal = nullptr)
        : journal_(journal)
    {
    }
    void playExclamation() override;

    int played = 0;

private:
    Journal* journal_;
};

class FakeUrlOpener final : public UrlOpener {
public:
    void openUrl(std::string_view url) override { opened.emplace_back(url); }
    std::vector<std::string> opened;
};

class FakeProcess final : public ProcessControl {
public:
    explicit FakeProcess(Journal* journal = nullptr)
        : journal_(journal)
    {
    }
    void endProcess(int status) override;

    std::optional<int> exitStatus;

private:
    Journal* journal_;
};

class FakeView final : public MainWindowView {
public:
    explicit FakeView(Journal* journal = nullptr)
        : journal_(journal)
    {
    }
    void showWindow() override;
    void hideWindow() override;
    void minimizeWindow() override;
    void restoreWindow() override;
    bool isWindowVisible() const override { return visible; }
    void optionsChanged() override;
    void scheduleStateChanged(bool running) override;

    bool visible = false;
    bool minimized = false;

private:
    Journal* journal_;
};

} // namespace sentrel::test
