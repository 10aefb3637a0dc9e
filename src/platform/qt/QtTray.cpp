#include "platform/qt/QtTray.h"

#include <QFile>
#include <QMenu>

namespace sentrel {

namespace {
QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Qt has no signal for a tray host that comes or goes.
constexpr int kAvailabilityPollMs = 2000;
} // namespace

QtTray::QtTray(const QIcon& icon, QObject* parent)
    : QObject(parent)
    , menu_(std::make_unique<QMenu>())
    , showAction_(menu_->addAction(QStringLiteral("&Show")))
    , exitAction_(menu_->addAction(QStringLiteral("&Exit")))
    , icon_(new QSystemTrayIcon(icon, this))
{
    icon_->setToolTip(QStringLiteral("Sentrel"));
    icon_->setContextMenu(menu_.get());
    connect(icon_, &QSystemTrayIcon::activated, this, &QtTray::onActivated);
    connect(showAction_, &QAction::triggered, this, &QtTray::showRequested);
    connect(exitAction_, &QAction::triggered, this, &QtTray::exitRequested);

    availabilityTimer_.setInterval(kAvailabilityPollMs);
    connect(&availabilityTimer_, &QTimer::timeout, this, &QtTray::checkAvailability);
}

QtTray::~QtTray() = default;

void QtTray::addIcon()
{
    icon_->show();
    available_ = isAvailable();
    availabilityTimer_.start();
}

void QtTray::deleteIcon()
{
    availabilityTimer_.stop();
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

void QtTray::setMenuEnabled(bool enabled)
{
    showAction_->setEnabled(enabled);
    exitAction_->setEnabled(enabled);
}

QIcon QtTray::ProgramIcon()
{
    QIcon icon;
    for (const int size : { 16, 22, 24, 32, 48, 64, 128, 256 }) {
        const QString file = QStringLiteral(":/sentrel/icons/sentrel-%1.png").arg(size);
        if (QFile::exists(file))
            icon.addFile(file, QSize(size, size));
    }
    return icon.isNull() ? QIcon::fromTheme(QStringLiteral("sentrel")) : icon;
}

void QtTray::onActivated(QSystemTrayIcon::ActivationReason reason)
{
    // The right button opens the context menu by itself; double and middle
    // clicks do nothing.
    if (reason == QSystemTrayIcon::Trigger)
        emit leftClicked();
}

void QtTray::checkAvailability()
{
    const bool available = isAvailable();
    if (available != available_) {
        available_ = available;
        emit availabilityChanged(available);
    }
}

} // namespace sentrel
