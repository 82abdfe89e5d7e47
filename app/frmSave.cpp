#include "app/frmSave.h"

#include "app/Look.h"
#include "app/MainMenu.h"
#include "common/dialogs/Dialogs.h"
#include "common/values/ProgramValues.h"
#include "export/BookCreation.h"
#include "export/ConversionDriver.h"
#include "export/DocumentWriters.h"
#include "export/ExportLabels.h"
#include "export/ExportMessages.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>

using namespace exporting;

namespace {

frmSave* g_window = nullptr;

// Positions are laid out in twips; 15 twips make one pixel at 96 dpi.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

QPixmap arrowPicture()
{
    QPixmap pm(10, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0x2e, 0x6d, 0xb4));
    p.setPen(Qt::NoPen);
    const QPointF tip[] = {{1, 2}, {9, 8}, {1, 14}};
    p.drawPolygon(tip, 3);
    return pm;
}

}  // namespace

frmSave& frmSave::instance(QWidget* owner)
{
    if (!g_window)
        g_window = new frmSave(owner);
    return *g_window;
}

bool frmSave::exists()
{
    return g_window != nullptr;
}

frmSave::frmSave(QWidget* owner)
    : QDialog(owner)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Export Pellaro"));
    look::apply(this);
    const QRect client = twips(0, 0, 7350, 4365);
    setFixedSize(client.size());

    // The destination choice sits on a white panel, as the main window's
    // frames do: the option buttons and text boxes keep a white background
    // without showing strips of it.
    auto* optionsPanel = new QWidget(this);
    optionsPanel->setObjectName(QStringLiteral("OptionsPanel"));
    optionsPanel->setAttribute(Qt::WA_StyledBackground);
    optionsPanel->setGeometry(twips(60, 90, 7230, 2190));

    OptNewNSF = new QRadioButton(QStringLiteral("Save to New Lotus Notes Address Book "), this);
    OptNewNSF->setObjectName(QStringLiteral("OptNewNSF"));
    OptNewNSF->setGeometry(twips(120, 240, 7095, 255));
    look::setBold(OptNewNSF);
    OptNewNSF->setAutoExclusive(false);

    auto* folderLabel = new QLabel(QStringLiteral("Select Folder :"), this);
    folderLabel->setGeometry(twips(360, 720, 1035, 195));

    txtNSFFileName = new QLineEdit(this);
    txtNSFFileName->setObjectName(QStringLiteral("txtNSFFileName"));
    txtNSFFileName->setGeometry(twips(1560, 600, 4335, 375));
    txtNSFFileName->setReadOnly(true);

    CmdNewNSF = new QPushButton(QStringLiteral("&Select..."), this);
    CmdNewNSF->setObjectName(QStringLiteral("CmdNewNSF"));
    CmdNewNSF->setGeometry(twips(6000, 600, 1215, 375));
    CmdNewNSF->setEnabled(false);

    OptExistingNSF = new QRadioButton(QStringLiteral("Save in Existing names.nsf file"), this);
    OptExistingNSF->setObjectName(QStringLiteral("OptExistingNSF"));
    OptExistingNSF->setGeometry(twips(120, 1320, 7095, 255));
    look::setBold(OptExistingNSF);
    OptExistingNSF->setAutoExclusive(false);

    auto* fileLabel = new QLabel(QStringLiteral("Select NSF File :"), this);
    fileLabel->setGeometry(twips(360, 1800, 1155, 195));

    txtExNSFFileName = new QLineEdit(this);
    txtExNSFFileName->setObjectName(QStringLiteral("txtExNSFFileName"));
    txtExNSFFileName->setGeometry(twips(1560, 1680, 4335, 375));
    txtExNSFFileName->setReadOnly(true);

    CmdExistingNSF = new QPushButton(QStringLiteral("&Select..."), this);
    CmdExistingNSF->setObjectName(QStringLiteral("CmdExistingNSF"));
    CmdExistingNSF->setGeometry(twips(6000, 1680, 1215, 375));
    CmdExistingNSF->setEnabled(false);

    ExportFrame = new QGroupBox(QStringLiteral(" Export Progress Details"), this);
    ExportFrame->setObjectName(QStringLiteral("ExportFrame"));
    ExportFrame->setGeometry(twips(120, 2400, 7095, 1815));

    ImgReadingArrow = new QLabel(ExportFrame);
    ImgReadingArrow->setGeometry(twips(810, 360, 150, 240));
    ImgReadingArrow->setPixmap(arrowPicture());

    LblSaveHeader = new QLabel(QStringLiteral(" Select saving format"), ExportFrame);
    LblSaveHeader->setObjectName(QStringLiteral("LblSaveHeader"));
    LblSaveHeader->setGeometry(twips(1080, 360, 5895, 195));

    LblSubject = new QLabel(QStringLiteral("Subject :"), ExportFrame);
    LblSubject->setObjectName(QStringLiteral("LblSubject"));
    LblSubject->setGeometry(twips(240, 720, 735, 195));
    look::setBold(LblSubject);
    LblSubject->setVisible(false);

    LblProcessing = new QLabel(ExportFrame);
    LblProcessing->setObjectName(QStringLiteral("LblProcessing"));
    LblProcessing->setGeometry(twips(1080, 720, 5895, 615));
    LblProcessing->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LblProcessing->setWordWrap(true);

    LblFoundLabel = new QLabel(QStringLiteral("Found :"), ExportFrame);
    LblFoundLabel->setObjectName(QStringLiteral("LblFoundLabel"));
    LblFoundLabel->setGeometry(twips(360, 1320, 705, 195));
    look::setBold(LblFoundLabel);

    LblFound = new QLabel(ExportFrame);
    LblFound->setObjectName(QStringLiteral("LblFound"));
    LblFound->setGeometry(twips(1080, 1320, 1725, 195));

    LblCurrentLabel = new QLabel(QStringLiteral("Current :"), ExportFrame);
    LblCurrentLabel->setObjectName(QStringLiteral("LblCurrentLabel"));
    LblCurrentLabel->setGeometry(twips(4440, 1320, 735, 195));
    look::setBold(LblCurrentLabel);

    LblCurrent = new QLabel(ExportFrame);
    LblCurrent->setObjectName(QStringLiteral("LblCurrent"));
    LblCurrent->setGeometry(twips(5280, 1320, 1485, 195));

    // Lies below the client area: never seen, but kept up to date.
    CmdConversion = new QPushButton(QStringLiteral("&Export Mailbox"), this);
    CmdConversion->setObjectName(QStringLiteral("CmdConversion"));
    CmdConversion->setGeometry(twips(2640, 4440, 2175, 435));
    CmdConversion->setEnabled(false);

    // Every caption as wide and high as its text in the face the system
    // has, each value label a full line high.
    look::fitCaption(folderLabel, txtNSFFileName, 8);
    look::fitCaption(fileLabel, txtExNSFFileName, 8);
    // The two captions of the boxes start at the same place.
    const int captionLeft = std::min(folderLabel->x(), fileLabel->x());
    for (QLabel* caption : {folderLabel, fileLabel})
        caption->setGeometry(caption->geometry().adjusted(captionLeft - caption->x(), 0, 0, 0));
    look::fitCaption(LblSubject, LblProcessing, 8);
    look::fitCaption(LblFoundLabel, LblFound, 8);
    look::fitCaption(LblCurrentLabel, LblCurrent, LblFound->x() + LblFound->width() + 8);
    for (QLabel* value : {LblSaveHeader, LblFound, LblCurrent})
        look::fitCaption(value, nullptr, value->x());

    MainMenu::addHelpKey(this, [] { return QStringLiteral("destinations.html"); });

    connect(OptNewNSF, &QRadioButton::clicked, this, &frmSave::OptNewNSF_Click);
    connect(OptExistingNSF, &QRadioButton::clicked, this, &frmSave::OptExistingNSF_Click);
    connect(CmdNewNSF, &QPushButton::clicked, this, &frmSave::CmdNewNSF_Click);
    connect(CmdExistingNSF, &QPushButton::clicked, this, &frmSave::CmdExistingNSF_Click);
    connect(CmdConversion, &QPushButton::clicked, this, &frmSave::CmdConversion_Click);
    connect(txtNSFFileName, &QLineEdit::textChanged, this, &frmSave::txtNSFFileName_Change);
    connect(txtExNSFFileName, &QLineEdit::textChanged, this, &frmSave::txtExNSFFileName_Change);

    Form_Load();
}

