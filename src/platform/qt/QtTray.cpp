#include "platform/qt/QtTray.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QFile>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace sentrel {

namespace {
const QString kSniWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kNotifications = QStringLiteral("org.freedesktop.Notifications");
const QString kNotificationsPath = QStringLiteral("/org/freedesktop/Notifications");

// A bus that hangs must not freeze the window.
constexpr int kBusTimeoutMs = 1000;
// Only for an XEmbed tray, and only while no StatusNotifierItem host exists.
constexpr int kXembedCheckMs = 2000;

QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

bool Registered(const QString& name)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface()->isServiceRegistered(name).value();
}

// Many notification servers start on their first message.
bool Reachable(const QString& name)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return Registered(name) || (bus.isConnected() && bus.interface()->activatableServiceNames().value().contains(name));
}
} // namespace

QtTray::QtTray(const QIcon& icon, QObject* parent)
    : QObject(parent)
    , menu_(std::make_unique<QMenu>())
    , showAction_(menu_->addAction(QStringLiteral("&Show")))
    , exitAction_(menu_->addAction(QStringLiteral("&Exit")))
    , normalIcon_(icon)
    , warningIcon_(WarningIcon(icon))
    , icon_(new QSystemTrayIcon(icon, this))
    , trayWatcher_(kSniWatcher, QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForOwnerChange)
    , notificationsWatcher_(kNotifications, QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForOwnerChange)
{
    icon_->setToolTip(QStringLiteral("Sentrel"));
    icon_->setContextMenu(menu_.get());
    connect(icon_, &QSystemTrayIcon::activated, this, &QtTray::onActivated);
    connect(showAction_, &QAction::triggered, this, &QtTray::showRequested);
    connect(exitAction_, &QAction::triggered, this, &QtTray::exitRequested);

    sniWatcher_ = Registered(kSniWatcher);
    connect(&trayWatcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                sniWatcher_ = !newOwner.isEmpty();
                checkAvailability();
            });
    notificationServer_ = Reachable(kNotifications);
    connect(&notificationsWatcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                notificationServer_ = !newOwner.isEmpty() || Reachable(kNotifications);
                // Another server may parse markup differently.
                notificationCapabilities_.reset();
            });

    xembedTimer_.setInterval(kXembedCheckMs);
    connect(&xembedTimer_, &QTimer::timeout, this, &QtTray::checkAvailability);
}

QtTray::~QtTray() = default;

void QtTray::addIcon()
{
    // Qt picks the StatusNotifierItem protocol when a watcher is there as
    // the icon is shown, and keeps it for the rest of the run.
    statusNotifierItem_ = sniWatcher_;
    icon_->show();
    iconAdded_ = true;
    available_ = isAvailable();
    if (!statusNotifierItem_)
        xembedTimer_.start();
}

void QtTray::deleteIcon()
{
    iconAdded_ = false;
    xembedTimer_.stop();
    icon_->hide();
}

bool QtTray::isAvailable() const
{
    // Asking Qt would open a new bus connection for a StatusNotifierItem.
    if (sniWatcher_ || statusNotifierItem_)
        return sniWatcher_;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTray::showBalloon(std::string_view text, std::string_view title, BalloonIcon icon)
{
    if (notify(Text(title), text, icon))
        return;
    // Qt's own balloon beside an XEmbed icon shows plain text.
    const QSystemTrayIcon::MessageIcon kind = icon == BalloonIcon::Error ? QSystemTrayIcon::Critical
        : icon == BalloonIcon::Warning                                   ? QSystemTrayIcon::Warning
                                                                         : QSystemTrayIcon::Information;
    icon_->showMessage(Text(title), NotificationBody(text, false), kind);
}

QString QtTray::NotificationBody(std::string_view text, bool serverParsesMarkup)
{
    QString body = Text(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return serverParsesMarkup ? body.toHtmlEscaped() : body;
}

bool QtTray::notify(const QString& title, std::string_view text, BalloonIcon icon)
{
    if (!notificationServer_)
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!notificationCapabilities_) {
        const QDBusMessage ask = QDBusMessage::createMethodCall(kNotifications, kNotificationsPath, kNotifications,
                                                                QStringLiteral("GetCapabilities"));
        const QDBusReply<QStringList> reply = bus.call(ask, QDBus::Block, kBusTimeoutMs);
        if (!reply.isValid())
            return false;
        notificationCapabilities_ = reply.value();
    }
    const bool markup = notificationCapabilities_->contains(QStringLiteral("body-markup"));
    const bool error = icon == BalloonIcon::Error;

    QDBusMessage message
        = QDBusMessage::createMethodCall(kNotifications, kNotificationsPath, kNotifications, QStringLiteral("Notify"));
    const QVariantMap hints { { QStringLiteral("desktop-entry"), QStringLiteral("example.corvane.Sentrel") },
                              { QStringLiteral("urgency"), QVariant::fromValue(uchar(error ? 2 : 1)) } };
    message << QStringLiteral("Sentrel") << 0u
            << (error                              ? QStringLiteral("dialog-error")
                    : icon == BalloonIcon::Warning ? QStringLiteral("dialog-warning")
                                                   : QStringLiteral("dialog-information"))
            << title << NotificationBody(text, markup) << QStringList() << hints << -1;
    // The id that comes back is of no use.
    bus.asyncCall(message, kBusTimeoutMs);
    return true;
}

void QtTray::setMenuEnabled(bool enabled)
{
    showAction_->setEnabled(enabled);
    exitAction_->setEnabled(enabled);
}

void QtTray::setStatus(TrayLook look, std::string_view tip)
{
    if (look != look_) {
        look_ = look;
        icon_->setIcon(look == TrayLook::Warning ? warningIcon_ : normalIcon_);
    }
    const QString text = Text(tip);
    if (icon_->toolTip() != text)
        icon_->setToolTip(text);
}

QIcon QtTray::WarningIcon(const QIcon& base)
{
    // Drawn, not taken from the icon theme: every desktop shows the same
    // sign, and a theme without one still shows it.
    QIcon icon;
    for (const int size : { 16, 22, 24, 32, 48, 64, 128, 256 }) {
        QPixmap pixmap = base.pixmap(size, size);
        if (pixmap.isNull())
            continue;
        pixmap.setDevicePixelRatio(1);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal side = size * 0.6;
        const QRectF box(size - side, size - side, side, side);
        QPainterPath triangle;
        triangle.moveTo(box.center().x(), box.top());
        triangle.lineTo(box.right(), box.bottom());
        triangle.lineTo(box.left(), box.bottom());
        triangle.closeSubpath();
        painter.setPen(QPen(QColor(0x40, 0x2a, 0x00), std::max(1.0, size / 24.0)));
        painter.setBrush(QColor(0xf5, 0xb4, 0x00));
        painter.drawPath(triangle);
        painter.setPen(QPen(QColor(0x20, 0x14, 0x00), std::max(1.5, side / 7.0), Qt::SolidLine, Qt::RoundCap));
        const qreal x = box.center().x();
        painter.drawLine(QPointF(x, box.top() + side * 0.38), QPointF(x, box.top() + side * 0.66));
        painter.drawPoint(QPointF(x, box.top() + side * 0.83));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon.isNull() ? base : icon;
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
    if (!iconAdded_)
        return;
    if (sniWatcher_ || statusNotifierItem_)
        xembedTimer_.stop();
    else
        xembedTimer_.start();
    const bool available = isAvailable();
    if (available != available_) {
        available_ = available;
        emit availabilityChanged(available);
    }
}

} // namespace sentrel
