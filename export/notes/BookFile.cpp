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

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// The item list of a note (see docs/BOOK_FORMAT.md): a format byte, then per
// item a flags byte and the name and value, each as a varint byte length and
// the bytes. Text is UTF-8, or UTF-16LE for a text holding an unpaired
// surrogate, which UTF-8 cannot carry.
constexpr char ItemListFormat = 1;
constexpr unsigned char NameIsUtf16 = 1;
constexpr unsigned char ValueIsUtf16 = 2;

bool hasUnpairedSurrogate(const QString& s)
{
    const char16_t* p = reinterpret_cast<const char16_t*>(s.constData());
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = p[i];
        if (u < 0xD800 || u > 0xDFFF)
            continue;
        if (u <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        return true;
    }
    return false;
}

unsigned char* putVarint(unsigned char* out, quint64 v)
{
    while (v >= 0x80) {
        *out++ = static_cast<unsigned char>((v & 0x7F) | 0x80);
        v >>= 7;
    }
    *out++ = static_cast<unsigned char>(v);
    return out;
}

constexpr qsizetype varintSize(quint64 v)
{
    qsizetype n = 1;
    while (v >= 0x80) {
        v >>= 7;
        ++n;
    }
    return n;
}

// The most a text of `n` units takes stored: its length and at most three
// bytes a unit.
constexpr qsizetype maxTextSize(qsizetype n)
{
    return 10 + 3 * n;
}

// Writes a text as UTF-8 with its byte length in front and returns the end;
// nullptr (and nothing usable written) when the text holds an unpaired
// surrogate, which UTF-8 cannot carry. One pass: the bytes go after room for
// a one-byte length and move up in the rare case the length needs more.
unsigned char* putUtf8(unsigned char* out, const char16_t* p, qsizetype n)
{
    unsigned char* const start = out + 1;
    unsigned char* q = start;
    for (qsizetype i = 0; i < n; ++i) {
#ifdef __SSE2__
        // Runs of plain ASCII, sixteen units at a time, then eight: no unit
        // has a bit above the seventh, so packing them to bytes is their
        // UTF-8.
        while (i + 16 <= n) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 8));
            const __m128i high = _mm_and_si128(_mm_or_si128(a, b), _mm_set1_epi16(short(0xFF80)));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF)
                break;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(q), _mm_packus_epi16(a, b));
            q += 16;
            i += 16;
        }
        if (i + 8 <= n) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i high = _mm_and_si128(a, _mm_set1_epi16(short(0xFF80)));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) == 0xFFFF) {
                _mm_storel_epi64(reinterpret_cast<__m128i*>(q), _mm_packus_epi16(a, a));
                q += 8;
                i += 8;
            }
        }
#endif
        // Runs of plain ASCII, four units at a time.
        while (i + 4 <= n && (p[i] | p[i + 1] | p[i + 2] | p[i + 3]) < 0x80) {
            q[0] = static_cast<unsigned char>(p[i]);
            q[1] = static_cast<unsigned char>(p[i + 1]);
            q[2] = static_cast<unsigned char>(p[i + 2]);
            q[3] = static_cast<unsigned char>(p[i + 3]);
            q += 4;
            i += 4;
        }
        if (i >= n)
            break;
        const char32_t u = p[i];
        if (u < 0x80) {
            *q++ = static_cast<unsigned char>(u);
        } else if (u < 0x800) {
            *q++ = static_cast<unsigned char>(0xC0 | (u >> 6));
            *q++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
        } else if (u < 0xD800 || u > 0xDFFF) {
            *q++ = static_cast<unsigned char>(0xE0 | (u >> 12));
            *q++ = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
            *q++ = static_cast<unsigned char>(0x80 | (u & 0x3F));
        } else if (u <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF) {
            const char32_t c = 0x10000 + ((u - 0xD800) << 10) + (char32_t(p[i + 1]) - 0xDC00);
            ++i;
            *q++ = static_cast<unsigned char>(0xF0 | (c >> 18));
            *q++ = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
            *q++ = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            *q++ = static_cast<unsigned char>(0x80 | (c & 0x3F));
        } else {
            return nullptr;
        }
    }
    const quint64 len = quint64(q - start);
    if (len < 0x80) {
        *out = static_cast<unsigned char>(len);
        return q;
    }
    const qsizetype extra = varintSize(len) - 1;
    std::memmove(start + extra, start, std::size_t(len));
    putVarint(out, len);
    return q + extra;
}

