#pragma once

#include "platform/Tray.h"

#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>

class QAction;
class QMenu;

namespace sentrel {

// The program's icon in the notification area (StatusNotifierItem or
// XEmbed), with its "&Show" and "&Exit" menu.
class QtTray final : public QObject, public Tray {
    Q_OBJECT

public:
    explicit QtTray(const QIcon& icon = ProgramIcon(), QObject* parent = nullptr);
    ~QtTray() override;

    void addIcon() override;
    void deleteIcon() override;
    bool isAvailable() const override;
    void showBalloon(std::string_view text, std::string_view title, BalloonIcon icon) override;

    // Off while the project editor is open.
    void setMenuEnabled(bool enabled);

    QSystemTrayIcon* icon() const { return icon_; }

    // The embedded renditions, or the icon theme's "sentrel".
    static QIcon ProgramIcon();

signals:
    void leftClicked();
    void showRequested();
    void exitRequested();
    // Checked every two seconds while the icon is added.
    void availabilityChanged(bool available);

private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);
    void checkAvailability();

    std::unique_ptr<QMenu> menu_;
    QAction* showAction_;
    QAction* exitAction_;
    QSystemTrayIcon* icon_;
    QTimer availabilityTimer_;
    bool available_ = false;
};

} // namespace sentrel
