#include "export/notes/BookFile.h"

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>

#include <sqlite3.h>

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
    modified INTEGER NOT NULL
);
CREATE TABLE items (
    note_id INTEGER NOT NULL REFERENCES notes(note_id),
    seq     INTEGER NOT NULL,
    name    TEXT NOT NULL,
    value   TEXT NOT NULL,
    PRIMARY KEY (note_id, seq)
) WITHOUT ROWID;
CREATE TABLE folders (
    folder_id INTEGER PRIMARY KEY,
    name      TEXT NOT NULL UNIQUE
);
CREATE TABLE folder_entries (
    folder_id INTEGER NOT NULL REFERENCES folders(folder_id),
    note_id   INTEGER NOT NULL REFERENCES notes(note_id),
    PRIMARY KEY (folder_id, note_id)
) WITHOUT ROWID;
CREATE INDEX folder_entries_by_note ON folder_entries(note_id);
)sql";

} // namespace

void fail(sqlite3* db, const QString& what)
{
    const char* msg = db ? sqlite3_errmsg(db) : "out of memory";
    throw NotesError((what + QStringLiteral(": ") + QString::fromUtf8(msg)).toStdString());
}

FileIdentity identityOf(const QString& path)
{
    struct stat st;
    if (::stat(nativePath(path).constData(), &st) != 0)
        throw NotesError((path + QStringLiteral(": ") + systemError(errno)).toStdString());
    return {st.st_dev, st.st_ino};
}

FileIdentity checkHeader(const QString& path)
{
    if (path.isEmpty())
        throw NotesError("no database file named");
    Fd f{::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY)};
    if (f.fd < 0)
        throw NotesError((path + QStringLiteral(": ") + systemError(errno)).toStdString());
    struct stat st;
    if (::fstat(f.fd, &st) != 0)
        throw NotesError((path + QStringLiteral(": ") + systemError(errno)).toStdString());
    if (!S_ISREG(st.st_mode))
        throw NotesError((path + QStringLiteral(": not a file")).toStdString());

    unsigned char header[100];
    std::size_t got = 0;
    while (got < sizeof header) {
        const ssize_t n = ::read(f.fd, header + got, sizeof header - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw NotesError((path + QStringLiteral(": ") + systemError(errno)).toStdString());
        if (n == 0)
            break;
        got += std::size_t(n);
    }
    const QString notOurs = path + QStringLiteral(": not an address book");
    if (got < sizeof header || std::memcmp(header, SqliteMagic, sizeof SqliteMagic) != 0
        || bigEndian32(header + 68) != ApplicationId)
        throw NotesError(notOurs.toStdString());
    const std::uint32_t version = bigEndian32(header + 60);
    if (version != std::uint32_t(SchemaVersion))
        throw NotesError((path + QStringLiteral(": address book of an unknown layout version %1").arg(version))
                             .toStdString());
    return {st.st_dev, st.st_ino};
}

// ---------------------------------------------------------------- Statement

