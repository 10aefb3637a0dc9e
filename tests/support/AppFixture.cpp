#include "support/AppFixture.h"

namespace sentrel::test {

AppFixture::AppFixture()
{
    // Reminded today: tests that want the question clear it.
    settings.values["LastCheckUpdate"] = "2026-12-07";
    restart();
}

App& AppFixture::restart()
{
    app.reset();
    Services services { clock,
                        settings,
                        autostart,
                        tray,
                        dialogs,
                        picker,
                        sound,
                        urls,
                        process,
                        [this] {
                            ++yields;
                            if (onYield)
                                onYield();
                        },
                        ".",
                        WebPages { "https://home.example/", "https://home.example/new" },
                        {} };
    app = std::make_unique<App>(services, MakeAppPaths(dataDir.path()));
    app->setView(&view);
    return *app;
}

} // namespace sentrel::test
