#include "export/ConversionDriver.h"

#include "export/BookCreation.h"
#include "export/DocumentWriters.h"
#include "export/FolderCreation.h"
#include "export/ItemReading.h"
#include "export/notes/BookReader.h"
#include "export/notes/Notes.h"

#include <QFileInfo>

#include <algorithm>
#include <deque>
#include <exception>
#include <optional>
#include <stdexcept>
#include <utility>

namespace exporting {

namespace {

// One step of the run. A step that fails is dropped and the run goes on with
// the next one; the caller learns whether it ran to its end and, when not,
// why.
template <class Step> bool attempt(Step&& run, QString* reason = nullptr)
{
    try {
        std::forward<Step>(run)();
        return true;
    } catch (const std::exception& e) {
        if (reason) {
            *reason = QString::fromUtf8(e.what());
            if (reason->isEmpty())
                *reason = QStringLiteral("failed without a reason");
        }
        return false;
    }
}

const QString ContactClass = QStringLiteral("IPM.Contact");
const QString ListClass = QStringLiteral("IPM.DistList");

// The path part of a folder reference: the text after the first "#".
QString folderPathOf(const QString& reference)
{
    const qsizetype hash = reference.indexOf(u'#');
    return hash < 0 ? QString() : reference.mid(hash + 1);
}

// Runs one export.
class Run {
public:
    explicit Run(const ExportRequest& request)
        : request_(request)
        , progress_(request.progress ? *request.progress : silent_)
        , store_(*request.store)
    {
    }

    ExportOutcome run();

private:
    bool PrepareExistingBook();
    bool OpenStore();
    bool PrepareNewBook();
    void ExportFolder(const QString& reference);
    void ExportItem(const QString& folderPath, const outlook::RDOItems& items, qint64 position);
    void ExportList(ItemReport& report, const outlook::RDOItems& items, const outlook::RDOItem& list);
    void ExportContact(ItemReport& report, const outlook::RDOItems& items, const outlook::RDOItem& contact);
    void Started(const ItemReport& report, const outlook::RDOItems& items);
    void Done(const ItemReport& report, qint64 document = 0);
    void Settle(DocumentsSettled settled);
    void Tell(const ItemReport& report);
    void EndWriting();