frmSave::~frmSave()
{
    if (g_window == this)
        g_window = nullptr;
}

void frmSave::Form_Load()
{
    // Loading creates the controls and nothing more.
}

void frmSave::OptNewNSF_Click()
{
    OptNewNSF->setChecked(true);
    OptExistingNSF->setChecked(false);
    txtExNSFFileName->setEnabled(false);
    CmdExistingNSF->setEnabled(false);
    txtNSFFileName->setEnabled(true);
    CmdNewNSF->setEnabled(true);
}

void frmSave::OptExistingNSF_Click()
{
    OptExistingNSF->setChecked(true);
    txtExNSFFileName->setEnabled(true);
    CmdExistingNSF->setEnabled(true);
    OptNewNSF->setChecked(false);
    txtNSFFileName->setEnabled(false);
    CmdNewNSF->setEnabled(false);
}

void frmSave::CmdNewNSF_Click()
{
    const QString folder
        = dialogs().BrowseForFolder(nullptr, QStringLiteral("Select Folder to Save Notes Address Book File"));
    Global::DestinationPath = folder;
    if (folder.length() > 0) {
        txtNSFFileName->setText(folder);
        CmdConversion_Click();
    }
}

void frmSave::CmdExistingNSF_Click()
{
    const QString file
        = dialogs().GetOpenFileName(this, QString(), QStringLiteral("Lotus Notes Address Book (*.nsf)|*.nsf"));
    txtExNSFFileName->setText(file);
    if (txtExNSFFileName->text().length() > 0)
        CmdConversion_Click();
}

