#include "export/notes/Connection.h"

#include "export/notes/NoteIds.h"
#include "export/notes/Notes.h"

#include <QDateTime>
#include <QFile>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace notes::store {

namespace {

constexpr char SqliteMagic[16] = {'S', 'Q', 'L', 'i', 't', 'e', ' ', 'f', 'o', 'r', 'm', 'a', 't', ' ', '3', '\0'};

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

std::uint32_t bigEndian32(const unsigned char* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | std::uint32_t(p[3]);
}

// Closes a file descriptor on every way out.
struct Fd {
    int fd;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

const char* const SchemaSql = R"sql(
CREATE TABLE book (
    key   TEXT PRIMARY KEY,
    value TEXT NOT NULL
) WITHOUT ROWID;
CREATE TABLE notes (
    note_id  INTEGER PRIMARY KEY,
    unid     TEXT NOT NULL UNIQUE,
    class    TEXT NOT NULL,
    created  INTEGER NOT NULL,
    modified INTEGER NOT NULL,
    items    BLOB NOT NULL
);
CREATE TABLE folders (
    folder_id INTEGER PRIMARY KEY,
    name      TEXT NOT NULL UNIQUE
);
CREATE TABLE folder_entries (
    note_id   INTEGER NOT NULL REFERENCES notes(note_id),
    folder_id INTEGER NOT NULL REFERENCES folders(folder_id),
    PRIMARY KEY (note_id, folder_id)
) WITHOUT ROWID;
)sql";

}  // namespace

FileIdentity identityOf(const QString& path)
{
    struct stat st;
    if (::stat(nativePath(path).constData(), &st) != 0)
        throw NotesError((path + QStringLiteral(": ") + systemError(errno)).toStdString(), CauseOfErrno(errno));
    return {st.st_dev, st.st_ino};
}