    const ExportRequest& request_;
    ExportProgress silent_;
    ExportProgress& progress_;
    StoreAccess& store_;
    std::optional<outlook::RDOStore> opened_;
    // The destination, open from its preparation to the end of the run.
    std::unique_ptr<BookWriter> book_;
    ExportOutcome outcome_;
    // Items done and not told yet, in the order walked: a document written
    // counts as written only once its group is committed, and is a failure
    // when its group is lost. `document` is the document's number, 0 for an
    // item that wrote none.
    struct Unsettled {
        ItemReport report;
        qint64 document;
    };
    std::deque<Unsettled> unsettled_;
};

ExportOutcome Run::run()
{
    // An existing book that is not one of ours is refused before anything
    // is read.
    if (request_.destination.kind == ExportDestination::ExistingBook && !PrepareExistingBook())
        return outcome_;

    if (!OpenStore()) {
        // Nothing has been written.
        attempt([&] { store_.Logoff(); });
        EndWriting();
        return outcome_;
    }
    if (request_.destination.kind == ExportDestination::NewBook) {
        if (!PrepareNewBook()) {
            opened_.reset();
            attempt([&] { store_.Logoff(); });
            return outcome_;
        }
    } else {
        progress_.Yield();
    }

    // From here on a failing step is recorded and the run goes on.
    for (const QString& reference : request_.folders) {
        if (reference.trimmed().isEmpty())
            continue;
        ExportFolder(reference);
    }

    opened_.reset();
    attempt([&] { store_.Logoff(); });
    EndWriting();
    return outcome_;
}

bool Run::PrepareExistingBook()
{
    const QString& book = request_.destination.path;
    outcome_.bookPath = book;
    QString problem = ExistingBookProblem(book);
    if (problem.isEmpty()) {
        try {
            book_ = std::make_unique<BookWriter>(book);
            return true;
        } catch (const notes::NotesError& e) {
            problem = QString::fromUtf8(e.what());
        }
    }
    outcome_.stop = ExportOutcome::BookRefused;
    outcome_.stopReason = problem;
    return false;
}

bool Run::OpenStore()
{
    QString reason;
    const bool opened = attempt(
        [&] {
            store_.Logon();
            progress_.Yield();
            opened_.emplace(store_.FindStore());
        },
        &reason);
    if (!opened) {
        outcome_.stop = ExportOutcome::StoreNotOpened;
        outcome_.stopReason = reason;
    }
    return opened;
}

bool Run::PrepareNewBook()
{
    const QString folder = NewBookFolder(request_.destination.path);
    outcome_.bookFolder = folder;
    const QString problem = MakeFolderPath(folder);
    if (!problem.isEmpty()) {
        outcome_.stop = ExportOutcome::BookFolderFailed;
        outcome_.stopReason = problem;
        return false;
    }
    progress_.Yield();
    progress_.BookCreationStarted();
    try {
        NewBook made = CreateNewBook(folder, [&] { progress_.Yield(); });
        outcome_.bookPath = made.path;
        book_ = std::make_unique<BookWriter>(std::move(made.book));
        return true;
    } catch (const BookCreationError& e) {
        outcome_.stop = e.kind() == BookCreationError::Folder ? ExportOutcome::BookFolderFailed
                                                              : ExportOutcome::BookDesignMissing;
        outcome_.stopReason = QString::fromUtf8(e.what());
        return false;
    }
}

void Run::ExportFolder(const QString& reference)
{
    // The entry identifier is the text before the first "#"; the folder path
    // after it names the folder in the outcome.
    const qsizetype hash = reference.indexOf(u'#');
    const QString entryId = hash < 0 ? reference : reference.left(hash);
    QString folderPath = folderPathOf(reference);
    auto failed = [&](const QString& reason) {
        outcome_.folderFailures.append({folderPath.isEmpty() ? reference : folderPath, reason});
    };

    QString reason;
    std::optional<outlook::RDOFolder> folder;
    if (!attempt([&] { folder.emplace(opened_->GetFolderFromID(entryId)); }, &reason))
        return failed(reason);
    QString name;
    if (attempt([&] { name = folder->Name(); })) {
        progress_.FolderStarted(name);
        if (folderPath.isEmpty())
            folderPath = name;
    }

    bool contacts = false;
    if (!attempt([&] { contacts = folder->DefaultMessageClass() == ContactClass; }, &reason))
        return failed(reason);
    if (!contacts)
        return;

    // The count at the start of the folder bounds the walk; positions are
    // 64-bit, so a folder of any size is walked to its end.
    std::optional<outlook::RDOItems> items;
    qint64 count = 0;
    if (!attempt(
            [&] {
                items.emplace(folder->Items());
                count = items->Count();
            },
            &reason))
        return failed(reason);
    for (qint64 position = 1; position <= count; ++position) {
        ExportItem(folderPath, *items, position);
        progress_.Yield();
    }
}

void Run::ExportItem(const QString& folderPath, const outlook::RDOItems& items, qint64 position)
{
    ItemReport report;
    report.folder = folderPath;
    report.position = position;
    std::optional<outlook::RDOItem> item;
    if (!attempt(
            [&] {
                item.emplace(items.Item(position));
                report.messageClass = item->MessageClass();
            },
            &report.reason)) {
        Done(report);
        return;
    }
    // Only this exact class is a list; every other class, an empty one
    // included, is a contact.
    if (report.messageClass == ListClass)
        ExportList(report, items, *item);
    else
        ExportContact(report, items, *item);
}

void Run::Started(const ItemReport& report, const outlook::RDOItems& items)
{
    qint64 count = -1;
    attempt([&] { count = items.Count(); });
    progress_.ItemStarted(report.position, count, report.name);
}

void Run::ExportList(ItemReport& report, const outlook::RDOItems& items, const outlook::RDOItem& list)
{
    report.isGroup = true;
    // Members that cannot be read are left out of the text; a member list
    // that cannot be read at all would give a wrong group, so the list is
    // not written then.
    QString members;
    QString membersProblem;
    const bool haveMembers = attempt([&] { members = ReadMemberText(list); }, &membersProblem);
    QString name;
    const bool haveName = attempt([&] { name = list.DLName(); }, &report.reason);
    if (haveName)
        report.name = name.isNull() ? QStringLiteral("") : name;
    Started(report, items);

    if (!haveMembers) {
        report.reason = membersProblem;
    } else if (haveName) {
        QString description;
        if (attempt([&] { description = list.Body(); }, &report.reason)) {
            const DocumentWritten w = book_->WriteGroup(name, members, description);
            report.written = w.written;
            report.reason = w.reason;
            return Done(report, w.number);
        }
    }
    Done(report);
}

void Run::ExportContact(ItemReport& report, const outlook::RDOItems& items, const outlook::RDOItem& contact)
{
    // Reading the values and writing them is one step: a contact with one
    // unreadable value is not written at all. Its name is read apart then.
    PersonFields fields;
    const bool read = attempt([&] { fields = ReadPersonFields(contact); }, &report.reason);
    if (read)
        report.name = fields.elotus_FirstName + u' ' + fields.elotus_LastName;
    else
        attempt([&] { report.name = contact.FirstName() + u' ' + contact.LastName(); });
    Started(report, items);

    if (read) {
        const DocumentWritten w = book_->WritePerson(std::move(fields));
        report.written = w.written;
        report.reason = w.reason;
        return Done(report, w.number);
    }
    Done(report);
}

void Run::Done(const ItemReport& report, qint64 document)
{
    unsettled_.push_back({report, report.written ? document : 0});
    Settle(book_->TakeSettled());
}

// Marks the documents lost as failed, then tells every item at the front of
// the walk whose outcome is final.
void Run::Settle(DocumentsSettled settled)
{
    for (const DocumentsSettled::Lost& lost : settled.lost) {
        // The items wait in the order their documents were numbered.
        const auto it = std::find_if(unsettled_.begin(), unsettled_.end(),
                                     [&](const Unsettled& u) { return u.document == lost.number; });
        if (it == unsettled_.end())
            continue;
        it->document = 0;
        it->report.written = false;
        it->report.reason = lost.reason;
    }
    const qint64 oldest = settled.oldestUncommitted;
    while (!unsettled_.empty()) {
        const Unsettled& front = unsettled_.front();
        if (front.document != 0 && oldest != 0 && front.document >= oldest)
            break;
        Tell(front.report);
        unsettled_.pop_front();
    }
}

void Run::Tell(const ItemReport& report)
{
    if (report.written) {
        ++(report.isGroup ? outcome_.groupsWritten : outcome_.personsWritten);
    } else {
        ++outcome_.itemsFailed;
        outcome_.failures.append(report);
    }
    progress_.ItemDone(report);
}

void Run::EndWriting()
{
    // The last group of documents committed and the book closed before the
    // run returns; then every item is told, the documents lost with a group
    // that could not be committed as failures.
    if (book_)
        Settle(book_->Finish());
    book_.reset();
}

}  // namespace

// ------------------------------------------------------------- store access

ProfileStoreAccess::ProfileStoreAccess(QString storeId)
    : storeId_(std::move(storeId))
{
}

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
    return session_->GetStoreFromID(storeId_);
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

void FileStoreAccess::Logoff() { }

// ----------------------------------------------------------------------- run

ExportOutcome RunExport(const ExportRequest& request)
{
    if (!request.store)
        throw std::invalid_argument("an export needs a store");
    return Run(request).run();
}

QString ExistingBookProblem(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("no such address book");
    try {
        notes::BookReader reader(path);
    } catch (const notes::NotesError& e) {
        return QStringLiteral("not an address book (%1)").arg(QString::fromUtf8(e.what()));
    }
    // The book keeps a log beside itself while it is written.
    if (!info.isWritable() || !QFileInfo(info.absolutePath()).isWritable())
        return QStringLiteral("the address book cannot be written (no permission to change it or its folder)");
    return QString();
}

}  // namespace exporting
