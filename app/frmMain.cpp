#include "app/frmMain.h"

#include "app/FolderTreeWidget.h"
#include "app/Look.h"
#include "app/MainMenu.h"
#include "app/SmallIcons.h"
#include "app/frmSave.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStatusBar>
#include <QStylePainter>
#include <QStyledItemDelegate>
#include <QTabWidget>

#include <algorithm>

namespace {

frmMain* g_window = nullptr;

constexpr int ClientWidth = 696;
constexpr int ClientHeight = 584;
constexpr int HeaderHeight = 76;
constexpr int SeparatorHeight = 3;
constexpr int MenuHeight = 24;
constexpr int StatusHeight = 24;

const QString Maker = QStringLiteral("Korvane");
const QString SupportAddress = QStringLiteral("support@korvane.example");
const QString WebAddress = QStringLiteral("https://www.korvane.example");

// The strip between the header and the menu bar.
QPixmap separatorPicture(int width)
{
    QPixmap pm(width, SeparatorHeight);
    QPainter p(&pm);
    QLinearGradient g(0, 0, width, 0);
    g.setColorAt(0, QColor(0x17, 0x4a, 0x8f));
    g.setColorAt(0.6, QColor(0x5c, 0x9c, 0xe6));
    g.setColorAt(1, QColor(0xd8, 0xe6, 0xf6));
    p.fillRect(pm.rect(), g);
    return pm;
}

// Entries of the mailbox list carry the store identifier after a long run of
// blanks; the drop-down shows only the display name in front of it, and the
// data file of the entry, dimmed, at the right: several data files may go by
// the same display name.
class MailboxDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Rows with room around the text, easier to aim at than bare lines.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max(size.height(), option.fontMetrics.height() + 8));
        return size;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        const QString dataFile = index.data(Qt::ToolTipRole).toString();
        if (dataFile.isEmpty())
            return;
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QStyle* style = opt.widget ? opt.widget->style() : QApplication::style();
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
        const QRect room = text.adjusted(opt.fontMetrics.horizontalAdvance(opt.text) + 24, 0, -6, 0);
        if (room.width() < 48)
            return;
        painter->save();
        const bool selected = opt.state & QStyle::State_Selected;
        painter->setPen(selected ? QColor(0x3b, 0x4a, 0x5c) : QColor(0x7a, 0x88, 0x99));
        painter->setFont(opt.font);
        painter->drawText(room, Qt::AlignRight | Qt::AlignVCenter,
                          opt.fontMetrics.elidedText(dataFile, Qt::ElideMiddle, room.width()));
        painter->restore();
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const qsizetype hash = option->text.lastIndexOf(u'#');
        if (hash >= 0) {
            QString shown = option->text.left(hash);
            while (shown.endsWith(u' '))
                shown.chop(1);
            option->text = shown;
        }
    }
};

// The combo box itself draws its current text with the same cut.
class MailboxCombo : public QComboBox {
public:
    using QComboBox::QComboBox;

    // QComboBox widens its drop-down to the longest entry text, blanks
    // included; keep it as wide as the list itself.
    void showPopup() override
    {
        QComboBox::showPopup();
        QWidget* popup = view()->window();
        if (popup != window() && popup->width() > width()) {
            popup->resize(width(), popup->height());
            popup->move(mapToGlobal(QPoint(0, 0)).x(), popup->y());
        }
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionComboBox opt;
        initStyleOption(&opt);
        if (currentIndex() < 0 && !placeholderText().isEmpty()) {
            opt.palette.setBrush(QPalette::ButtonText, opt.palette.placeholderText());
            opt.currentText = placeholderText();
        }
        const qsizetype hash = opt.currentText.lastIndexOf(u'#');
        if (hash >= 0) {
            QString shown = opt.currentText.left(hash);
            while (shown.endsWith(u' '))
                shown.chop(1);
            opt.currentText = shown;
        }
        painter.drawComplexControl(QStyle::CC_ComboBox, opt);
        painter.drawControl(QStyle::CE_ComboBoxLabel, opt);

        // The skin's drop-down button carries our own arrow.
        const QRectF button = style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxArrow, this);
        const QPointF c = button.center();
        const QPointF arrow[] = {{c.x() - 4, c.y() - 2}, {c.x() + 4, c.y() - 2}, {c.x(), c.y() + 3}};
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(isEnabled() ? QColor(0x10, 0x33, 0x5f) : QColor(0x9a, 0xa7, 0xb6));
        painter.drawPolygon(arrow, 3);
    }
};

}  // namespace

