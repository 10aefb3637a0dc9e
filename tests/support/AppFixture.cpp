#include "support/AppFixture.h"

namespace sentrel::test {

AppFixture::AppFixture()
{
    restart();
}

App& AppFixture::restart()
{
    app.reset();
    Services services { clock, settings, autostart, tray, dialogs, sound, urls, process, [this] { ++yields; }, "." };
    app = std::make_unique<App>(services, MakeAppPaths(dataDir.path()));
    app->setView(&view);
    return *app;
}

} // namespace sentrel::test
