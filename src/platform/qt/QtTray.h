#pragma once

#include "platform/Tray.h"

#include <QObject>

class QSystemTrayIcon;

namespace sentrel {

class QtTray final : public QObject, public Tray {
    Q_OBJECT

public:
    explicit QtTray(QObject* parent = nullptr);

    void addIcon() override;
    void deleteIcon() override;
    bool isAvailable() const override;
    void showBalloon(std::string_view text, std::string_view title, BalloonIcon icon) override;

    QSystemTrayIcon* icon() const { return icon_; }

private:
    QSystemTrayIcon* icon_;
};

} // namespace sentrel
