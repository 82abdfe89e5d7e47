#include "source/SourceSide.h"

#include "common/dialogs/Dialogs.h"
#include "common/values/ProgramValues.h"

#include <QFileInfo>

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

QString StoreOpenCause(const QString& path, const QString& error)
{
    const QFileInfo file(path);
    if (!file.exists())
        return QStringLiteral("It does not exist.");
    if (!file.isReadable() || error.contains(QLatin1String("Permission denied"), Qt::CaseInsensitive))
        return QStringLiteral("There is no permission to read it.");
    if (error.contains(QLatin1String("password"), Qt::CaseInsensitive))
        return QStringLiteral("It is password protected.");
    if (file.size() == 0 || error.contains(QLatin1String("not an Outlook data file"), Qt::CaseInsensitive)
        || error.contains(QLatin1String("not a personal folders file"), Qt::CaseInsensitive))
        return QStringLiteral("It is not an Outlook data file.");
    if (error.contains(QLatin1String("damaged"), Qt::CaseInsensitive))
        return QStringLiteral("It is damaged.");
    return error;
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
        // left out of the list.
        try {
            const outlook::RDOStore store = session->Store(i);
            const QString dataFile = store.PstPath();
            if (dataFile.trimmed().isEmpty())
                continue;
            const QString entry = MailboxEntry(store.Name(), store.EntryID());
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
        try {
            ShowMailboxFolders();
        } catch (const outlook::OutlookError&) {
            // The nodes read so far stay; the window stays usable.
            dialogs().MsgBox(c_.DialogOwner(), texts::MailboxIncomplete, MsgButtons::Ok, MsgIcon::Warning,
                             texts::OutlookTitle);
        }
        const QString text = c_.MailboxText();
        c_.SetMailboxText(QString());
        c_.SetMailboxText(text);
        c_.SetCmdStartConversionEnabled(true);
    }
    c_.SetCmbOutlookStoresEnabled(true);
}

void SourceSide::ShowMailboxFolders()
{
    outlook::RDOSession session;
    session.Logon();
    c_.Yield();
    Global::SelectedStoreID = StoreIdOfEntry(c_.MailboxText());
    try {
        const outlook::RDOStore store = session.GetStoreFromID(Global::SelectedStoreID.trimmed());
        FillFolderTree(store, c_.FoldersTree());
    } catch (const outlook::OutlookError&) {
        logoffQuietly(session);
        throw;
    }
    session.Logoff();
    c_.Yield();
    TickAllNodes(c_.FoldersTree());
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
    // the conversion cannot be started.
    const QString path = c_.PstFileText().trimmed();
    try {
        const outlook::RDOStore store = session->AddPSTStore(path);
        if (!store.PstPath().trimmed().isEmpty()) {
            c_.SetCmbOutlookStoresEnabled(false);
            Global::SelectedStoreID = store.EntryID();
            try {
                ShowPstFolders(store);
            } catch (const outlook::OutlookError&) {
                // The folders read so far stay and can be converted.
            }
            c_.SetCmdStartConversionEnabled(true);
        }
    } catch (const outlook::OutlookError& e) {
        c_.FoldersTree().Clear();
        Global::SelectedStoreID.clear();
        dialogs().MsgBox(c_.DialogOwner(),
                         texts::StoreNotOpened + QStringLiteral("\r\n") + path + QStringLiteral("\r\n")
                             + StoreOpenCause(path, QString::fromUtf8(e.what())),
                         MsgButtons::Ok, MsgIcon::Warning, texts::OutlookTitle);
    }
    logoffQuietly(*session);

    c_.SetPreviewTabEnabled(true);
    c_.ShowPreviewTab();
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