// The skin every window shares, attached to the main window.
const QString frmMain::MainFormSkin = look::skin();

frmMain& frmMain::instance()
{
    if (!g_window)
        g_window = new frmMain;
    return *g_window;
}

bool frmMain::exists()
{
    return g_window != nullptr;
}

void frmMain::unload()
{
    delete g_window;
}

frmMain::~frmMain()
{
    if (g_window == this)
        g_window = nullptr;
}

frmMain::frmMain()
    : QWidget(nullptr,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmMain"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Pellaro v6.7"));
    setWindowIcon(QIcon(SmallIcons::logo(64)));
    look::apply(this);
    setFixedSize(ClientWidth, ClientHeight);

    // Header band: logo and the three lines.
    auto* header = new QWidget(this);
    header->setObjectName(QStringLiteral("HeaderBand"));
    header->setAttribute(Qt::WA_StyledBackground);
    header->setGeometry(0, 0, ClientWidth, HeaderHeight);
    Image3 = new QLabel(header);
    Image3->setObjectName(QStringLiteral("Image3"));
    Image3->setPixmap(SmallIcons::logo(56));
    Image3->setGeometry(12, 10, 56, 56);
    Label7 = new QLabel(QStringLiteral("Korvane"), header);
    Label7->setObjectName(QStringLiteral("Label7"));
    Label7->setFont(look::font(9));
    look::setBold(Label7);
    Label7->setGeometry(80, 8, 400, 18);
    Label8 = new QLabel(QStringLiteral("Pellaro"), header);
    Label8->setObjectName(QStringLiteral("Label8"));
    Label8->setFont(look::font(16));
    look::setBold(Label8);
    Label8->setGeometry(80, 24, 400, 28);
    Label9 = new QLabel(QStringLiteral("Migrate Pellaro Address Book"), header);
    Label9->setObjectName(QStringLiteral("Label9"));
    Label9->setGeometry(80, 52, 400, 18);

    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setPixmap(separatorPicture(ClientWidth));
    Image2->setGeometry(0, HeaderHeight, ClientWidth, SeparatorHeight);

    MenuTop = new QMenuBar(this);
    MenuTop->setObjectName(QStringLiteral("MenuTop"));
    MenuTop->setNativeMenuBar(false);
    MenuTop->setGeometry(0, HeaderHeight + SeparatorHeight, ClientWidth, MenuHeight);
    Menus = new MainMenu(MenuTop, this);

    const int tabTop = HeaderHeight + SeparatorHeight + MenuHeight + 6;
    NotesTab = new QTabWidget(this);
    NotesTab->setObjectName(QStringLiteral("NotesTab"));
    NotesTab->setGeometry(8, tabTop, ClientWidth - 16, ClientHeight - StatusHeight - tabTop - 6);
    NotesTab->setIconSize(QSize(16, 16));

    // Tab 1, " Select File".
    auto* selectPage = new QWidget;
    SourceFrame = new QGroupBox(QStringLiteral(" Select Outlook  (.pst) file to convert"), selectPage);
    SourceFrame->setObjectName(QStringLiteral("SourceFrame"));
    SourceFrame->setGeometry(10, 8, 658, 186);
    OptConfiguredPST = new QRadioButton(QStringLiteral("  Convert Configured Outlook Mailboxes"), SourceFrame);
    OptConfiguredPST->setObjectName(QStringLiteral("OptConfiguredPST"));
    OptConfiguredPST->setGeometry(16, 30, 400, 22);
    look::setBold(OptConfiguredPST);
    OptConfiguredPST->setChecked(true);
    CmdExportConfigured = new QPushButton(QStringLiteral("Export Mailbox"), SourceFrame);
    CmdExportConfigured->setObjectName(QStringLiteral("CmdExportConfigured"));
    CmdExportConfigured->setGeometry(518, 27, 122, 28);
    OptOtherPST = new QRadioButton(QStringLiteral("  Convert Other PST File"), SourceFrame);
    OptOtherPST->setObjectName(QStringLiteral("OptOtherPST"));
    look::setBold(OptOtherPST);
    OptOtherPST->setGeometry(16, 70, 400, 22);
    OtherPSTFrame = new QGroupBox(QStringLiteral(" Select Outlook File (.pst) "), SourceFrame);
    OtherPSTFrame->setObjectName(QStringLiteral("OtherPSTFrame"));
    OtherPSTFrame->setGeometry(36, 98, 604, 72);
    txtNotesDatabaseFile = new QLineEdit(OtherPSTFrame);
    txtNotesDatabaseFile->setObjectName(QStringLiteral("txtNotesDatabaseFile"));
    txtNotesDatabaseFile->setReadOnly(true);
    txtNotesDatabaseFile->setGeometry(12, 30, 340, 26);
    CmdBrowse = new QPushButton(QStringLiteral("Browse..."), OtherPSTFrame);
    CmdBrowse->setObjectName(QStringLiteral("CmdBrowse"));
    CmdBrowse->setGeometry(362, 29, 104, 28);
    CmdExportOther = new QPushButton(QStringLiteral("Export Mailbox"), OtherPSTFrame);
    CmdExportOther->setObjectName(QStringLiteral("CmdExportOther"));
    CmdExportOther->setGeometry(476, 29, 116, 28);

    HelpFrame = new QGroupBox(QStringLiteral(" Help"), selectPage);
    HelpFrame->setObjectName(QStringLiteral("HelpFrame"));
    HelpFrame->setGeometry(10, 204, 658, 132);
    LblHelp = new QLabel(source::texts::ConfiguredHelp, HelpFrame);
    LblHelp->setObjectName(QStringLiteral("LblHelp"));
    LblHelp->setWordWrap(true);
    LblHelp->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LblHelp->setGeometry(16, 28, 626, 92);

    Image1 = new QLabel(selectPage);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(SmallIcons::list().icon(63).pixmap(16, 16));
    Image1->setGeometry(14, 382, 16, 16);
    SupportedVersionsLabel
        = new QLabel(QStringLiteral("Supports Outlook 2010, 2007, 2003, 2002(XP), 2000 "), selectPage);
    SupportedVersionsLabel->setObjectName(QStringLiteral("SupportedVersionsLabel"));
    SupportedVersionsLabel->setGeometry(36, 380, 500, 20);

    // Tab 2, " Mailbox Preview".
    auto* previewPage = new QWidget;
    Label5 = new QLabel(QStringLiteral("Please select a available configured Outlook mailbox"), previewPage);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setGeometry(12, 8, 650, 18);
    CmbOutlookStores = new MailboxCombo(previewPage);
    CmbOutlookStores->setObjectName(QStringLiteral("CmbOutlookStores"));
    CmbOutlookStores->setEditable(false);
    CmbOutlookStores->setPlaceholderText(QStringLiteral("---- Select a Outlook Mailbox ----"));
    CmbOutlookStores->setItemDelegate(new MailboxDelegate(CmbOutlookStores));
    CmbOutlookStores->setGeometry(12, 28, 654, 26);
    Label3 = new QLabel(QStringLiteral("Select contact folders you need to convert to Lotus Notes Address Book"),
                        previewPage);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->setGeometry(12, 62, 650, 18);
    OutlookFoldersTree = new FolderTreeWidget(previewPage);
    OutlookFoldersTree->setObjectName(QStringLiteral("OutlookFoldersTree"));
    OutlookFoldersTree->setGeometry(12, 82, 654, 264);
    LblOtherItems = new QLabel(previewPage);
    LblOtherItems->setObjectName(QStringLiteral("LblOtherItems"));
    LblOtherItems->setTextFormat(Qt::PlainText);
    LblOtherItems->setGeometry(12, 350, 654, 20);
    LblOtherItems->hide();
    CmdStartConversion = new QPushButton(QStringLiteral("Start Conversion"), previewPage);
    CmdStartConversion->setObjectName(QStringLiteral("CmdStartConversion"));
    CmdStartConversion->setGeometry((678 - 140) / 2, 374, 140, 28);

    NotesTab->addTab(selectPage, QStringLiteral(" Select File"));
    NotesTab->addTab(previewPage, SmallIcons::list().icon(66), QStringLiteral(" Mailbox Preview"));

    // Status bar: maker, support address, web address.
    MainStatusBar = new QStatusBar(this);
    MainStatusBar->setObjectName(QStringLiteral("MainStatusBar"));
    MainStatusBar->setSizeGripEnabled(false);
    MainStatusBar->setGeometry(0, ClientHeight - StatusHeight, ClientWidth, StatusHeight);
    const struct {
        QString text;
        bool bold;
        int width;
    } panels[]
        = {{Maker, true, 150}, {QStringLiteral("Email: ") + SupportAddress, false, 200}, {WebAddress, true, 400}};
    for (const auto& panel : panels) {
        auto* label = new QLabel(panel.text, MainStatusBar);
        if (panel.bold)
            look::setBold(label);
        MainStatusBar->addWidget(label, panel.width);
        StatusPanels.append(label);
    }

    // F1: the help page of the tab shown.
    MainMenu::addHelpKey(this, [this] {
        return NotesTab->currentIndex() == 1 ? QStringLiteral("folders.html") : QStringLiteral("sources.html");
    });

    source_ = std::make_unique<source::SourceSide>(static_cast<source::SourceControls&>(*this));
    ConnectEvents();
    Form_Load();

    // Centred on the screen when first shown.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(ClientWidth / 2, ClientHeight / 2));
}

