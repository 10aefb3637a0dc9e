#pragma once

#include "platform/Tray.h"

#include <QDBusServiceWatcher>
#include <QIcon>
#include <QObject>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>
#include <optional>

class QAction;
class QMenu;

namespace sentrel {

// The program's icon in the notification area (StatusNotifierItem or
// XEmbed), with its "&Show" and "&Exit" menu. Balloons go to the desktop's
// notification server when there is one.
class QtTray final : public QObject, public Tray {
    Q_OBJECT

public:
    explicit QtTray(const QIcon& icon = ProgramIcon(), QObject* parent = nullptr);
    ~QtTray() override;

    void addIcon() override;
    void deleteIcon() override;
    bool isAvailable() const override;
    void showBalloon(std::string_view text, std::string_view title, BalloonIcon icon) override;

    void setMenuEnabled(bool enabled) override;
    void setStatus(TrayLook look, std::string_view tip) override;

    QSystemTrayIcon* icon() const { return icon_; }

    // The embedded renditions, or the icon theme's "sentrel".
    static QIcon ProgramIcon();
    // `base` with a warning sign in its corner.
    static QIcon WarningIcon(const QIcon& base);

    // A balloon's text as a notification body: LF line ends, and markup
    // escaped when the server would parse it.
    static QString NotificationBody(std::string_view text, bool serverParsesMarkup);

signals:
    void leftClicked();
    void showRequested();
    void exitRequested();
    // The notification area came or went while the icon is added.
    void availabilityChanged(bool available);

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void checkAvailability();
    bool notify(const QString& title, std::string_view text, BalloonIcon icon);

    std::unique_ptr<QMenu> menu_;
    QAction* showAction_;
    QAction* exitAction_;
    QIcon normalIcon_;
    QIcon warningIcon_;
    TrayLook look_ = TrayLook::Normal;
    QSystemTrayIcon* icon_;
    // StatusNotifierItem hosts come and go with the watcher's bus name.
    QDBusServiceWatcher trayWatcher_;
    QDBusServiceWatcher notificationsWatcher_;
    // An XEmbed tray has no bus name; Qt checks its X11 selection cheaply.
    QTimer xembedTimer_;
    bool iconAdded_ = false;
    bool sniWatcher_ = false;
    bool statusNotifierItem_ = false; // the icon is one, not an XEmbed window
    bool available_ = false;
    bool notificationServer_ = false; // running or activatable
    std::optional<QStringList> notificationCapabilities_; // empty: not asked yet
};

} // namespace sentrel
