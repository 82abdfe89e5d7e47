#pragma once
// The main window: choice of the source, the folder tree and the start of the
// conversion. The work behind the controls is source::SourceSide; the window
// lays out the controls and routes their events to it.

#include "source/SourceSide.h"

#include <QWidget>

#include <memory>

class FolderTreeWidget;
class MainMenu;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QTabWidget;

class frmMain : public QWidget, private source::SourceControls {
    Q_OBJECT
public:
    // The one main window, created (and loaded) on first use.
    static frmMain& instance();
    // True while the window exists.
    static bool exists();
    // Unloads the window; the next use creates it afresh. For tests.
    static void unload();
    ~frmMain() override;

    // The style sheet that gives the window its look.
    static const QString MainFormSkin;

    // Header band and frame.
    QLabel* Image3;  // logo
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label9;
    QLabel* Image2;  // separator
    QMenuBar* MenuTop;
    MainMenu* Menus;
    QTabWidget* NotesTab;
    QStatusBar* MainStatusBar;
    QList<QLabel*> StatusPanels;

    // Tab 1, " Select File".
    QGroupBox* SourceFrame;
    QRadioButton* OptConfiguredPST;
    QPushButton* CmdExportConfigured;
    QRadioButton* OptOtherPST;
    QGroupBox* OtherPSTFrame;
    QLineEdit* txtNotesDatabaseFile;
    QPushButton* CmdBrowse;
    QPushButton* CmdExportOther;
    QGroupBox* HelpFrame;
    QLabel* LblHelp;
    QLabel* Image1;
    QLabel* SupportedVersionsLabel;

    // Tab 2, " Mailbox Preview".
    QLabel* Label5;
    QComboBox* CmbOutlookStores;
    QLabel* Label3;
    FolderTreeWidget* OutlookFoldersTree;
    // Below the tree: what the store keeps outside its contact folders.
    QLabel* LblOtherItems;
    QPushButton* CmdStartConversion;

    // Handlers.
    void OptConfiguredPST_Click();
    void OptOtherPST_Click();
    void CmdExportConfigured_Click();
    void CmbOutlookStores_Click();
    void CmdBrowse_Click();
    void txtNotesDatabaseFile_Change();
    void CmdExportOther_Click();
    void CmdStartConversion_Click();

    // Public methods.
    void ShowMailboxFolders();

private:
    frmMain();
    void Form_Load();
    void ConnectEvents();

    // source::SourceControls
    void SetOtherPSTFrameEnabled(bool enabled) override;
    void SetCmdExportConfiguredEnabled(bool enabled) override;
    void SetCmdBrowseEnabled(bool enabled) override;
    void SetCmdExportOtherEnabled(bool enabled) override;
    void SetLblHelpText(const QString& text) override;
    QString PstFileText() const override;
    void SetPstFileText(const QString& text) override;
    void SetCmbOutlookStoresEnabled(bool enabled) override;
    void AddMailboxEntry(const QString& entry, const QString& dataFile) override;
    QString MailboxText() const override;
    void SetMailboxText(const QString& text) override;
    QString MailboxDataFile() const override;
    void SetPreviewTabEnabled(bool enabled) override;
    void ShowPreviewTab() override;
    void SetCmdStartConversionEnabled(bool enabled) override;
    source::CheckableFolderTree& FoldersTree() override;
    void SetOtherItemsText(const QString& text) override;
    void ShowExportWindow() override;
    QObject* DialogOwner() override;
    void Yield() override;

    std::unique_ptr<source::SourceSide> source_;
};