void frmMain::Form_Load()
{
    setStyleSheet(MainFormSkin);
    NotesTab->setCurrentIndex(0);
    OtherPSTFrame->setEnabled(false);
    OutlookFoldersTree->SetImageList(&SmallIcons::list());
    NotesTab->setTabEnabled(1, false);
}

void frmMain::ConnectEvents()
{
    connect(OptConfiguredPST, &QRadioButton::clicked, this, &frmMain::OptConfiguredPST_Click);
    connect(OptOtherPST, &QRadioButton::clicked, this, &frmMain::OptOtherPST_Click);
    connect(CmdExportConfigured, &QPushButton::clicked, this, &frmMain::CmdExportConfigured_Click);
    connect(CmbOutlookStores, &QComboBox::activated, this, &frmMain::CmbOutlookStores_Click);
    // The list tells which data file the entry shown is.
    connect(CmbOutlookStores, &QComboBox::currentIndexChanged, CmbOutlookStores, [this](int index) {
        CmbOutlookStores->setToolTip(CmbOutlookStores->itemData(index, Qt::ToolTipRole).toString());
    });
    connect(CmdBrowse, &QPushButton::clicked, this, &frmMain::CmdBrowse_Click);
    connect(txtNotesDatabaseFile, &QLineEdit::textChanged, this, &frmMain::txtNotesDatabaseFile_Change);
    connect(CmdExportOther, &QPushButton::clicked, this, &frmMain::CmdExportOther_Click);
    connect(CmdStartConversion, &QPushButton::clicked, this, &frmMain::CmdStartConversion_Click);
}

