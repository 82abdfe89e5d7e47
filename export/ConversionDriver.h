#pragma once
// The export run: opens the Outlook store again, prepares the destination
// address book, walks the given contact folders and writes every distribution
// list as a Group and every other item as a Person document. It is a plain
// function of its request: the export window turns the program-wide values
// and its controls into one, the command line builds one from its arguments,
// and the tests build their own. What the run passes through is told to an
// optional progress sink; what it did comes back as the outcome.

#include "source/outlook/Outlook.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace exporting {

// How the run reaches its store. Each run has its own session: opened at the
// start, closed at the end.
class StoreAccess {
public:
    virtual ~StoreAccess() = default;
    // Opens the run's session. Throws outlook::OutlookError.
    virtual void Logon() = 0;
    // The store to export from. Throws outlook::OutlookError.
    virtual outlook::RDOStore FindStore() = 0;
    // Ends the session. Safe to call when Logon failed or never ran.
    virtual void Logoff() = 0;
};

// The store of the default profile with the entry identifier `storeId`.
class ProfileStoreAccess : public StoreAccess {
public:
    explicit ProfileStoreAccess(QString storeId);
    ~ProfileStoreAccess() override;
    void Logon() override;
    outlook::RDOStore FindStore() override;
    void Logoff() override;

private:
    QString storeId_;
    std::unique_ptr<outlook::RDOSession> session_;
};

// A data file opened directly by its path; the profile is left alone.
class FileStoreAccess : public StoreAccess {
public:
    explicit FileStoreAccess(QString path);
    void Logon() override;
    outlook::RDOStore FindStore() override;
    void Logoff() override;

private:
    QString path_;
};

// Where the documents go.
struct ExportDestination {
    enum Kind {
        NewBook,  // a new book in "Lotus Notes Address Book" inside `path`, a folder
        ExistingBook,  // the book file `path`, used as it stands
    };
    Kind kind = NewBook;
    QString path;
};

// One item the run walked.
struct ItemReport {
    QString folder;  // the folder's path ("Contacts\Friends")
    qint64 position = 0;  // from 1, in the folder's items
    QString messageClass;  // empty when the item could not be read
    QString name;  // contact: first and last name; list: its name; empty when unreadable
    bool isGroup = false;  // written (or meant to be written) as a Group document
    bool written = false;
    QString reason;  // why it was not written
};

// What the run tells while it goes; every call does nothing unless
// overridden.
class ExportProgress {
public:
    virtual ~ExportProgress() = default;
    // A new book is being made.
    virtual void BookCreationStarted() { }
    // The folder `name` has been opened.
    virtual void FolderStarted(const QString& name) { (void)name; }
    // The item at `position` of `count` is about to be written. `count` is
    // -1 when the folder's count could not be read again, `name` null when
    // the item's name could not be read.
    virtual void ItemStarted(qint64 position, qint64 count, const QString& name)
    {
        (void)position;
        (void)count;
        (void)name;
    }
    // The item's outcome, once it is final: written when its document is
    // committed to the book, failed when it could not be written or its
    // document was lost with its group. Items are told in the order walked,
    // each once, at most two groups of documents after they were written
    // (see docs/BOOK_FORMAT.md), the last of them when the run ends.
    virtual void ItemDone(const ItemReport& item) { (void)item; }
    // The run pauses here: after logging on, before the destination is used,
    // after every item.
    virtual void Yield() { }
};

struct ExportRequest {
    StoreAccess* store = nullptr;  // where the store comes from; required
    QStringList folders;  // folder references (entry identifier, "#", path); blank ones skipped
    ExportDestination destination;
    ExportProgress* progress = nullptr;  // none: nothing is told
};

// A ticked folder that could not be opened or walked.
struct FolderFailure {
    QString folder;  // its path, or the reference when it has none
    QString reason;
};

// What one run did.
struct ExportOutcome {
    enum Stop {
        Ran,  // the folders were walked
        StoreNotOpened,  // the store could not be opened; nothing was written
        BookRefused,  // the existing book is not one of ours or cannot be written
        BookFolderFailed,  // the new book's folder cannot take it
        BookDesignMissing,  // the new book's design cannot be found or copied
    };
    Stop stop = Ran;
    QString stopReason;  // the cause, for every stop but Ran

    qint64 personsWritten = 0;  // Person documents saved and filed
    qint64 groupsWritten = 0;  // Group documents saved and filed
    qint64 itemsFailed = 0;  // items that could not be read or written
    QList<ItemReport> failures;  // one for each item failed, in the order walked
    QList<FolderFailure> folderFailures;
    QString bookPath;  // the address book written to
    // New book: the folder prepared for it (ending in a separator), also
    // when the book could not be made in it.
    QString bookFolder;

    bool storeOpened() const { return stop != StoreNotOpened; }
    qint64 foldersFailed() const { return folderFailures.size(); }
    bool complete() const { return stop == Ran && itemsFailed == 0 && folderFailures.isEmpty(); }
};

// The whole run. Before it returns, the book written to is finished: its file
// alone holds every document, and no handle on it is held. Reads no
// program-wide value and shows nothing.
ExportOutcome RunExport(const ExportRequest& request);

// Why the file `path` cannot be used as an existing address book: empty when
// it can (one of our books, and it and its folder writable).
QString ExistingBookProblem(const QString& path);

}  // namespace exporting

// Callers outside export/ that have not taken the namespace yet.
#include "export/ExportMessages.h"
using exporting::ExistingBookProblem;
using exporting::ExportDestination;
using exporting::ExportOutcome;
using exporting::ExportProgress;
using exporting::ExportRequest;
using exporting::FileStoreAccess;
using exporting::FolderFailure;
using exporting::ItemReport;
using exporting::ProfileStoreAccess;
using exporting::RunExport;
using exporting::StoreAccess;
