#pragma once
// The address-book store: this program's own stand-in for a Notes client.
// Address books (.nsf) and templates (.ntf) are SQLite files of our own
// format (see docs/BOOK_FORMAT.md). Only the operations below are offered to
// the rest of the program; every failure throws NotesError.

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
    // that is not an address book of ours (the file stays untouched). Each
    // call opens the file afresh: the database object is the book open for
    // its holder alone.
    std::unique_ptr<NotesDatabase> GetDatabase(const QString& server, const QString& file);

    // The data directory that stands in for the Notes client's:
    // $XDG_DATA_HOME/pellaro (else ~/.local/share/pellaro), created on first use.
    static QString DataDirectory();
};

// A document written and then lost: its group could not be committed (a
// full disk, the book moved away), or its own part of the group failed
// (its filing, say), which takes it out again.
struct LostDocument {
    qint64 number = 0;  // NotesDocument::WrittenNumber()
    QString cause;
    bool withGroup = false;  // lost with its whole group
};

// What became of the documents written into a database since the last look.
struct WritingProgress {
    std::vector<LostDocument> lost;  // in the order they were written
    // The number of the oldest document saved and filed whose group is not
    // committed yet; 0 when there is none. Every document of a lower number
    // not told lost is in the book for good.
    qint64 oldestUncommitted = 0;
};

// One address book open for writing and reading. Documents are committed in
// groups while they are written (see docs/BOOK_FORMAT.md); a group is
// committed on a thread of the store's own while the next one fills. The
// writing ends when the last object of the book (the database and its
// documents) is released, with EndWriting(), or with FinishWriting().
class NotesDatabase {
public:
    ~NotesDatabase();
    NotesDatabase(const NotesDatabase&) = delete;
    NotesDatabase& operator=(const NotesDatabase&) = delete;

    // Creates a new database file at `path` with this database's design, a new
    // replica identity and no documents, and opens it. Never replaces an
    // existing file.
    std::unique_ptr<NotesDatabase> CreateCopy(const QString& server, const QString& path);

    // A new, unsaved document of this database.
    std::unique_ptr<NotesDocument> CreateDocument();

    // Full path of the file.
    QString FilePath() const;

    // The documents lost and the oldest not yet committed, since the last
    // call; the writing goes on. Never throws.
    WritingProgress TakeProgress();

    // Ends the writing of this book: commits its last group of documents,
    // folds the log into the book and closes the file. Afterwards the file
    // alone holds every document written to it, with nothing beside it, and
    // no handle on it is held; a later write throws. Returns what was lost
    // since the last look. Never throws.
    WritingProgress EndWriting();

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
    // committed with the group. Until the document is filed, its save and
    // its filing are one: a filing that fails takes the document out again.
    // A document never filed stays as saved.
    void Save(bool force, bool makeResponse);

    // Files the saved document in the folder `folderName`, creating the folder
    // on first use. Filing a document that is not saved throws.
    void PutInFolder(const QString& folderName);

    // The number this document was given when it was saved and filed (or let
    // go of after its save): each database numbers its documents from 1
    // upwards in that order. 0 until then. WritingProgress names lost
    // documents by it.
    qint64 WrittenNumber() const;

    struct Impl;

private:
    friend class NotesDatabase;
    explicit NotesDocument(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

// Ends the writing of every address book still open for writing (see
// NotesDatabase::EndWriting), however the program ends. Never throws.
void FinishWriting();

}  // namespace notes
