#pragma once
// An SQLite connection to a file of ours: recognising our files, opening and
// creating them, and how they are written (see docs/BOOK_FORMAT.md).

#include "export/notes/ItemList.h"
#include "export/notes/Statement.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>

struct sqlite3;

namespace notes::store {

// Our mark in the SQLite header (bytes 68..71): "PnAB", Pellaro Notes
// Address Book.
inline constexpr std::uint32_t ApplicationId = 0x506E4142u;
// Layout version in the header (bytes 60..63). Files with another version are
// refused.
inline constexpr int SchemaVersion = 1;

// The "kind" entry of the book table.
inline constexpr std::string_view KindBook = "book";
inline constexpr std::string_view KindTemplate = "template";

// Note classes.
inline constexpr std::string_view ClassDocument = "document";
inline constexpr std::string_view ClassForm = "form";
inline constexpr std::string_view ClassView = "view";

// Identity of a file on disk. While we hold a file open its inode cannot be
// reused, so an equal identity means the very same file.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `path`; throws NotesError when there is none.
FileIdentity identityOf(const QString& path);
// The same, or none when nothing is at `path`: whether a file is still the
// one it was is asked by comparing this with its identity.
std::optional<FileIdentity> identityAt(const QString& path);

// Reads the first 100 bytes of `path` with a plain read-only open and checks
// that they are the header of an address book or template of ours. Anything
// but a regular file (or a link to one) is refused before it is opened, so a
// named pipe or a device never blocks us. Throws NotesError otherwise; nothing
// is ever written. Returns the identity of the file that was read; `walMode`,
// when given, tells whether the header marks the file as written through a
// write-ahead log.
FileIdentity checkHeader(const QString& path, bool* walMode = nullptr);

// One open SQLite connection to a file of ours, with a cache of prepared
// statements.
class Connection {
public:
    enum class Mode { ReadOnly, ReadWrite };

    // Opens an existing file of ours. The header is checked before SQLite
    // sees the file, and the layout (tables and their columns) after;
    // anything else throws NotesError and the file stays untouched. Never
    // creates a file. ReadOnly leaves nothing beside the file and works on a
    // read-only file system.
    static std::unique_ptr<Connection> openExisting(const QString& path, Mode mode);

    // Starts an empty file of ours of the given kind that will be `path`,
    // inside an open transaction the caller finishes with commitNew(). The
    // file is built under a temporary name in the same folder; `path` itself
    // is not touched until commitNew(). Throws NotesFileError when the file
    // cannot be made; nothing is left behind then.
    static std::unique_ptr<Connection> createNew(const QString& path, std::string_view kind);
    // Commits the transaction of createNew() and gives the complete file its
    // name, exclusively: when anything exists under that name already, throws
    // NotesFileError with EEXIST and the new file is removed again.
    void commitNew();

    // How documents are written, from the first write of a book to the end
    // of its writing. A book this connection made (createNew) holds nothing
    // but what this program writes into it: it is written with the rollback
    // journal and without waiting for the disk at each commit, and synced
    // once when the writing ends. Any other book is written through the
    // write-ahead log, which survives a power failure, and at the end the
    // log is folded into the file and removed. Either way a book at rest is
    // one file. Both are best effort: writing works in any mode.
    void beginWriting();
    void endWriting();

    // Whether this connection made the file (createNew, then commitNew).
    bool madeHere() const { return madeHere_; }

    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    sqlite3* handle() const { return db_; }
    const QString& path() const { return path_; }
    const FileIdentity& identity() const { return identity_; }

    // A prepared statement for `sql`, kept for the life of the connection.
    // `sql` must be a string literal.
    Statement& statement(std::string_view sql);
    void exec(const char* sql);

    // SQLite's counter of changes committed by other connections.
    qint64 dataVersion();

    QString bookValue(std::string_view key);
    void setBookValue(std::string_view key, const QString& value);

    // A fresh universal id (32 hex digits) or replica id (16 hex digits).
    static QString newUnid();
    static QString newReplicaId();

    // Inserts a note with its items in order; returns its note id. Must run
    // inside a transaction. `time` (ms since 1970) is when it was written,
    // 0 for now.
    // `time` (0: now) is the note's creation time, and the time of its last
    // change unless `modified` is later.
    qint64 insertNote(std::string_view noteClass, const QString& unid, const ItemList& items, qint64 time = 0,
                      qint64 modified = 0);
    void replaceItems(qint64 noteId, const ItemList& items, qint64 time = 0);

private:
    Connection(sqlite3* db, QString path, FileIdentity identity);
    void verifyLayout();
    QByteArray journalMode(const char* pragma);

    sqlite3* db_;
    QString path_;
    FileIdentity identity_;
    bool createdByUs_ = false;  // a temporary file of createNew(), removed unless published
    QString finalPath_;  // the name createNew() publishes the file under
    bool madeHere_ = false;  // published by commitNew()
    bool logging_ = false;  // in write-ahead log mode
    bool unsynced_ = false;  // written without syncing since beginWriting()
    std::unordered_map<std::string_view, std::unique_ptr<Statement>> statements_;
    QByteArray itemBuffer_;  // the stored form of the note written last
    void keepItemBufferSmall();
};

}  // namespace notes::store
