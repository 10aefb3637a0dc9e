#include "platform/qt/QtTray.h"

#include <QApplication>
#include <QSystemTrayIcon>

namespace sentrel {

namespace {
    QString Text(std::string_view text)
    {
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
} // namespace

QtTray::QtTray(QObject* parent)
    : QObject(parent)
    , icon_(new QSystemTrayIcon(QApplication::windowIcon(), this))
{
    icon_->setToolTip(QStringLiteral("Sentrel"));
}

void QtTray::addIcon()
{
    icon_->show();
}

void QtTray::deleteIcon()
{
    icon_->hide();
}

bool QtTray::isAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTray::showBalloon(std::string_view text, std::string_view title, BalloonIcon icon)
{
    icon_->showMessage(Text(title), Text(text),
                       icon == BalloonIcon::Error ? QSystemTrayIcon::Critical : QSystemTrayIcon::Information);
}

} // namespace sentrel
