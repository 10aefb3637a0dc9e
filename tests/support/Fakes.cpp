#include "support/Fakes.h"

#include <stdexcept>

namespace sentrel::test {

namespace {
void Note(Journal* journal, std::string entry)
{
    if (journal)
        journal->push_back(std::move(entry));
}
} // namespace

std::string FakeSettings::ReadSetting(std::string_view name)
{
    Note(journal_, "settings.read " + std::string(name));
    if (failReads)
        throw std::runtime_error("settings store unreadable");
    const auto it = values.find(name);
    return it == values.end() ? std::string() : it->second;
}

void FakeSettings::WriteSetting(std::string_view name, std::string_view value)
{
    Note(journal_, "settings.write " + std::string(name) + "=" + std::string(value));
    values[std::string(name)] = std::string(value);
}

void FakeAutostart::AddRunEntry()
{
    Note(journal_, "autostart.add");
    present = true;
}

void FakeAutostart::RemoveRunEntry()
{
    Note(journal_, "autostart.remove");
    present = false;
}

void FakeTray::addIcon()
{
    Note(journal_, "tray.add");
    iconShown = true;
}

void FakeTray::deleteIcon()
{
    Note(journal_, "tray.delete");
    iconShown = false;
}

void FakeTray::showBalloon(std::string_view text, std::string_view title, BalloonIcon icon)
{
    Note(journal_, "tray.balloon " + std::string(text));
    balloons.push_back({ std::string(text), std::string(title), icon });
}

bool FakeDialogs::ask(std::string_view text, std::string_view title)
{
    Note(journal_, "dialogs.ask " + std::string(text));
    shown.push_back({ std::string(text), std::string(title), std::nullopt });
    if (whileAsking)
        whileAsking();
    if (answers.empty())
        return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
}

void FakeDialogs::message(std::string_view text, std::string_view title, MessageIcon icon)
{
    Note(journal_, "dialogs.message " + std::string(text));
    shown.push_back({ std::string(text), std::string(title), icon });
}

void FakeSound::playExclamation()
{
    Note(journal_, "sound.play");
    ++played;
}

void FakeProcess::endProcess(int status)
{
    Note(journal_, "process.end " + std::to_string(status));
    exitStatus = status;
}

void FakeView::showWindow()
{
    Note(journal_, "view.show");
    visible = true;
    minimized = false;
}

void FakeView::hideWindow()
{
    Note(journal_, "view.hide");
    visible = false;
}

void FakeView::minimizeWindow()
{
    Note(journal_, "view.minimize");
    minimized = true;
}

void FakeView::restoreWindow()
{
    Note(journal_, "view.restore");
    visible = true;
    minimized = false;
}

void FakeView::optionsChanged()
{
    Note(journal_, "view.options");
}

void FakeView::scheduleStateChanged(bool running)
{
    Note(journal_, std::string("view.schedule ") + (running ? "running" : "stopped"));
}

} // namespace sentrel::test
