#pragma once

#include "platform/Dialogs.h"

class QWidget;

namespace sentrel {

class QtDialogs final : public Dialogs {
public:
    void setOwner(QWidget* owner) { owner_ = owner; }

    void ask(std::string_view text, std::string_view title, std::function<void(bool)> answered) override;
    void message(std::string_view text, std::string_view title, MessageIcon icon) override;

private:
    QWidget* owner() const;

    QWidget* owner_ = nullptr;
};

} // namespace sentrel