void frmSave::txtNSFFileName_Change()
{
    UpdateConversionButton(txtNSFFileName);
}

void frmSave::txtExNSFFileName_Change()
{
    UpdateConversionButton(txtExNSFFileName);
}

void frmSave::UpdateConversionButton(const QLineEdit* changed)
{
    CmdConversion->setEnabled(changed->text().trimmed().length() > 0);
}

void frmSave::SetRunning(bool running)
{
    running_ = running;
    OptNewNSF->setEnabled(!running);
    OptExistingNSF->setEnabled(!running);
    if (running) {
        CmdNewNSF->setEnabled(false);
        CmdExistingNSF->setEnabled(false);
    } else if (OptNewNSF->isChecked()) {
        CmdNewNSF->setEnabled(true);
    } else if (OptExistingNSF->isChecked()) {
        CmdExistingNSF->setEnabled(true);
    }
}

void frmSave::CmdConversion_Click()
{
    // One run at a time: while a run yields to the window system, a second
    // start has no effect.
    if (running_)
        return;
    SetRunning(true);
    pendingSaveHeader_ = LblSaveHeader->text();
    pendingProcessing_ = LblProcessing->text();
    pendingFound_ = LblFound->text();
    pendingCurrent_ = LblCurrent->text();
    labelsShown_.invalidate();

    // The run's inputs: the program-wide values and this window's controls.
    const bool newBook = IsNewBookMode();
    if (!newBook)
        Global::DestinationPath = ExistingBookText().trimmed();
    ProfileStoreAccess store(Global::SelectedStoreID);
    LabelProgress labels(*this);
    ExportRequest request;
    request.store = &store;
    request.folders = Global::SelectedFolders;
    request.destination
        = {newBook ? ExportDestination::NewBook : ExportDestination::ExistingBook, Global::DestinationPath};
    request.progress = &labels;

    labels.Start();
    const ExportOutcome outcome = RunExport(request);
    labels.Finish();
    ShowPendingLabels();
    SetRunning(false);

    if (newBook && !outcome.bookFolder.isEmpty()) {
        // The prepared folder, then the book made in it.
        Global::DestinationPath = outcome.bookFolder;
        Global::NewBookPath = outcome.bookFolder;
        if (outcome.stop == ExportOutcome::Ran)
            Global::NewBookPath = outcome.bookPath;
    }
    Finish(outcome);
}