void frmMain::OptConfiguredPST_Click()
{
    source_->OptConfiguredPST_Click();
}
void frmMain::OptOtherPST_Click()
{
    source_->OptOtherPST_Click();
}
void frmMain::CmdExportConfigured_Click()
{
    source_->CmdExportConfigured_Click();
}
void frmMain::CmbOutlookStores_Click()
{
    source_->CmbOutlookStores_Click();
}
void frmMain::CmdBrowse_Click()
{
    source_->CmdBrowse_Click();
}
void frmMain::txtNotesDatabaseFile_Change()
{
    source_->txtNotesDatabaseFile_Change();
}
void frmMain::CmdExportOther_Click()
{
    source_->CmdExportOther_Click();
}
void frmMain::CmdStartConversion_Click()
{
    source_->CmdStartConversion_Click();
}
void frmMain::ShowMailboxFolders()
{
    source_->ShowMailboxFolders();
}

void frmMain::SetOtherPSTFrameEnabled(bool enabled)
{
    OtherPSTFrame->setEnabled(enabled);
}
void frmMain::SetCmdExportConfiguredEnabled(bool enabled)
{
    CmdExportConfigured->setEnabled(enabled);
}
void frmMain::SetCmdBrowseEnabled(bool enabled)
{
    CmdBrowse->setEnabled(enabled);
}
void frmMain::SetCmdExportOtherEnabled(bool enabled)
{
    CmdExportOther->setEnabled(enabled);
}
void frmMain::SetLblHelpText(const QString& text)
{
    LblHelp->setText(text);
}
QString frmMain::PstFileText() const
{
    return txtNotesDatabaseFile->text();
}
void frmMain::SetPstFileText(const QString& text)
{
    txtNotesDatabaseFile->setText(text);
}
void frmMain::SetCmbOutlookStoresEnabled(bool enabled)
{
    CmbOutlookStores->setEnabled(enabled);
}
void frmMain::AddMailboxEntry(const QString& entry, const QString& dataFile)
{
    CmbOutlookStores->addItem(entry);
    CmbOutlookStores->setItemData(CmbOutlookStores->count() - 1, dataFile, Qt::ToolTipRole);
}

