#pragma once

#include "app/ProjectEditor.h"

#include <QDialog>

#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace sentrel {

// The project editor: binds its controls to the editor's state and forwards
// Browse, Save and Cancel. It lives from open() to its close.
class FormProject final : public QDialog, public EditorView {
    Q_OBJECT

public:
    FormProject(ProjectEditor& editor, QWidget* parent);
    ~FormProject() override;

    // EditorView
    void showState(const EditorState& state) override;
    void focusField(EditorField field) override;
    void closeEditor() override;

    QLineEdit* TextName = nullptr;
    QLineEdit* TextSource = nullptr;
    QLineEdit* TextDest = nullptr;
    QPushButton* CmdBrowse1 = nullptr;
    QPushButton* CmdBrowse2 = nullptr;
    std::array<QRadioButton*, 6> OptionS {};
    std::array<QWidget*, 5> PicS {};
    QComboBox* ComboMinute = nullptr;
    QComboBox* ComboHour = nullptr;
    std::array<QCheckBox*, 8> CheckWeek {}; // 1..7
    std::array<QCheckBox*, 32> CheckMonth {}; // 1..31
    QGroupBox* Frame2 = nullptr;
    QRadioButton* OptionStart1 = nullptr;
    QRadioButton* OptionStart2 = nullptr;
    QLineEdit* TextTime = nullptr;
    QCheckBox* CheckSub = nullptr;
    QRadioButton* OptionOW1 = nullptr;
    QRadioButton* OptionOW2 = nullptr;
    QPushButton* CmdSave = nullptr;
    QPushButton* CmdCancel = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeNameAndFolders();
    QGroupBox* makeSchedule();
    QWidget* makeIntervalPanel(QComboBox*& combo, const QStringList& items, const QString& unit, int bound,
                               std::string EditorState::*field);
    QGroupBox* makeOverwrite();
    void scheduleChosen(ScheduleKind kind);

    ProjectEditor& editor_;
    EditorState& state_;
};

} // namespace sentrel
