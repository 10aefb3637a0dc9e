#include "platform/qt/QtDialogs.h"

#include <QMessageBox>

namespace sentrel {

namespace {
QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}
} // namespace

bool QtDialogs::ask(std::string_view text, std::string_view title)
{
    QMessageBox box(QMessageBox::Question, Text(title), Text(text), QMessageBox::Yes | QMessageBox::No, owner_);
    return box.exec() == QMessageBox::Yes;
}

void QtDialogs::message(std::string_view text, std::string_view title, MessageIcon icon)
{
    const QMessageBox::Icon kind = icon == MessageIcon::Error ? QMessageBox::Critical
        : icon == MessageIcon::Warning                        ? QMessageBox::Warning
                                                              : QMessageBox::Information;
    QMessageBox box(kind, Text(title), Text(text), QMessageBox::Ok, owner_);
    box.exec();
}

} // namespace sentrel
