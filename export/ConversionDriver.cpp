#include "export/ConversionDriver.h"

#include "app/global/Global.h"
#include "export/BookCreation.h"
#include "export/DocumentWriters.h"
#include "export/FolderCreation.h"
#include "export/ItemReading.h"

#include <exception>
#include <utility>

namespace {

// One step of the item loop. A step that fails is dropped and the run goes
// on with the next one; the caller learns whether it ran to its end.
template <class Step>
bool attempt(Step&& run)
{
    try {
        std::forward<Step>(run)();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

const QString ContactClass = QStringLiteral("IPM.Contact");
const QString ListClass = QStringLiteral("IPM.DistList");

} // namespace

// ------------------------------------------------------------- store access

ProfileStoreAccess::ProfileStoreAccess() = default;
ProfileStoreAccess::~ProfileStoreAccess() = default;

void ProfileStoreAccess::Logon()
{
    session_ = std::make_unique<outlook::RDOSession>();
    session_->Logon();
}

outlook::RDOStore ProfileStoreAccess::FindStore()
{
    if (!session_)
        throw outlook::OutlookError("not logged on");
    return session_->GetStoreFromID(Global::SelectedStoreID);
}

void ProfileStoreAccess::Logoff()
{
    if (!session_)
        return;
    auto session = std::move(session_);
    session->Logoff();
}

FileStoreAccess::FileStoreAccess(QString path)
    : path_(std::move(path))
{
}

void FileStoreAccess::Logon()
{
    // A file opened directly needs no profile and no log-on.
}

outlook::RDOStore FileStoreAccess::FindStore()
{
    return outlook::RDOSession::OpenPstFile(path_);
}

void FileStoreAccess::Logoff() {}

// ------------------------------------------------------------------ messages

QString CompletionMessage(const ExportOutcome& o)
{
    if (o.complete())
        return QStringLiteral("Outlook Contacts Exported Successfully to Lotus Notes Address Book.\r\n") + o.bookPath;
    QString counts = QStringLiteral("%1 Person and %2 Group documents were written; %3 items could not be exported.")
                         .arg(o.personsWritten)
                         .arg(o.groupsWritten)
                         .arg(o.itemsFailed);
    if (o.foldersFailed > 0)
        counts += QStringLiteral(" %1 folders could not be opened.").arg(o.foldersFailed);
    return QStringLiteral("Not all Outlook Contacts could be exported to Lotus Notes Address Book.\r\n") + counts +
           QStringLiteral("\r\n") + o.bookPath;
}

MsgIcon CompletionIcon(const ExportOutcome& o)
{
    return o.complete() ? MsgIcon::Information : MsgIcon::Warning;
}

QString StoreFailureMessage()
{
    return QStringLiteral("The Outlook data file could not be opened. Nothing was exported.");
}

// ----------------------------------------------------------------------- run

ConversionDriver::ConversionDriver(ExportView& view, Dialogs& dialogs, StoreAccess& store, QWidget* owner)
    : view_(view)
    , dialogs_(dialogs)
    , storeAccess_(store)
    , owner_(owner)
{
}

ExportOutcome ConversionDriver::Run()
{
    outcome_ = ExportOutcome();
    folderShown_.clear();
    folderOfItemShown_.reset();

    view_.SetSaveHeader(QStringLiteral("Checking Configuration..."));
    view_.SetProcessing(QStringLiteral("Processing..."));
    view_.SetFound(QString());
    view_.SetCurrent(QString());
    view_.ShowSubject();

    if (!OpenStore()) {
        // Nothing has been prepared or written: say so and end the run.
        Global::SelectedFolders.clear();
        attempt([&] { storeAccess_.Logoff(); });
        EndWriting();
        if (announce_)
            dialogs_.MsgBox(owner_, StoreFailureMessage(), MsgButtons::Ok, MsgIcon::Critical,
                            QStringLiteral("Export Pellaro"));
        return outcome_;
    }
    outcome_.storeOpened = true;

    PrepareDestination();

    // From here on a failing step is dropped and the run goes on.
    const QStringList folders = Global::SelectedFolders;
    for (const QString& entry : folders) {
        if (entry.trimmed().isEmpty())
            continue;
        ExportFolder(*store_, entry);
    }

    Global::SelectedFolders.clear();
    store_.reset();
    attempt([&] { storeAccess_.Logoff(); });
    EndWriting();
    Announce();
    return outcome_;
}

bool ConversionDriver::OpenStore()
{
    return attempt([&] {
        storeAccess_.Logon();
        view_.Yield();
        store_.emplace(storeAccess_.FindStore());
    });
}

void ConversionDriver::PrepareDestination()
{
    if (view_.IsNewBookMode()) {
        // The book goes into the folder "Lotus Notes Address Book" inside the
        // folder the user picked, with or without a separator at its end.
        QString destination = Global::DestinationPath;
        if (!destination.endsWith(Global::PathSeparator))
            destination += Global::PathSeparator;
        destination = destination.trimmed() + QStringLiteral("Lotus Notes Address Book");
        // A folder that cannot be made shows up as a book that cannot be
        // created in it, which CreateNSF reports.
        CreateFolderPath(destination);
        destination = destination.trimmed() + Global::PathSeparator;
        Global::DestinationPath = destination;
        Global::NewBookPath = destination;
        view_.Yield();
        CreateNSF(view_, dialogs_);
        outcome_.bookPath = Global::NewBookPath;
    } else {
        Global::DestinationPath = view_.ExistingBookText().trimmed();
        view_.Yield();
        outcome_.bookPath = Global::DestinationPath;
    }
}

void ConversionDriver::ExportFolder(const outlook::RDOStore& store, const QString& entry)
{
    // The entry identifier is the text before the first "#"; the folder path
    // after it only serves the reader.
    const qsizetype hash = entry.indexOf(u'#');
    const QString entryId = hash < 0 ? entry : entry.left(hash);

    std::optional<outlook::RDOFolder> folder;
    if (!attempt([&] { folder.emplace(store.GetFolderFromID(entryId)); })) {
        ++outcome_.foldersFailed;
        return;
    }
    attempt([&] { ShowFolder(folder->Name()); });

    bool contacts = false;
    if (!attempt([&] { contacts = folder->DefaultMessageClass() == ContactClass; })) {
        ++outcome_.foldersFailed;
        return;
    }
    if (!contacts)
        return;

    // The count at the start of the folder bounds the walk; positions are
    // 64-bit, so a folder of any size is walked to its end.
    std::optional<outlook::RDOItems> items;
    qint64 count = 0;
    if (!attempt([&] {
            items.emplace(folder->Items());
            count = items->Count();
        })) {
        ++outcome_.foldersFailed;
        return;
    }
    for (qint64 position = 1; position <= count; ++position) {
        ExportItem(*items, position);
        view_.Yield();
    }
}

void ConversionDriver::ExportItem(const outlook::RDOItems& items, qint64 position)
{
    std::optional<outlook::RDOItem> item;
    QString messageClass;
    if (!attempt([&] {
            item.emplace(items.Item(position));
            messageClass = item->MessageClass();
        })) {
        ++outcome_.itemsFailed;
        return;
    }
    // Only this exact class is a list; every other class, an empty one
    // included, is a contact.
    if (messageClass == ListClass)
        ExportList(items, *item, position);
    else
        ExportContact(items, *item, position);
}

void ConversionDriver::ShowFolder(const QString& name)
{
    view_.SetSaveHeader(name);
    folderShown_ = name;
}

void ConversionDriver::ShowCounts(const outlook::RDOItems& items, qint64 position)
{
    folderOfItemShown_ = folderShown_;
    attempt([&] { view_.SetFound(QString::number(items.Count())); });
    attempt([&] { view_.SetCurrent(QString::number(position) + u'/' + QString::number(items.Count())); });
}

void ConversionDriver::ExportList(const outlook::RDOItems& items, const outlook::RDOItem& list, qint64 position)
{
    // Members that cannot be read are left out of the text; a member list
    // that cannot be read at all would give a wrong group, so the list is
    // not written then.
    QString members;
    const bool haveMembers = attempt([&] { members = ReadMemberText(list); });
    attempt([&] { view_.SetProcessing(list.DLName()); });
    ShowCounts(items, position);

    bool written = false;
    const bool ran = haveMembers && attempt([&] {
        const QString name = list.DLName();
        const QString description = list.Body();
        bool saveIt = true;
        written = SaveNotesGroups(name, members, description, saveIt, view_);
    });
    if (ran && written)
        ++outcome_.groupsWritten;
    else
        ++outcome_.itemsFailed;
}

void ConversionDriver::ExportContact(const outlook::RDOItems& items, const outlook::RDOItem& contact,
                                     qint64 position)
{
    attempt([&] { view_.SetProcessing(contact.FirstName() + u' ' + contact.LastName()); });
    ShowCounts(items, position);

    // Reading the values and writing them is one step: a contact with one
    // unreadable value is not written at all.
    bool written = false;
    const bool ran = attempt([&] {
        const PersonFields fields = ReadPersonFields(contact);
        bool saveIt = true;
        written = SaveNotesContacts(fields, saveIt, view_);
    });
    if (ran && written)
        ++outcome_.personsWritten;
    else
        ++outcome_.itemsFailed;
}

void ConversionDriver::EndWriting()
{
    // The end state shows one moment: the last item beside its own folder,
    // not beside the name of a later folder that had no item to show.
    if (folderOfItemShown_ && *folderOfItemShown_ != folderShown_)
        attempt([&] { ShowFolder(*folderOfItemShown_); });
    attempt([&] { view_.ShowLatest(); });

    // The last group of documents committed and the book closed, before the
    // message says the export is done. Documents lost with a group that
    // could not be committed were counted as written: they are failures.
    const DocumentsLost lost = FinishDocumentWrites();
    outcome_.personsWritten -= lost.persons;
    outcome_.groupsWritten -= lost.groups;
    outcome_.itemsFailed += lost.total;
}

void ConversionDriver::Announce()
{
    if (!announce_)
        return;
    attempt([&] {
        dialogs_.MsgBox(owner_, CompletionMessage(outcome_), MsgButtons::Ok, CompletionIcon(outcome_),
                        QStringLiteral("Export Complete"));
    });
}
