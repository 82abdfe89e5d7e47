#pragma once
// The address-book store: this program's own stand-in for a Notes client.
// Address books (.nsf) and templates (.ntf) are SQLite files of our own
// format (see docs/BOOK_FORMAT.md). Only the operations below are offered to
// the rest of the program; every failure throws NotesError.

#include <QHash>
#include <QString>

#include <memory>
#include <stdexcept>
#include <vector>

namespace notes {

class NotesError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that could not be created or written for a reason of the file
// system (the name is taken, the folder is missing, the disk is full, no
// permission), as opposed to a store or design that cannot be used.
class NotesFileError : public NotesError {
public:
    NotesFileError(const std::string& what, int error)
        : NotesError(what)
        , error_(error)
    {
    }
    // The errno value of the cause, 0 when the cause was not a system call.
    int error() const { return error_; }

private:
    int error_;
};

class NotesDatabase;
class NotesDocument;

// The session object. Cheap to create: each caller makes its own per call.
class NotesSession {
public:
    NotesSession();
    ~NotesSession();
    NotesSession(const NotesSession&) = delete;
    NotesSession& operator=(const NotesSession&) = delete;

    // The client setting `name` from notes.ini in the data directory.
    // `system` true reads it without a prefix. Empty text when the setting or
    // the file is absent.
    QString GETENVIRONMENTSTRING(const QString& name, bool system);

    // Opens the address book or template `file` on `server` ("" = local).
    // A bare file name resolves in the data directory first, then among the
    // templates installed with the program. Throws for a missing file or one
    // that is not an address book of ours (the file stays untouched).
    std::unique_ptr<NotesDatabase> GetDatabase(const QString& server, const QString& file);

    // The data directory that stands in for the Notes client's:
    // $XDG_DATA_HOME/pellaro (else ~/.local/share/pellaro), created on first use.
    static QString DataDirectory();
};

class NotesDatabase {
public:
    ~NotesDatabase();
    NotesDatabase(const NotesDatabase&) = delete;
    NotesDatabase& operator=(const NotesDatabase&) = delete;

    // Creates a new database file at `path` with this database's design, a new
    // replica identity and no documents. Never replaces an existing file.
    std::unique_ptr<NotesDatabase> CreateCopy(const QString& server, const QString& path);

    // A new, unsaved document of this database.
    std::unique_ptr<NotesDocument> CreateDocument();

    // Full path of the file.
    QString FilePath() const;

    struct Impl;

private:
    friend class NotesSession;
    friend class NotesDocument;
    explicit NotesDatabase(std::shared_ptr<Impl> impl);
    std::shared_ptr<Impl> d;
};

class NotesDocument {
public:
    ~NotesDocument();
    NotesDocument(const NotesDocument&) = delete;
    NotesDocument& operator=(const NotesDocument&) = delete;

    // Item assignment by name: the document then holds a text item of exactly
    // that name and value, replacing an item of the same name in place.
    void ReplaceItemValue(const QString& name, QString value);

    // Writes the document into the book's open group of documents, which is
    // committed with the group (see FinishWriting). Until the document is
    // filed, its save and its filing are one: a filing that fails takes the
    // document out again. A document never filed stays as saved.
    void Save(bool force, bool makeResponse);

    // Files the saved document in the folder `folderName`, creating the folder
    // on first use. Filing a document that is not saved throws.
    void PutInFolder(const QString& folderName);

    // The number this document was given when it was saved and filed (or let
    // go of after its save): the program numbers documents from 1 upwards in
    // that order, over every book. 0 until then. LostDocuments names lost
    // documents by it.
    qint64 WrittenNumber() const;

    struct Impl;

private:
    friend class NotesDatabase;
    explicit NotesDocument(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

// Documents that were saved and filed, and then lost because the group they
// were written in could not be committed (the disk full, say). Counted by
// the value of their "Form" item, and named by their numbers.
struct LostDocuments {
    qint64 total = 0;
    QHash<QString, qint64> byForm;
    std::vector<qint64> numbers;  // NotesDocument::WrittenNumber() of each
    QString cause;  // why the first group among them was lost
};

// Ends the writing of every address book this program has open: commits its
// last group of documents, folds the log into the book and closes the file.
// Afterwards each book's file alone holds every document written to it, with
// nothing beside it, and no handle on it is held; a later write opens the
// book again. Returns the documents lost since the last call. Never throws.
//
// Documents are committed in groups while they are written (see
// docs/BOOK_FORMAT.md); this is the end of the last group. The program calls
// it when an export run ends and on every way the program ends.
LostDocuments FinishWriting();

// The documents lost since the last call of this or of FinishWriting(); the
// writing goes on. A group is lost when it is committed (or found unable to
// be): with it, documents written up to a group's size earlier.
LostDocuments TakeLostDocuments();

// The number of the oldest document saved and filed and not yet committed
// (nor lost); 0 when there is none. Every document of a lower number is in
// its book for good, or was told lost.
qint64 OldestUncommittedDocument();

}  // namespace notes
