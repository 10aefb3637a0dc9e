#include "support/AppFixture.h"

namespace sentrel::test {

AppFixture::AppFixture(EventLoop* loop)
    : eventLoop(loop ? *loop : this->loop)
{
    // Reminded today: tests that want the question clear it.
    settings.values["LastCheckUpdate"] = "2026-12-07";
    restart();
}

App& AppFixture::restart()
{
    app.reset();
    Services services { clockOwner, settings, autostart,
                        tray,       dialogs,  picker,
                        sound,      urls,     process,
                        eventLoop,  ".",      WebPages { "https://home.example/", "https://home.example/new" },
                        {},         mounts };
    app = std::make_unique<App>(services, MakeAppPaths(dataDir.path()));
    app->setView(&view);
    return *app;
}

void AppFixture::runBackups()
{
    app->scheduler().TimerBackup();
    turnUntil([this] { return !app->scheduler().runInProgress(); });
}

bool AppFixture::turnUntil(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    loop.runUntil([&] { return done() || std::chrono::steady_clock::now() > until; },
                  [&] {
                      ++yields;
                      if (onYield && !done())
                          onYield();
                  });
    return done();
}

} // namespace sentrel::test