void frmSave::Finish(const ExportOutcome& outcome)
{
    switch (outcome.stop) {
    case ExportOutcome::BookRefused:
        // Nothing was read: the window stays open for another choice.
        dialogs().MsgBox(this, BookRefusedMessage(outcome), MsgButtons::Ok, MsgIcon::Warning,
                         QStringLiteral("Address Book Not Used"));
        return;
    case ExportOutcome::BookFolderFailed:
        dialogs().MsgBox(this, BookFolderMessage(outcome), MsgButtons::Ok, MsgIcon::Warning,
                         booktexts::BookNotCreatedTitle);
        return;
    case ExportOutcome::BookDesignMissing:
        // The address book store cannot be used at all: the program ends.
        dialogs().MsgBox(nullptr, booktexts::NotesNotConfigured, MsgButtons::Ok, MsgIcon::Information,
                         booktexts::NotesNotConfiguredTitle);
        dialogs().EndProgram();
        return;
    case ExportOutcome::StoreNotOpened:
        Global::SelectedFolders.clear();
        dialogs().MsgBox(this, StoreFailureMessage(outcome), MsgButtons::Ok, MsgIcon::Critical,
                         QStringLiteral("Export Pellaro"));
        break;
    case ExportOutcome::Ran:
        Global::SelectedFolders.clear();
        dialogs().MsgBox(this, CompletionMessage(outcome), MsgButtons::Ok, CompletionIcon(outcome),
                         QStringLiteral("Export Complete"));
        break;
    }
    // Unloaded at the end of every run; the next opening starts afresh.
    close();
}

// The window's public methods by their old names, over the same book
// creation and book writer the run uses.
void frmSave::CreateNSF()
{
    exporting::CreateNSF(*this, dialogs());
}

bool frmSave::SaveNotesContacts(const PersonFields& fields, bool& SaveIt)
{
    return exporting::SaveNotesContacts(fields, SaveIt, *this);
}

bool frmSave::SaveNotesGroups(const QString& DLName, const QString& Members, const QString& Desc, bool& SaveIt)
{
    return exporting::SaveNotesGroups(DLName, Members, Desc, SaveIt, *this);
}

bool frmSave::IsNewBookMode() const
{
    return OptNewNSF->isChecked();
}

QString frmSave::ExistingBookText() const
{
    return txtExNSFFileName->text();
}

QString frmSave::DestinationPath() const
{
    return Global::DestinationPath;
}

QString frmSave::NewBookPath() const
{
    return Global::NewBookPath;
}

void frmSave::SetNewBookPath(const QString& path)
{
    Global::NewBookPath = path;
}

// Repainting the labels for every item would cost the run more than the
// writing; about 30 repaints a second look the same to the eye.
constexpr qint64 LabelRepaintMs = 33;

void frmSave::SetLabel(QLabel* label, QString& pending, const QString& text)
{
    if (!running_) {
        label->setText(text);
        return;
    }
    pending = text;
    labelsPending_ = true;
}

void frmSave::ShowPendingLabels()
{
    if (!labelsPending_)
        return;
    labelsPending_ = false;
    // All four together, so a repaint shows one moment of the run.
    LblSaveHeader->setText(pendingSaveHeader_);
    LblProcessing->setText(pendingProcessing_);
    LblFound->setText(pendingFound_);
    LblCurrent->setText(pendingCurrent_);
    labelsShown_.start();
}

void frmSave::SetSaveHeader(const QString& text)
{
    SetLabel(LblSaveHeader, pendingSaveHeader_, text);
}

void frmSave::SetProcessing(const QString& text)
{
    SetLabel(LblProcessing, pendingProcessing_, text);
}

void frmSave::SetFound(const QString& text)
{
    SetLabel(LblFound, pendingFound_, text);
}

void frmSave::SetCurrent(const QString& text)
{
    SetLabel(LblCurrent, pendingCurrent_, text);
}

void frmSave::ShowSubject()
{
    LblSubject->setVisible(true);
}

void frmSave::Yield()
{
    if (labelsPending_ && (!labelsShown_.isValid() || labelsShown_.elapsed() >= LabelRepaintMs))
        ShowPendingLabels();
    QApplication::processEvents();
}

void frmSave::ShowLatest()
{
    ShowPendingLabels();
}

void frmSave::closeEvent(QCloseEvent* event)
{
    // A run under way finishes first; a close request meanwhile has no effect.
    if (running_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void frmSave::reject()
{
    if (running_)
        return;
    QDialog::reject();
}