std::optional<FileIdentity> identityAt(const QString& path)
{
    struct stat st;
    if (::stat(nativePath(path).constData(), &st) != 0)
        return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

FileIdentity checkHeader(const QString& path, bool* walMode)
{
    if (path.isEmpty())
        throw NotesError("no database file named", Cause::NotFound);
    const QByteArray native = nativePath(path);
    // Looked at before opening: opening a named pipe would wait for a writer.
    struct stat st;
    if (::stat(native.constData(), &st) != 0)
        throw NotesError((path + QStringLiteral(": ") + systemError(errno)).toStdString(), CauseOfErrno(errno));
    if (!S_ISREG(st.st_mode))
        throw NotesError((path + QStringLiteral(": not a file")).toStdString(), Cause::NotADataFile);
    // O_NONBLOCK: should the name be swapped for a pipe meanwhile, the open
    // does not wait either, and the check below refuses it.
    Fd f{::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    if (f.fd < 0)
        throw NotesError((path + QStringLiteral(": ") + systemError(errno)).toStdString(), CauseOfErrno(errno));
    if (::fstat(f.fd, &st) != 0)
        throw NotesError((path + QStringLiteral(": ") + systemError(errno)).toStdString(), CauseOfErrno(errno));
    if (!S_ISREG(st.st_mode))
        throw NotesError((path + QStringLiteral(": not a file")).toStdString(), Cause::NotADataFile);

    unsigned char header[100];
    std::size_t got = 0;
    while (got < sizeof header) {
        const ssize_t n = ::read(f.fd, header + got, sizeof header - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw NotesError((path + QStringLiteral(": ") + systemError(errno)).toStdString(), CauseOfErrno(errno));
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    const QString notOurs = path + QStringLiteral(": not an address book");
    if (got < sizeof header || std::memcmp(header, SqliteMagic, sizeof SqliteMagic) != 0
        || bigEndian32(header + 68) != ApplicationId)
        throw NotesError(notOurs.toStdString(), Cause::NotADataFile);
    const std::uint32_t version = bigEndian32(header + 60);
    if (version != std::uint32_t(SchemaVersion))
        throw NotesError(
            (path + QStringLiteral(": address book of an unknown layout version %1").arg(version)).toStdString(),
            Cause::FormatNotRead);
    // Bytes 18 and 19: 2 for a file in write-ahead-log mode.
    if (walMode)
        *walMode = header[18] == 2 || header[19] == 2;
    return {st.st_dev, st.st_ino};
}

// --------------------------------------------------------------- Connection

Connection::Connection(sqlite3* db, QString path, FileIdentity identity)
    : db_(db)
    , path_(std::move(path))
    , identity_(identity)
{
}

Connection::~Connection()
{
    statements_.clear();
    sqlite3_close_v2(db_);
    if (createdByUs_) {
        // createNew() did not get as far as publishing its file: remove the
        // half-made file, but only if it is still the one we created.
        if (identityAt(path_) == identity_)
            ::unlink(nativePath(path_).constData());
    }
}

namespace {

// How a book is written: the log synced only when it is copied into the book;
// and copied no sooner than at 256 MB (65,536 pages), so that an export of
// ordinary size copies it once, when the writing ends, and waits for the
// disk only then.
const char* const WritingPragmas = "PRAGMA synchronous=NORMAL; PRAGMA wal_autocheckpoint=65536";

// A path as an SQLite URI ("file:" and the path, percent-encoded).
QByteArray fileUri(const QByteArray& native)
{
    QByteArray uri("file:");
    for (const char c : native) {
        const unsigned char u = static_cast<unsigned char>(c);
        if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '/' || u == '-'
            || u == '.' || u == '_' || u == '~')
            uri.append(c);
        else
            uri.append('%').append(QByteArray::number(u, 16).rightJustified(2, '0'));
    }
    return uri;
}

// The columns of each table of the layout, in order, with their declared
// types. A file that has our mark and our table names but other columns is
// not one of our books.
struct LayoutTable {
    const char* name;
    std::vector<std::pair<const char*, const char*>> columns;
};

const std::vector<LayoutTable>& layoutTables()
{
    static const std::vector<LayoutTable> tables = {
        {"book", {{"key", "TEXT"}, {"value", "TEXT"}}},
        {"notes",
         {{"note_id", "INTEGER"},
          {"unid", "TEXT"},
          {"class", "TEXT"},
          {"created", "INTEGER"},
          {"modified", "INTEGER"},
          {"items", "BLOB"}}},
        {"folders", {{"folder_id", "INTEGER"}, {"name", "TEXT"}}},
        {"folder_entries", {{"note_id", "INTEGER"}, {"folder_id", "INTEGER"}}},
    };
    return tables;
}

}  // namespace

std::unique_ptr<Connection> Connection::openExisting(const QString& path, Mode mode)
{
    bool walMode = false;
    const FileIdentity before = checkHeader(path, &walMode);
    const QByteArray native = nativePath(path);
    sqlite3* db = nullptr;
    int rc;
    if (mode == Mode::ReadOnly) {
        // Reading must leave nothing beside the book and work where nothing
        // can be written. A book at rest is in rollback mode, which a
        // read-only connection reads without any side file. A book marked
        // for the log with no log beside it holds everything in the file
        // (it was written by an older version, or its writer could not
        // switch back): opened as immutable, SQLite makes no log or
        // shared-memory file for it. With a log present, the log is read.
        struct stat st;
        const bool logPresent = ::stat((native + "-wal").constData(), &st) == 0;
        // A rollback journal left beside the book by a writer that was
        // killed in the middle of a group, or a log whose index such a
        // writer left half written: a read-only connection can neither roll
        // the one back nor rebuild the other's index, so a short read-write
        // one does (and removes the journal). Where that fails, the
        // read-only open below says why.
        if ((::stat((native + "-journal").constData(), &st) == 0 && st.st_size > 0) || logPresent) {
            sqlite3* repair = nullptr;
            if (sqlite3_open_v2(native.constData(), &repair, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr)
                == SQLITE_OK) {
                sqlite3_busy_timeout(repair, 5000);
                sqlite3_exec(repair, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
            }
            sqlite3_close_v2(repair);
        }
        if (walMode && !logPresent)
            rc = sqlite3_open_v2((fileUri(native) + "?immutable=1").constData(), &db,
                                 SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
        else
            rc = sqlite3_open_v2(native.constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    } else {
        rc = sqlite3_open_v2(native.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    }
    std::unique_ptr<Connection> c(new Connection(db, path, before));
    if (rc != SQLITE_OK)
        fail(db, path);
    // The file we checked must be the file SQLite opened.
    if (identityOf(path) != before)
        throw NotesError((path + QStringLiteral(": changed while being opened")).toStdString(), Cause::Io);
    sqlite3_busy_timeout(db, 5000);
    c->verifyLayout();
    if (mode == Mode::ReadWrite)
        c->exec(WritingPragmas);
    return c;
}

void Connection::verifyLayout()
{
    Statement app(db_, "PRAGMA application_id");
    if (!app.step() || std::uint32_t(app.columnInt(0)) != ApplicationId)
        throw NotesError((path_ + QStringLiteral(": not an address book")).toStdString(), Cause::NotADataFile);
    Statement version(db_, "PRAGMA user_version");
    if (!version.step() || version.columnInt(0) != SchemaVersion)
        throw NotesError((path_ + QStringLiteral(": address book of an unknown layout version")).toStdString(),
                         Cause::FormatNotRead);
    Statement columns(db_, "SELECT name, upper(type) FROM pragma_table_info(?1) ORDER BY cid");
    for (const LayoutTable& table : layoutTables()) {
        columns.bind(1, std::string_view(table.name));
        std::size_t n = 0;
        bool same = true;
        while (columns.step()) {
            same = same && n < table.columns.size() && columns.columnText(0) == QLatin1String(table.columns[n].first)
                && columns.columnText(1) == QLatin1String(table.columns[n].second);
            ++n;
        }
        columns.reset();
        if (n == 0)
            throw NotesError((path_ + QStringLiteral(": damaged address book (tables missing)")).toStdString(),
                             Cause::Damaged);
        if (!same || n != table.columns.size())
            throw NotesError(
                (path_
                 + QStringLiteral(": not an address book (table %1 has other columns)").arg(QLatin1String(table.name)))
                    .toStdString(),
                Cause::NotADataFile);
    }
}

namespace {

[[noreturn]] void failFile(const QString& path, int err)
{
    if (err == EEXIST)
        throw NotesFileError((path + QStringLiteral(": a file of that name already exists")).toStdString(), err);
    throw NotesFileError((path + QStringLiteral(": ") + systemError(err)).toStdString(), err);
}

void syncFolderOf(const QByteArray& native)
{
    // Best effort: makes the new name durable.
    const qsizetype slash = native.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : native.left(slash);
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace

std::unique_ptr<Connection> Connection::createNew(const QString& path, std::string_view kind)
{
    if (path.isEmpty())
        throw NotesError("no database file named", Cause::NotFound);
    const QByteArray native = nativePath(path);
    // Built under a hidden temporary name in the same folder and given its
    // name only when complete: an interrupted creation never leaves a
    // half-made file under the name.
    const qsizetype slash = native.lastIndexOf('/');
    QByteArray temporary = native.left(slash + 1) + '.' + native.mid(slash + 1) + ".new-XXXXXX";
    FileIdentity identity;
    {
        Fd f{::mkostemp(temporary.data(), O_CLOEXEC)};
        if (f.fd < 0)
            failFile(path, errno);
        struct stat st;
        if (::fstat(f.fd, &st) != 0)
            failFile(path, errno);
        identity = {st.st_dev, st.st_ino};
        // mkostemp makes the file for its owner only; a book gets the usual
        // permissions.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(f.fd, 0666 & ~mask);
    }
    const QString temporaryPath = QFile::decodeName(temporary);
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(temporary.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<Connection> c(new Connection(db, temporaryPath, identity));
    c->createdByUs_ = true;
    c->finalPath_ = path;
    try {
        if (rc != SQLITE_OK)
            fail(db, path);
        if (identityOf(temporaryPath) != identity)
            throw NotesError((path + QStringLiteral(": changed while being created")).toStdString(), Cause::Io);
        // The file is thrown away whole when anything fails, so it needs no
        // journal on disk. Pages of 16 KB: a document of 40 items takes
        // about 1 KB, and larger pages mean a quarter of the writes to the
        // log and to the book.
        c->exec("PRAGMA journal_mode=MEMORY; PRAGMA page_size=16384");
        c->exec("BEGIN IMMEDIATE");
        c->exec(QStringLiteral("PRAGMA application_id=%1").arg(qint64(ApplicationId)).toUtf8().constData());
        c->exec(QStringLiteral("PRAGMA user_version=%1").arg(SchemaVersion).toUtf8().constData());
        c->exec(SchemaSql);
        c->setBookValue("kind", QString::fromLatin1(kind.data(), qsizetype(kind.size())));
        c->setBookValue("replica_id", newReplicaId());
        c->setBookValue("created", QString::number(QDateTime::currentMSecsSinceEpoch()));
    } catch (const NotesFileError&) {
        throw;
    } catch (const NotesError& e) {
        throw NotesFileError(e.what(), 0, e.cause());
    }
    return c;
}

void Connection::commitNew()
{
    const QByteArray temporary = nativePath(path_);
    const QByteArray target = nativePath(finalPath_);
    try {
        exec("COMMIT");
    } catch (const NotesError& e) {
        throw NotesFileError(e.what(), 0, e.cause());
    }
    statements_.clear();
    sqlite3_close_v2(db_);
    db_ = nullptr;
    {
        // Written out before it gets its name, so the name never stands for
        // less than the whole file.
        Fd f{::open(temporary.constData(), O_RDONLY | O_CLOEXEC)};
        if (f.fd < 0 || ::fsync(f.fd) != 0)
            failFile(finalPath_, errno);
    }
    // Exclusive: a file that appeared under the name meanwhile is kept.
    if (::renameat2(AT_FDCWD, temporary.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) != 0) {
        const int err = errno;
        if (err != EINVAL && err != ENOSYS)
            failFile(finalPath_, err);
        // A file system without exclusive rename: a hard link fails just as
        // surely when the name is taken.
        if (::link(temporary.constData(), target.constData()) != 0)
            failFile(finalPath_, errno);
        ::unlink(temporary.constData());
    }
    createdByUs_ = false;
    madeHere_ = true;
    path_ = finalPath_;
    syncFolderOf(target);

    const int rc = sqlite3_open_v2(target.constData(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK)
        fail(db_, path_);
    if (identityOf(path_) != identity_)
        throw NotesError((path_ + QStringLiteral(": changed while being created")).toStdString(), Cause::Io);
    sqlite3_busy_timeout(db_, 5000);
    exec(WritingPragmas);
}

QByteArray Connection::journalMode(const char* pragma)
{
    // The pragma answers with the mode in force afterwards; on failure, none.
    sqlite3_stmt* stmt = nullptr;
    QByteArray mode;
    if (sqlite3_prepare_v2(db_, pragma, -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
        mode = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))).toLower();
    sqlite3_finalize(stmt);
    return mode;
}

void Connection::beginWriting()
{
    if (madeHere_) {
        // Only this program writes into a book it made, and a kill loses
        // nothing the rollback journal does not bring back; what the disk
        // has not seen yet is synced in endWriting().
        if (!unsynced_) {
            exec("PRAGMA synchronous=OFF");
            unsynced_ = true;
        }
        return;
    }
    if (logging_)
        return;
    // Fails (and writing goes on in rollback mode) when another program has
    // the book open at the moment.
    logging_ = journalMode("PRAGMA journal_mode=WAL") == "wal";
}

void Connection::endWriting()
{
    if (!sqlite3_get_autocommit(db_))
        return;
    if (unsynced_) {
        // The book is on the disk before the writing is reported finished:
        // the very file SQLite has open, wherever it is now.
        sqlite3_file* file = nullptr;
        if (sqlite3_file_control(db_, "main", SQLITE_FCNTL_FILE_POINTER, &file) == SQLITE_OK && file && file->pMethods)
            file->pMethods->xSync(file, SQLITE_SYNC_NORMAL);
        sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        unsynced_ = false;
    }
    if (!logging_)
        return;
    // The log copied into the book and emptied, then the book back in
    // rollback mode, which removes the log. When another connection has the
    // book open the switch fails; the last one to close removes the log.
    sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    if (journalMode("PRAGMA journal_mode=DELETE") == "delete")
        logging_ = false;
}

Statement& Connection::statement(std::string_view sql)
{
    auto it = statements_.find(sql);
    if (it == statements_.end())
        it = statements_.emplace(sql, std::make_unique<Statement>(db_, sql)).first;
    return *it->second;
}

void Connection::exec(const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        const QString message = QString::fromUtf8(error ? error : sqlite3_errmsg(db_));
        sqlite3_free(error);
        throw NotesError((path_ + QStringLiteral(": ") + message).toStdString(), CauseOfSqlite(sqlite3_errcode(db_)));
    }
}

qint64 Connection::dataVersion()
{
    Statement& s = statement("PRAGMA data_version");
    if (!s.step())
        throw NotesError("data_version gave no result");
    const qint64 v = s.columnInt(0);
    s.reset();
    return v;
}

QString Connection::bookValue(std::string_view key)
{
    Statement& s = statement("SELECT value FROM book WHERE key=?1");
    s.bind(1, key);
    QString value;
    if (s.step())
        value = s.columnText(0);
    s.reset();
    return value;
}

void Connection::setBookValue(std::string_view key, const QString& value)
{
    statement("INSERT OR REPLACE INTO book(key, value) VALUES(?1, ?2)").bind(1, key).bind(2, value).run();
}

QString Connection::newUnid()
{
    return store::newUnid();
}

QString Connection::newReplicaId()
{
    return store::newReplicaId();
}

qint64 Connection::insertNote(std::string_view noteClass, const QString& unid, const ItemList& items, qint64 time,
                              qint64 modified)
{
    encodeItems(items, itemBuffer_);
    if (time == 0)
        time = QDateTime::currentMSecsSinceEpoch();
    statement("INSERT INTO notes(unid, class, created, modified, items) VALUES(?1, ?2, ?3, ?4, ?5)")
        .bind(1, unid)
        .bind(2, noteClass)
        .bind(3, time)
        .bind(4, std::max(time, modified))
        .bindBlob(5, itemBuffer_)
        .run();
    keepItemBufferSmall();
    return sqlite3_last_insert_rowid(db_);
}

void Connection::keepItemBufferSmall()
{
    // A note of a very long text is not held on to for the rest of the run.
    if (itemBuffer_.capacity() > (1 << 20))
        itemBuffer_ = QByteArray();
}

void Connection::replaceItems(qint64 noteId, const ItemList& items, qint64 time)
{
    encodeItems(items, itemBuffer_);
    statement("UPDATE notes SET items=?2, modified=?3 WHERE note_id=?1")
        .bind(1, noteId)
        .bindBlob(2, itemBuffer_)
        .bind(3, time != 0 ? time : QDateTime::currentMSecsSinceEpoch())
        .run();
    keepItemBufferSmall();
    if (sqlite3_changes(db_) != 1)
        throw NotesError("the document is no longer in the address book", Cause::NotFound);
}

}  // namespace notes::store