QString frmMain::MailboxText() const
{
    return CmbOutlookStores->currentText();
}

QString frmMain::MailboxDataFile() const
{
    return CmbOutlookStores->currentData(Qt::ToolTipRole).toString();
}

void frmMain::SetMailboxText(const QString& text)
{
    // The list takes no free text: setting a text selects the entry that has
    // it, and the entry already shown stays selected.
    if (text != CmbOutlookStores->currentText()) {
        const int index = CmbOutlookStores->findText(text);
        if (index >= 0)
            CmbOutlookStores->setCurrentIndex(index);
    }
}

void frmMain::SetPreviewTabEnabled(bool enabled)
{
    NotesTab->setTabEnabled(1, enabled);
}
void frmMain::ShowPreviewTab()
{
    NotesTab->setCurrentIndex(1);
}
void frmMain::SetCmdStartConversionEnabled(bool enabled)
{
    CmdStartConversion->setEnabled(enabled);
}
source::CheckableFolderTree& frmMain::FoldersTree()
{
    return *OutlookFoldersTree;
}

void frmMain::SetOtherItemsText(const QString& text)
{
    // One line: a long list of folders is cut, and the whole of it is the
    // label's tool tip.
    const QString shown = LblOtherItems->fontMetrics().elidedText(text, Qt::ElideRight, LblOtherItems->width());
    LblOtherItems->setText(shown);
    LblOtherItems->setToolTip(shown == text ? QString() : text);
    LblOtherItems->setVisible(!text.isEmpty());
}
QObject* frmMain::DialogOwner()
{
    return this;
}
void frmMain::Yield()
{
    QCoreApplication::processEvents();
}

void frmMain::ShowExportWindow()
{
    frmSave& save = frmSave::instance(this);
    save.OptExistingNSF->setChecked(false);
    save.txtExNSFFileName->setEnabled(false);
    save.CmdExistingNSF->setEnabled(false);
    save.OptNewNSF->setChecked(true);
    save.txtNSFFileName->setEnabled(true);
    save.CmdNewNSF->setEnabled(true);
    save.exec();
}
