#pragma once
// The source side of the main window: the choice between a configured mailbox
// and another .pst file, the mailbox list, opening the file, filling the folder
// tree and handing the ticked folders to the export. The window implements
// SourceControls over its widgets and forwards its handlers here.

#include "source/FolderTree.h"
#include "source/outlook/Outlook.h"

#include <QString>

#include <functional>
#include <memory>

class QObject;

namespace source {

// Texts the source side shows.
namespace texts {
inline const QString ConfiguredHelp = QStringLiteral(
    "This Option allows you to convert default Outlook mailbox contacts or other configured Outlook PST files. "
    "Software will list all configured Outlook mailboxes contacts and you can choose which mailbox contacts you "
    "need to convert to Lotus Notes Address Book.");
inline const QString OtherHelp
    = QStringLiteral("This Option allows you to select a Outlook PST file to be converted to Lotus Notes mailbox.");
inline const QString OutlookNotConfigured = QStringLiteral("Outlook NOT installed or configured properly.");
inline const QString OutlookTitle = QStringLiteral("Korvane Outlook to Notes");
inline const QString MailboxIncomplete
    = QStringLiteral("The mailbox could not be read completely. Only the folders read so far are shown.");
inline const QString StoreNotOpened = QStringLiteral("The file could not be opened as an Outlook data file:");
inline const QString PasswordTitle = QStringLiteral("Outlook Data File Password");
inline const QString PasswordAsked = QStringLiteral("Type the password of the Outlook data file");
inline const QString PasswordWrong
    = QStringLiteral("The password is not right. Type the password of the Outlook data file");
inline const QString OtherItemsNotCounted
    = QStringLiteral("Contacts in folders that are not contact folders could not be counted.");
inline const QString PstFilter = QStringLiteral("Outlook Mailbox (*.pst)|*.pst");
inline const QString NothingSelected = QStringLiteral("Please Select Folders to Export");
inline const QString NothingSelectedTitle = QStringLiteral("Export Outlook Folders to Lotus Notes");
}  // namespace texts

// One entry of the mailbox list: the display name, 300 blanks, "#" and the
// store's entry identifier.
QString MailboxEntry(const QString& displayName, const QString& entryId);

// The store identifier inside a mailbox list entry: the text after the last
// "#" (identifiers never hold "#", display names may). Empty when there is no
// "#" at all.
QString StoreIdOfEntry(const QString& entry);

// Why a data file could not be opened or read, in the user's words, by the
// cause of the store layer's `error`: not there, no permission to read it,
// not an Outlook data file, password protected, a wrong password, damaged;
// the error's own text for any other cause.
QString StoreOpenCause(const outlook::OutlookError& error);

// A folder tree that can also be read back: what starting a conversion needs.
class CheckableFolderTree : public FolderTreeView {
public:
    // Tick state of the node at `position` (from 1): 1 means ticked.
    virtual int TickState(int position) const = 0;
    // Folder reference of the node at `position` (from 1); empty for the root.
    virtual QString Reference(int position) const = 0;
};

// Re-creates Global::SelectedFolders with one slot per node plus one, the
// references of the ticked folder nodes (the root skipped) first, in node
// order, the rest empty. Returns how many folders were collected.
int CollectSelectedFolders(const CheckableFolderTree& tree);

// The controls of the main window the source side works on.
class SourceControls {
public:
    virtual ~SourceControls() = default;

    virtual void SetOtherPSTFrameEnabled(bool enabled) = 0;
    virtual void SetCmdExportConfiguredEnabled(bool enabled) = 0;
    virtual void SetCmdBrowseEnabled(bool enabled) = 0;
    virtual void SetCmdExportOtherEnabled(bool enabled) = 0;
    virtual void SetLblHelpText(const QString& text) = 0;

    virtual QString PstFileText() const = 0;  // txtNotesDatabaseFile
    virtual void SetPstFileText(const QString& text) = 0;

    virtual void SetCmbOutlookStoresEnabled(bool enabled) = 0;
    // Appends `entry` to the list; `dataFile`, the store's data-file path,
    // tells entries of the same display name apart (the list shows it beside
    // the entry, never in its text).
    virtual void AddMailboxEntry(const QString& entry, const QString& dataFile) = 0;
    virtual QString MailboxText() const = 0;  // the list's current text
    virtual void SetMailboxText(const QString& text) = 0;
    // The data file of the entry the list shows; empty when none is shown.
    virtual QString MailboxDataFile() const = 0;

    virtual void SetPreviewTabEnabled(bool enabled) = 0;
    virtual void ShowPreviewTab() = 0;

    virtual void SetCmdStartConversionEnabled(bool enabled) = 0;
    virtual CheckableFolderTree& FoldersTree() = 0;
    // The line beside the tree telling what it leaves out; empty text shows
    // nothing.
    virtual void SetOtherItemsText(const QString& text) = 0;

    // Presets the export window in new-book mode and shows it modally.
    virtual void ShowExportWindow() = 0;

    // Owner of the message boxes, the file dialog and the password question.
    virtual QObject* DialogOwner() = 0;
    // Lets the window system process pending events.
    virtual void Yield() = 0;
};

// The handlers behind the source controls, named after them.
class SourceSide {
public:
    explicit SourceSide(SourceControls& controls)
        : c_(controls)
    {
    }

    // Source mode switch.
    void OptConfiguredPST_Click();
    void OptOtherPST_Click();

    // Configured mailboxes.
    void CmdExportConfigured_Click();
    void CmbOutlookStores_Click();
    // Fills the tree for the mailbox chosen in the list and remembers its
    // store in Global::SelectedStoreID; a protected store's password is asked
    // first. Returns false, the tree empty, when the question is cancelled.
    // Throws outlook::OutlookError; the nodes added so far stay.
    bool ShowMailboxFolders();

    // Other .pst file.
    void CmdBrowse_Click();
    void txtNotesDatabaseFile_Change();
    void CmdExportOther_Click();
    // Fills the tree from an open store. Throws outlook::OutlookError.
    void ShowPstFolders(const outlook::RDOStore& store);

    // Start of conversion.
    void CmdStartConversion_Click();

private:
    // Creates a session and logs on to the default profile; on failure
    // reports it and returns null.
    std::unique_ptr<outlook::RDOSession> Logon();

    // Runs `open` until it no longer fails for want of the password of the
    // data file `dataFile`, asking for the password each time (and telling
    // when the one given was wrong); each password given is remembered for
    // the rest of the program's run. Returns false when the question is
    // cancelled. Other failures pass through.
    bool WithPassword(const QString& dataFile, const std::function<void()>& open);

    // Empties the tree: nothing opened, nothing to convert.
    void ClearSource();

    // Tells, beside the tree, what `store` keeps outside its contact folders.
    void TellOtherItems(const outlook::RDOStore& store);

    SourceControls& c_;
};

}  // namespace source