// Writes a text as UTF-16LE with its byte length in front.
unsigned char* putUtf16(unsigned char* out, const char16_t* p, qsizetype n)
{
    out = putVarint(out, quint64(n) * 2);
    for (qsizetype i = 0; i < n; ++i) {
        *out++ = static_cast<unsigned char>(p[i] & 0xFF);
        *out++ = static_cast<unsigned char>(p[i] >> 8);
    }
    return out;
}

const char16_t* units(const QString& s)
{
    return reinterpret_cast<const char16_t*>(s.constData());
}

class ItemListReader {
public:
    ItemListReader(const unsigned char* p, qsizetype n)
        : p_(p)
        , end_(p + n)
    {
    }
    bool atEnd() const { return p_ == end_; }
    unsigned char byte()
    {
        need(1);
        return *p_++;
    }
    QString text(bool utf16)
    {
        quint64 len = 0;
        for (int shift = 0;; shift += 7) {
            const unsigned char b = byte();
            if (shift > 56)
                bad();
            len |= quint64(b & 0x7F) << shift;
            if (!(b & 0x80))
                break;
        }
        if (len > quint64(end_ - p_))
            bad();
        const unsigned char* start = p_;
        p_ += len;
        if (!utf16)
            return QString::fromUtf8(reinterpret_cast<const char*>(start), qsizetype(len));
        if (len % 2)
            bad();
        QString s(qsizetype(len / 2), Qt::Uninitialized);
        char16_t* out = reinterpret_cast<char16_t*>(s.data());
        for (quint64 i = 0; i < len / 2; ++i)
            out[i] = char16_t(start[2 * i] | (start[2 * i + 1] << 8));
        return s;
    }

private:
    void need(qsizetype n)
    {
        if (end_ - p_ < n)
            bad();
    }
    [[noreturn]] static void bad() { throw NotesError("damaged item list in the address book"); }
    const unsigned char* p_;
    const unsigned char* end_;
};

}  // namespace

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

