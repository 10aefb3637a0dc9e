#include "platform/qt/QtDialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace sentrel {

namespace {
// Message texts break lines with CR LF; Qt draws the CR.
QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size())).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// The texts carry names and paths the user typed: by default Qt would take
// one that looks like markup as rich text.
void ShowPlain(QMessageBox& box)
{
    box.setTextFormat(Qt::PlainText);
}
} // namespace

QWidget* QtDialogs::owner() const
{
    // Over the editor while it is open, else over the main window.
    QWidget* modal = QApplication::activeModalWidget();
    return modal ? modal : owner_;
}

// Window-modal and opened, never exec()'d: a box must not turn an event
// loop of its own under the work that goes on behind it.
void QtDialogs::ask(std::string_view text, std::string_view title, std::function<void(bool)> answered)
{
    auto* box
        = new QMessageBox(QMessageBox::Question, Text(title), Text(text), QMessageBox::Yes | QMessageBox::No, owner());
    ShowPlain(*box);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QObject::connect(box, &QMessageBox::finished, box, [answered = std::move(answered)](int result) {
        if (answered)
            answered(result == QMessageBox::Yes);
    });
    box->open();
}

void QtDialogs::message(std::string_view text, std::string_view title, MessageIcon icon)
{
    const QMessageBox::Icon kind = icon == MessageIcon::Error ? QMessageBox::Critical
        : icon == MessageIcon::Warning                        ? QMessageBox::Warning
                                                              : QMessageBox::Information;
    auto* box = new QMessageBox(kind, Text(title), Text(text), QMessageBox::Ok, owner());
    ShowPlain(*box);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

} // namespace sentrel