Statement::Statement(sqlite3* db, std::string_view sql)
    : db_(db)
{
    if (sqlite3_prepare_v3(db, sql.data(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr) != SQLITE_OK)
        fail(db, QStringLiteral("preparing a statement"));
}

Statement::~Statement()
{
    sqlite3_finalize(stmt_);
}

Statement& Statement::bind(int index, qint64 value)
{
    if (sqlite3_bind_int64(stmt_, index, value) != SQLITE_OK)
        fail(db_, QStringLiteral("binding a value"));
    return *this;
}

Statement& Statement::bind(int index, const QString& value)
{
    // The files are UTF-16 so text goes in and out without conversion: every
    // QString, even one with a lone surrogate, comes back exactly as stored.
    static const char16_t empty[1] = {0};
    const void* data = value.isEmpty() ? static_cast<const void*>(empty) : static_cast<const void*>(value.utf16());
    if (sqlite3_bind_text16(stmt_, index, data, int(value.size() * 2), SQLITE_STATIC) != SQLITE_OK)
        fail(db_, QStringLiteral("binding a text"));
    return *this;
}

Statement& Statement::bind(int index, std::string_view value)
{
    if (sqlite3_bind_text(stmt_, index, value.data(), int(value.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        fail(db_, QStringLiteral("binding a text"));
    return *this;
}

bool Statement::step()
{
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString message = QString::fromUtf8(sqlite3_errmsg(db_));
    sqlite3_reset(stmt_);
    throw NotesError(message.toStdString());
}

void Statement::run()
{
    while (step()) {
    }
    reset();
}

void Statement::reset()
{
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

qint64 Statement::columnInt(int index) const
{
    return sqlite3_column_int64(stmt_, index);
}

QString Statement::columnText(int index) const
{
    const void* text = sqlite3_column_text16(stmt_, index);
    const int bytes = sqlite3_column_bytes16(stmt_, index);
    if (!text)
        return QString();
    return QString::fromUtf16(static_cast<const char16_t*>(text), bytes / 2);
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
        // createNew() did not get as far as commitNew(): remove the half-made
        // file, but only if it is still the one we created.
        struct stat st;
        const QByteArray native = nativePath(path_);
        if (::stat(native.constData(), &st) == 0 && FileIdentity{st.st_dev, st.st_ino} == identity_) {
            ::unlink(native.constData());
            ::unlink((native + "-journal").constData());
        }
    }
}

std::unique_ptr<Connection> Connection::openExisting(const QString& path, Mode mode)
{
    const FileIdentity before = checkHeader(path);
    sqlite3* db = nullptr;
    const int flags = (mode == Mode::ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(nativePath(path).constData(), &db, flags, nullptr);
    std::unique_ptr<Connection> c(new Connection(db, path, before));
    if (rc != SQLITE_OK)
        fail(db, path);
    // The file we checked must be the file SQLite opened.
    if (identityOf(path) != before)
        throw NotesError((path + QStringLiteral(": changed while being opened")).toStdString());
    sqlite3_busy_timeout(db, 5000);
    c->verifyLayout();
    if (mode == Mode::ReadWrite)
        c->exec("PRAGMA synchronous=NORMAL");
    return c;
}

void Connection::verifyLayout()
{
    Statement app(db_, "PRAGMA application_id");
    if (!app.step() || std::uint32_t(app.columnInt(0)) != ApplicationId)
        throw NotesError((path_ + QStringLiteral(": not an address book")).toStdString());
    Statement version(db_, "PRAGMA user_version");
    if (!version.step() || version.columnInt(0) != SchemaVersion)
        throw NotesError((path_ + QStringLiteral(": address book of an unknown layout version")).toStdString());
    Statement tables(db_, "SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN "
                          "('book','notes','items','folders','folder_entries')");
    if (!tables.step() || tables.columnInt(0) != 5)
        throw NotesError((path_ + QStringLiteral(": damaged address book (tables missing)")).toStdString());
}

std::unique_ptr<Connection> Connection::createNew(const QString& path, std::string_view kind)
{
    if (path.isEmpty())
        throw NotesError("no database file named");
    const QByteArray native = nativePath(path);
    FileIdentity identity;
    {
        // O_EXCL: the name is ours only if nothing at all was there.
        Fd f{::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666)};
        if (f.fd < 0) {
            const int err = errno;
            if (err == EEXIST)
                throw NotesError((path + QStringLiteral(": a file of that name already exists")).toStdString());
            throw NotesError((path + QStringLiteral(": ") + systemError(err)).toStdString());
        }
        struct stat st;
        if (::fstat(f.fd, &st) != 0)
            throw NotesError((path + QStringLiteral(": ") + systemError(errno)).toStdString());
        identity = {st.st_dev, st.st_ino};
    }
    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(native.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    std::unique_ptr<Connection> c(new Connection(db, path, identity));
    c->createdByUs_ = true;
    if (rc != SQLITE_OK)
        fail(db, path);
    if (identityOf(path) != identity)
        throw NotesError((path + QStringLiteral(": changed while being created")).toStdString());
    c->exec("PRAGMA encoding='UTF-16le'");
    c->exec("BEGIN IMMEDIATE");
    c->exec(QStringLiteral("PRAGMA application_id=%1").arg(qint64(ApplicationId)).toUtf8().constData());
    c->exec(QStringLiteral("PRAGMA user_version=%1").arg(SchemaVersion).toUtf8().constData());
    c->exec(SchemaSql);
    c->setBookValue("kind", QString::fromLatin1(kind.data(), qsizetype(kind.size())));
    c->setBookValue("replica_id", newReplicaId());
    c->setBookValue("created", QString::number(QDateTime::currentMSecsSinceEpoch()));
    return c;
}

void Connection::commitNew()
{
    exec("COMMIT");
    if (bookValue("kind") == QLatin1String(KindBook.data(), qsizetype(KindBook.size()))) {
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=NORMAL");
    }
    createdByUs_ = false;
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
        throw NotesError((path_ + QStringLiteral(": ") + message).toStdString());
    }
}

void Connection::checkpointAndEmptyLog()
{
    sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
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
    QRandomGenerator* g = QRandomGenerator::global();
    return QStringLiteral("%1%2")
        .arg(g->generate64(), 16, 16, QLatin1Char('0'))
        .arg(g->generate64(), 16, 16, QLatin1Char('0'))
        .toUpper();
}

QString Connection::newReplicaId()
{
    return QStringLiteral("%1").arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0')).toUpper();
}

qint64 Connection::insertNote(std::string_view noteClass, const QString& unid,
                              const std::vector<std::pair<QString, QString>>& items)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    statement("INSERT INTO notes(unid, class, created, modified) VALUES(?1, ?2, ?3, ?3)")
        .bind(1, unid)
        .bind(2, noteClass)
        .bind(3, now)
        .run();
    const qint64 noteId = sqlite3_last_insert_rowid(db_);
    Statement& insert = statement("INSERT INTO items(note_id, seq, name, value) VALUES(?1, ?2, ?3, ?4)");
    qint64 seq = 0;
    for (const auto& [name, value] : items)
        insert.bind(1, noteId).bind(2, ++seq).bind(3, name).bind(4, value).run();
    return noteId;
}

void Connection::replaceItems(qint64 noteId, const std::vector<std::pair<QString, QString>>& items)
{
    statement("DELETE FROM items WHERE note_id=?1").bind(1, noteId).run();
    statement("UPDATE notes SET modified=?2 WHERE note_id=?1")
        .bind(1, noteId)
        .bind(2, QDateTime::currentMSecsSinceEpoch())
        .run();
    Statement& insert = statement("INSERT INTO items(note_id, seq, name, value) VALUES(?1, ?2, ?3, ?4)");
    qint64 seq = 0;
    for (const auto& [name, value] : items)
        insert.bind(1, noteId).bind(2, ++seq).bind(3, name).bind(4, value).run();
}

} // namespace notes::store
