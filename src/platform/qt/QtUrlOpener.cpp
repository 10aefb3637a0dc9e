#include "platform/qt/QtUrlOpener.h"

#include <QDesktopServices>
#include <QUrl>

namespace sentrel {

void QtUrlOpener::openUrl(std::string_view url)
{
    QDesktopServices::openUrl(QUrl(QString::fromUtf8(url.data(), qsizetype(url.size()))));
}

} // namespace sentrel