FileIdentity checkHeader(const QString& path, bool* walMode)
{
    if (path.isEmpty())
        throw NotesError("no database file named");
    const QByteArray native = nativePath(path);
    // Looked at before opening: opening a named pipe would wait for a writer.
    struct stat st;
    if (::stat(native.constData(), &st) != 0)
        throw NotesError((path + QStringLiteral(": ") + systemError(errno)).toStdString());
    if (!S_ISREG(st.st_mode))
        throw NotesError((path + QStringLiteral(": not a file")).toStdString());
    // O_NONBLOCK: should the name be swapped for a pipe meanwhile, the open
    // does not wait either, and the check below refuses it.
    Fd f{::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    if (f.fd < 0)
        throw NotesError((path + QStringLiteral(": ") + systemError(errno)).toStdString());
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
        throw NotesError(
            (path + QStringLiteral(": address book of an unknown layout version %1").arg(version)).toStdString());
    // Bytes 18 and 19: 2 for a file in write-ahead-log mode.
    if (walMode)
        *walMode = header[18] == 2 || header[19] == 2;
    return {st.st_dev, st.st_ino};
}

void encodeItems(const ItemList& items, QByteArray& out)
{
    // Room for the worst case, written in one pass, cut to size.
    qsizetype room = 1;
    for (const auto& [name, value] : items)
        room += 1 + maxTextSize(name.size()) + maxTextSize(value.size());
    out.resize(room);
    unsigned char* const begin = reinterpret_cast<unsigned char*>(out.data());
    unsigned char* p = begin;
    *p++ = ItemListFormat;
    for (const auto& [name, value] : items) {
        unsigned char* const flags = p++;
        *flags = 0;
        unsigned char* end = putUtf8(p, units(name), name.size());
        if (!end) {
            *flags |= NameIsUtf16;
            end = putUtf16(p, units(name), name.size());
        }
        p = end;
        end = putUtf8(p, units(value), value.size());
        if (!end) {
            *flags |= ValueIsUtf16;
            end = putUtf16(p, units(value), value.size());
        }
        p = end;
    }
    out.resize(p - begin);
}

ItemList decodeItems(const void* data, qsizetype size)
{
    ItemList items;
    ItemListReader r(static_cast<const unsigned char*>(data), size);
    if (r.byte() != ItemListFormat)
        throw NotesError("item list of an unknown format in the address book");
    while (!r.atEnd()) {
        const unsigned char flags = r.byte();
        QString name = r.text(flags & NameIsUtf16);
        QString value = r.text(flags & ValueIsUtf16);
        items.emplace_back(std::move(name), std::move(value));
    }
    return items;
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
    // Columns hold UTF-8, which has no form for an unpaired surrogate; such a
    // text would come back altered, so it is refused. (Item names and values
    // go into the item list, which keeps them exactly.)
    if (hasUnpairedSurrogate(value))
        throw NotesError("a name with an unpaired surrogate cannot be stored");
    const QByteArray utf8 = value.toUtf8();
    if (sqlite3_bind_text(stmt_, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT) != SQLITE_OK)
        fail(db_, QStringLiteral("binding a text"));
    return *this;
}

Statement& Statement::bindBlob(int index, const QByteArray& value)
{
    if (sqlite3_bind_blob(stmt_, index, value.constData(), int(value.size()), SQLITE_STATIC) != SQLITE_OK)
        fail(db_, QStringLiteral("binding a value"));
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
    while (step()) { }
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
    const unsigned char* text = sqlite3_column_text(stmt_, index);
    const int bytes = sqlite3_column_bytes(stmt_, index);
    return QString::fromUtf8(reinterpret_cast<const char*>(text), bytes);
}

ItemList Statement::columnItems(int index) const
{
    const void* data = sqlite3_column_blob(stmt_, index);
    const int bytes = sqlite3_column_bytes(stmt_, index);
    if (!data)
        throw NotesError("a note without its item list in the address book");
    return decodeItems(data, bytes);
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
        struct stat st;
        const QByteArray native = nativePath(path_);
        if (::stat(native.constData(), &st) == 0 && FileIdentity{st.st_dev, st.st_ino} == identity_)
            ::unlink(native.constData());
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
        // killed in the middle of a group: a read-only connection cannot
        // roll it back, so a short read-write one does (and removes the
        // journal). Where that fails, the read-only open below says why.
        if (::stat((native + "-journal").constData(), &st) == 0 && st.st_size > 0) {
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
        throw NotesError((path + QStringLiteral(": changed while being opened")).toStdString());
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
        throw NotesError((path_ + QStringLiteral(": not an address book")).toStdString());
    Statement version(db_, "PRAGMA user_version");
    if (!version.step() || version.columnInt(0) != SchemaVersion)
        throw NotesError((path_ + QStringLiteral(": address book of an unknown layout version")).toStdString());
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
            throw NotesError((path_ + QStringLiteral(": damaged address book (tables missing)")).toStdString());
        if (!same || n != table.columns.size())
            throw NotesError(
                (path_
                 + QStringLiteral(": not an address book (table %1 has other columns)").arg(QLatin1String(table.name)))
                    .toStdString());
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
        throw NotesError("no database file named");
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
            throw NotesError((path + QStringLiteral(": changed while being created")).toStdString());
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
        throw NotesFileError(e.what(), 0);
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
        throw NotesFileError(e.what(), 0);
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
        throw NotesError((path_ + QStringLiteral(": changed while being created")).toStdString());
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
        throw NotesError((path_ + QStringLiteral(": ") + message).toStdString());
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
    // Like a Notes universal id: an origin part and a time part. The origin
    // is random once per run, the time part (in 100 ns steps) strictly rises
    // within the run, so ids never repeat and a run's ids sort in the order
    // written (new documents go to the end of the unid index).
    static const quint64 origin = QRandomGenerator::system()->generate64();
    static quint64 last = 0;
    const quint64 now = quint64(QDateTime::currentMSecsSinceEpoch()) * 10000u;
    last = now > last ? now : last + 1;
    static constexpr char16_t Hex[] = u"0123456789ABCDEF";
    QString unid(32, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(unid.data());
    for (int i = 0; i < 16; ++i) {
        out[i] = Hex[(origin >> (60 - 4 * i)) & 0xF];
        out[16 + i] = Hex[(last >> (60 - 4 * i)) & 0xF];
    }
    return unid;
}

QString Connection::newReplicaId()
{
    return QStringLiteral("%1").arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0')).toUpper();
}

qint64 Connection::insertNote(std::string_view noteClass, const QString& unid, const ItemList& items)
{
    encodeItems(items, itemBuffer_);
    statement("INSERT INTO notes(unid, class, created, modified, items) VALUES(?1, ?2, ?3, ?3, ?4)")
        .bind(1, unid)
        .bind(2, noteClass)
        .bind(3, QDateTime::currentMSecsSinceEpoch())
        .bindBlob(4, itemBuffer_)
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

void Connection::replaceItems(qint64 noteId, const ItemList& items)
{
    encodeItems(items, itemBuffer_);
    statement("UPDATE notes SET items=?2, modified=?3 WHERE note_id=?1")
        .bind(1, noteId)
        .bindBlob(2, itemBuffer_)
        .bind(3, QDateTime::currentMSecsSinceEpoch())
        .run();
    keepItemBufferSmall();
    if (sqlite3_changes(db_) != 1)
        throw NotesError("the document is no longer in the address book");
}

}  // namespace notes::store
