#include "platform/qt/QtFolderPicker.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace sentrel {

namespace {
QString Text(std::string_view text)
{
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}
} // namespace

void QtFolderPicker::BrowseForFolder(std::string_view title, std::string_view initialFolder, Answer answer)
{
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner)
        owner = QApplication::activeWindow();
    auto* dialog = new QFileDialog(owner, Text(title));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    const QString initial = Text(initialFolder);
    dialog->setDirectory(QFileInfo(initial).isDir() ? initial : QDir::homePath());
    dialog->setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);

    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, answer = std::move(answer)](int result) {
        QString chosen;
        if (result == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
            chosen = dialog->selectedFiles().constFirst();
        // Only existing directories; never a trailing "/" but the root's.
        if (!chosen.isEmpty() && QFileInfo(chosen).isDir())
            chosen = QDir::cleanPath(QFileInfo(chosen).absoluteFilePath());
        else
            chosen.clear();
        answer(QFile::encodeName(chosen).toStdString());
    });
    dialog->open();
}

} // namespace sentrel
