#include "source/SourceSide.h"

#include "common/dialogs/Dialogs.h"
#include "common/values/ProgramValues.h"

#include <QFileInfo>

#include <optional>

namespace source {

namespace {

// Logs off at the end of a handler. Failures after the logon go unreported,
// so a failing logoff is dropped too.
void logoffQuietly(outlook::RDOSession& session)
{
    try {
        session.Logoff();
    } catch (const outlook::OutlookError&) {
    }
}

}  // namespace

QString MailboxEntry(const QString& displayName, const QString& entryId)
{
    return displayName + QString(300, u' ') + u'#' + entryId;
}

QString StoreIdOfEntry(const QString& entry)
{
    const qsizetype hash = entry.lastIndexOf(u'#');
    return hash < 0 ? QString() : entry.mid(hash + 1);
}

QString StoreOpenCause(const outlook::OutlookError& error)
{
    switch (error.cause()) {
    case Cause::NotFound:
        return QStringLiteral("It does not exist.");
    case Cause::NoPermission:
        return QStringLiteral("There is no permission to read it.");
    case Cause::NotADataFile:
        return QStringLiteral("It is not an Outlook data file.");
    case Cause::Protected:
        return QStringLiteral("It is password protected.");
    case Cause::WrongPassword:
        return QStringLiteral("The password is not right.");
    case Cause::Damaged:
        return QStringLiteral("It is damaged.");
    case Cause::FormatNotRead:
    case Cause::Io:
    case Cause::Other:
        break;
    }
    return QString::fromUtf8(error.what());
}

int CollectSelectedFolders(const CheckableFolderTree& tree)
{
    const int count = tree.NodeCount();
    Global::SelectedFolders = QStringList(count + 1, QString());
    int selected = 0;
    // Position 1 is the root, the store itself: never collected.
    for (int i = 2; i <= count; ++i) {
        if (tree.TickState(i) == 1)
            Global::SelectedFolders[selected++] = tree.Reference(i);
    }
    return selected;
}

void SourceSide::OptConfiguredPST_Click()
{
    c_.SetOtherPSTFrameEnabled(false);
    c_.SetCmdExportOtherEnabled(false);
    c_.SetCmdExportConfiguredEnabled(true);
    c_.SetCmdBrowseEnabled(false);
    c_.SetLblHelpText(texts::ConfiguredHelp);
}

void SourceSide::OptOtherPST_Click()
{
    c_.SetOtherPSTFrameEnabled(true);
    c_.SetCmdExportConfiguredEnabled(false);
    c_.SetCmdExportOtherEnabled(false);
    c_.SetCmdBrowseEnabled(true);
    c_.SetLblHelpText(texts::OtherHelp);
}

std::unique_ptr<outlook::RDOSession> SourceSide::Logon()
{
    try {
        auto session = std::make_unique<outlook::RDOSession>();
        session->Logon();
        return session;
    } catch (const outlook::OutlookError&) {
        dialogs().MsgBox(c_.DialogOwner(), texts::OutlookNotConfigured, MsgButtons::Ok, MsgIcon::Information,
                         texts::OutlookTitle);
        return nullptr;
    }
}

void SourceSide::CmdExportConfigured_Click()
{
    c_.SetCmdStartConversionEnabled(false);
    const std::unique_ptr<outlook::RDOSession> session = Logon();
    if (!session)
        return;

    int stores = 0;
    try {
        stores = session->StoreCount();
    } catch (const outlook::OutlookError&) {
    }
    for (int i = 1; i <= stores; ++i) {
        // A store whose values cannot be read (its file has gone, say) is
        // left out of the list. One whose values need its password is listed
        // by its file's name, without an identifier: picking it asks for the
        // password.
        try {
            const outlook::RDOStore store = session->Store(i);
            const QString dataFile = store.PstPath();
            if (dataFile.trimmed().isEmpty())
                continue;
            QString entry;
            try {
                entry = MailboxEntry(store.Name(), store.EntryID());
            } catch (const outlook::OutlookError& e) {
                if (e.cause() != Cause::Protected && e.cause() != Cause::WrongPassword)
                    throw;
                entry = MailboxEntry(QFileInfo(dataFile).completeBaseName(), QString());
            }
            c_.SetCmbOutlookStoresEnabled(true);
            c_.AddMailboxEntry(entry, dataFile);
        } catch (const outlook::OutlookError&) {
        }
    }
    logoffQuietly(*session);

    c_.SetPreviewTabEnabled(true);
    c_.ShowPreviewTab();
}

void SourceSide::CmbOutlookStores_Click()
{
    c_.SetCmbOutlookStoresEnabled(false);
    if (!c_.MailboxText().isEmpty()) {
        c_.SetCmdStartConversionEnabled(false);
        bool opened = true;
        try {
            opened = ShowMailboxFolders();
        } catch (const outlook::OutlookError& e) {
            // The nodes read so far stay; the window stays usable.
            dialogs().MsgBox(c_.DialogOwner(), texts::MailboxIncomplete + QStringLiteral("\r\n") + StoreOpenCause(e),
                             MsgButtons::Ok, MsgIcon::Warning, texts::OutlookTitle);
        }
        const QString text = c_.MailboxText();
        c_.SetMailboxText(QString());
        c_.SetMailboxText(text);
        // A mailbox left unopened has nothing to convert.
        c_.SetCmdStartConversionEnabled(opened);
    }
    c_.SetCmbOutlookStoresEnabled(true);
}

bool SourceSide::ShowMailboxFolders()
{
    outlook::RDOSession session;
    session.Logon();
    c_.Yield();
    Global::SelectedStoreID = StoreIdOfEntry(c_.MailboxText());
    c_.SetOtherItemsText(QString());
    try {
        // A protected store may be listed without an identifier (its values
        // need the password): its data file finds it.
        const QString dataFile = c_.MailboxDataFile();
        std::optional<outlook::RDOStore> store;
        const bool opened = WithPassword(dataFile, [&] {
            const QString id = Global::SelectedStoreID.trimmed();
            if (!id.isEmpty() || dataFile.isEmpty()) {
                store = session.GetStoreFromID(id);
            } else {
                const int count = session.StoreCount();
                for (int i = 1; i <= count && !store; ++i) {
                    const outlook::RDOStore candidate = session.Store(i);
                    if (candidate.PstPath() == dataFile)
                        store = candidate;
                }
                if (!store)
                    session.GetStoreFromID(id);  // throws: no such store
            }
            store->IPMRootFolder();
        });
        if (!opened) {
            logoffQuietly(session);
            ClearSource();
            return false;
        }
        Global::SelectedStoreID = store->EntryID();
        FillFolderTree(*store, c_.FoldersTree());
        TellOtherItems(*store);
    } catch (const outlook::OutlookError&) {
        logoffQuietly(session);
        throw;
    }
    session.Logoff();
    c_.Yield();
    TickAllNodes(c_.FoldersTree());
    return true;
}

void SourceSide::CmdBrowse_Click()
{
    const QString file = dialogs().GetOpenFileName(c_.DialogOwner(), QString(), texts::PstFilter);
    c_.SetPstFileText(file);
    c_.SetPreviewTabEnabled(false);
}

void SourceSide::txtNotesDatabaseFile_Change()
{
    c_.SetCmdExportOtherEnabled(!c_.PstFileText().isEmpty());
}

void SourceSide::CmdExportOther_Click()
{
    c_.SetCmdStartConversionEnabled(false);
    const std::unique_ptr<outlook::RDOSession> session = Logon();
    if (!session)
        return;

    // A file that cannot be opened as a store is named with the cause; the
    // tree is emptied rather than left showing another file's folders, and
    // the conversion cannot be started. So it is when its password is not
    // given.
    const QString path = c_.PstFileText().trimmed();
    c_.SetOtherItemsText(QString());
    try {
        std::optional<outlook::RDOStore> store;
        const bool opened = WithPassword(path, [&] {
            store = session->AddPSTStore(path);
            store->IPMRootFolder();
        });
        if (!opened) {
            ClearSource();
        } else if (!store->PstPath().trimmed().isEmpty()) {
            c_.SetCmbOutlookStoresEnabled(false);
            Global::SelectedStoreID = store->EntryID();
            try {
                ShowPstFolders(*store);
                TellOtherItems(*store);
            } catch (const outlook::OutlookError& e) {
                // The folders read so far stay and can be converted.
                dialogs().MsgBox(c_.DialogOwner(),
                                 texts::MailboxIncomplete + QStringLiteral("\r\n") + StoreOpenCause(e), MsgButtons::Ok,
                                 MsgIcon::Warning, texts::OutlookTitle);
            }
            c_.SetCmdStartConversionEnabled(true);
        }
    } catch (const outlook::OutlookError& e) {
        ClearSource();
        dialogs().MsgBox(c_.DialogOwner(),
                         texts::StoreNotOpened + QStringLiteral("\r\n") + path + QStringLiteral("\r\n")
                             + StoreOpenCause(e),
                         MsgButtons::Ok, MsgIcon::Warning, texts::OutlookTitle);
    }
    logoffQuietly(*session);

    c_.SetPreviewTabEnabled(true);
    c_.ShowPreviewTab();
}

bool SourceSide::WithPassword(const QString& dataFile, const std::function<void()>& open)
{
    bool askedBefore = false;
    for (;;) {
        try {
            open();
            return true;
        } catch (const outlook::OutlookError& e) {
            if (e.cause() != Cause::Protected && e.cause() != Cause::WrongPassword)
                throw;
            // Wrong once the user has given one; a password kept from before
            // that does not fit says nothing the user knows of.
            const QString question
                = (askedBefore && e.cause() == Cause::WrongPassword ? texts::PasswordWrong : texts::PasswordAsked)
                + QStringLiteral(":\r\n") + dataFile;
            const std::optional<QString> password
                = dialogs().AskPassword(c_.DialogOwner(), question, texts::PasswordTitle);
            if (!password)
                return false;
            askedBefore = true;
            outlook::RememberPassword(dataFile, *password);
        }
    }
}

void SourceSide::ClearSource()
{
    c_.FoldersTree().Clear();
    c_.SetOtherItemsText(QString());
    Global::SelectedStoreID.clear();
}

void SourceSide::TellOtherItems(const outlook::RDOStore& store)
{
    QString line;
    try {
        line = StrayItemsLine(store.ContactsInOtherFolders(), false);
    } catch (const outlook::OutlookError&) {
        // The tree stands; only the count is missing, and the line says so.
        line = texts::OtherItemsNotCounted;
    }
    c_.SetOtherItemsText(line);
}

void SourceSide::ShowPstFolders(const outlook::RDOStore& store)
{
    c_.Yield();
    c_.SetCmdStartConversionEnabled(false);
    FillFolderTree(store, c_.FoldersTree());
    TickAllNodes(c_.FoldersTree());
}

void SourceSide::CmdStartConversion_Click()
{
    if (CollectSelectedFolders(c_.FoldersTree()) < 1) {
        dialogs().MsgBox(c_.DialogOwner(), texts::NothingSelected, MsgButtons::Ok, MsgIcon::Information,
                         texts::NothingSelectedTitle);
        return;
    }
    c_.ShowExportWindow();
}

}  // namespace source
