#include "ui/FormProject.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace sentrel {

namespace {
QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string S(const QString& text)
{
    return text.toStdString();
}

// Sets a text without running the handlers that typing runs.
void SetQuietly(QLineEdit* edit, const std::string& text)
{
    if (edit->text() != Q(text)) {
        const QSignalBlocker blocker(edit);
        edit->setText(Q(text));
    }
}
} // namespace

FormProject::FormProject(ProjectEditor& editor, QWidget* parent)
    : QDialog(parent)
    , editor_(editor)
    , state_(editor.state())
{
    if (parent)
        setWindowIcon(parent->windowIcon());
    setAttribute(Qt::WA_DeleteOnClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(makeNameAndFolders());
    layout->addWidget(makeSchedule());
    CheckSub = new QCheckBox(tr("Include subdirectories"), this);
    connect(CheckSub, &QCheckBox::toggled, this, [this](bool on) { state_.includeSubdirs = on; });
    layout->addWidget(CheckSub);
    layout->addWidget(makeOverwrite());

    auto* buttons = new QDialogButtonBox(this);
    CmdSave = buttons->addButton(tr("&Save"), QDialogButtonBox::AcceptRole);
    CmdCancel = buttons->addButton(tr("&Cancel"), QDialogButtonBox::RejectRole);
    CmdSave->setDefault(true);
    // Save closes only when the editor says so.
    connect(CmdSave, &QPushButton::clicked, this, [this] { editor_.Save(); });
    connect(CmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);

    const EditorState& opened = editor_.Open(*this);
    setWindowTitle(Q(editor_.caption()));
    connect(this, &QDialog::finished, this, [this] { editor_.Close(); });
    showState(opened);
}

FormProject::~FormProject()
{
    editor_.Close();
}

QWidget* FormProject::makeNameAndFolders()
{
    auto* box = new QWidget(this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    const auto addRow = [&](int row, const QString& label, QLineEdit*& edit, std::string EditorState::*field,
                            QPushButton** browse, const QString& browseCaption) {
        edit = new QLineEdit(box);
        edit->setAccessibleName(label);
        auto* caption = new QLabel(label, box);
        caption->setBuddy(edit);
        grid->addWidget(caption, row, 0);
        grid->addWidget(edit, row, 1);
        connect(edit, &QLineEdit::textChanged, this, [this, field](const QString& text) { state_.*field = S(text); });
        if (browse) {
            *browse = new QPushButton(browseCaption, box);
            grid->addWidget(*browse, row, 2);
        }
    };
    addRow(0, tr("Project name:"), TextName, &EditorState::name, nullptr, {});
    addRow(1, tr("Source directory:"), TextSource, &EditorState::source, &CmdBrowse1, tr("&Browse..."));
    addRow(2, tr("Destination directory:"), TextDest, &EditorState::destination, &CmdBrowse2, tr("B&rowse..."));
    TextName->installEventFilter(this);
    connect(CmdBrowse1, &QPushButton::clicked, this, [this] { editor_.BrowseSource(); });
    connect(CmdBrowse2, &QPushButton::clicked, this, [this] { editor_.BrowseDestination(); });
    return box;
}

QWidget* FormProject::makeIntervalPanel(QComboBox*& combo, const QStringList& items, const QString& unit, int bound,
                                        std::string EditorState::*field)
{
    auto* panel = new QWidget(this);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    combo = new QComboBox(panel);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->addItems(items);
    combo->setAccessibleName(tr("Every %1").arg(unit));
    auto* every = new QLabel(tr("Every"), panel);
    every->setBuddy(combo);
    row->addWidget(every);
    row->addWidget(combo);
    row->addWidget(new QLabel(unit, panel));
    row->addStretch();
    // Typed or chosen, the text is always a whole number within bounds.
    connect(combo, &QComboBox::editTextChanged, this, [this, combo, bound, field](const QString& text) {
        const std::string normal = NormalizeInterval(S(text), bound);
        state_.*field = normal;
        if (Q(normal) != text) {
            const QSignalBlocker blocker(combo);
            combo->setEditText(Q(normal));
        }
    });
    return panel;
}

QGroupBox* FormProject::makeSchedule()
{
    auto* Frame1 = new QGroupBox(tr("Schedule"), this);
    auto* columns = new QHBoxLayout(Frame1);

    auto* options = new QVBoxLayout;
    auto* group = new QButtonGroup(this);
    // Shown in this order; the index is the kind's.
    for (int i = 0; i < kScheduleKindCount; ++i) {
        OptionS[std::size_t(i)] = new QRadioButton(Q(std::string(kScheduleCaptions[std::size_t(i)])), Frame1);
        group->addButton(OptionS[std::size_t(i)], i);
        options->addWidget(OptionS[std::size_t(i)]);
    }
    options->addStretch();
    connect(group, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on)
            scheduleChosen(ScheduleKind(id));
    });
    columns->addLayout(options);

    auto* right = new QVBoxLayout;
    QStringList minutes { "10", "20", "30", "40", "50", "60" };
    QStringList hours;
    for (int h = 1; h <= 24; ++h)
        hours << QString::number(h);
    PicS[0] = makeIntervalPanel(ComboMinute, minutes, tr("Minutes"), kMinuteIntervalBound, &EditorState::minutes);
    PicS[1] = makeIntervalPanel(ComboHour, hours, tr("Hours"), kHourIntervalBound, &EditorState::hours);
    PicS[2] = new QWidget(Frame1);

    PicS[3] = new QWidget(Frame1);
    auto* week = new QHBoxLayout(PicS[3]);
    week->setContentsMargins(0, 0, 0, 0);
    for (int d = 1; d <= 7; ++d) {
        auto* box = new QCheckBox(Q(std::string(kWeekdayCaptions[std::size_t(d - 1)])), PicS[3]);
        CheckWeek[std::size_t(d)] = box;
        connect(box, &QCheckBox::toggled, this, [this, d](bool on) { state_.weekdays[std::size_t(d)] = on; });
        week->addWidget(box);
    }
    week->addStretch();

    PicS[4] = new QWidget(Frame1);
    auto* month = new QGridLayout(PicS[4]);
    month->setContentsMargins(0, 0, 0, 0);
    month->setVerticalSpacing(2);
    for (int d = 1; d <= 31; ++d) {
        auto* box = new QCheckBox(Q(MonthDayCaption(d)), PicS[4]);
        CheckMonth[std::size_t(d)] = box;
        connect(box, &QCheckBox::toggled, this, [this, d](bool on) { state_.monthDays[std::size_t(d)] = on; });
        month->addWidget(box, (d - 1) / 8, (d - 1) % 8);
    }
    // One place for all panels, as large as the largest, so the dialog keeps
    // its size whichever is shown.
    auto* panels = new QWidget(Frame1);
    auto* stack = new QVBoxLayout(panels);
    stack->setContentsMargins(0, 0, 0, 0);
    QSize largest;
    for (QWidget* panel : PicS) {
        largest = largest.expandedTo(panel->sizeHint());
        panel->hide();
        stack->addWidget(panel);
    }
    stack->addStretch();
    panels->setMinimumSize(largest);
    right->addWidget(panels);

    Frame2 = new QGroupBox(tr(" Start backup "), Frame1);
    auto* start = new QHBoxLayout(Frame2);
    OptionStart1 = new QRadioButton(tr("After startup"), Frame2);
    OptionStart2 = new QRadioButton(tr("At this time:"), Frame2);
    TextTime = new QLineEdit(Frame2);
    TextTime->setAccessibleName(tr("Start time"));
    TextTime->setMaxLength(8);
    TextTime->installEventFilter(this);
    start->addWidget(OptionStart1);
    start->addWidget(OptionStart2);
    start->addWidget(TextTime);
    start->addStretch();
    connect(OptionStart1, &QRadioButton::toggled, this, [this](bool on) { state_.startAfterStartup = on; });
    connect(OptionStart2, &QRadioButton::clicked, this, [this] { TextTime->setFocus(); });
    connect(TextTime, &QLineEdit::textChanged, this, [this](const QString& text) { state_.time = S(text); });
    right->addWidget(Frame2);
    right->addStretch();
    columns->addLayout(right, 1);
    return Frame1;
}

QGroupBox* FormProject::makeOverwrite()
{
    auto* Frame3 = new QGroupBox(tr("Overwrite option"), this);
    auto* column = new QVBoxLayout(Frame3);
    OptionOW1
        = new QRadioButton(tr("Don't check file time. Overwite all destination files. (Backup all files.)"), Frame3);
    OptionOW2
        = new QRadioButton(tr("Check file time. Only overwrite old destination file. (Backup new files.)"), Frame3);
    column->addWidget(OptionOW1);
    column->addWidget(OptionOW2);
    connect(OptionOW1, &QRadioButton::toggled, this, [this](bool on) { state_.overwriteAll = on; });
    return Frame3;
}

void FormProject::scheduleChosen(ScheduleKind kind)
{
    state_.kind = kind;
    const std::optional<int> panel = PanelOf(kind);
    for (int i = 0; i < int(PicS.size()); ++i)
        PicS[std::size_t(i)]->setVisible(panel == i);
    Frame2->setVisible(ShowsStartTime(kind));
}

void FormProject::showState(const EditorState& s)
{
    SetQuietly(TextName, s.name);
    SetQuietly(TextSource, s.source);
    SetQuietly(TextDest, s.destination);
    SetQuietly(TextTime, s.time);
    // Handlers write the same values back; the state stays as it is.
    OptionS[std::size_t(s.kind)]->setChecked(true);
    scheduleChosen(s.kind);
    ComboMinute->setEditText(Q(s.minutes));
    ComboHour->setEditText(Q(s.hours));
    for (int d = 1; d <= 7; ++d)
        CheckWeek[std::size_t(d)]->setChecked(s.weekdays[std::size_t(d)]);
    for (int d = 1; d <= 31; ++d)
        CheckMonth[std::size_t(d)]->setChecked(s.monthDays[std::size_t(d)]);
    (s.startAfterStartup ? OptionStart1 : OptionStart2)->setChecked(true);
    CheckSub->setChecked(s.includeSubdirs);
    (s.overwriteAll ? OptionOW1 : OptionOW2)->setChecked(true);
}

void FormProject::focusField(EditorField field)
{
    QLineEdit* edits[] = { nullptr, TextName, TextSource, TextDest };
    if (QLineEdit* edit = edits[int(field)])
        edit->setFocus(Qt::OtherFocusReason);
}

void FormProject::closeEditor()
{
    accept();
}

bool FormProject::eventFilter(QObject* watched, QEvent* event)
{
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit && event->type() == QEvent::FocusIn) {
        // Typing replaces the whole text; after the click that placed the caret.
        QTimer::singleShot(0, edit, [edit] {
            const auto length = int(edit->text().size());
            edit->setSelection(length, -length);
        });
    }
    if (edit == TextTime && event->type() == QEvent::FocusOut) {
        state_.time = NormalizeTime(S(TextTime->text()));
        SetQuietly(TextTime, state_.time);
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace sentrel
