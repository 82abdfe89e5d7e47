#include "export/notes/Statement.h"

#include "export/notes/ItemList.h"
#include "export/notes/Notes.h"

#include <sqlite3.h>

namespace notes::store {

Cause CauseOfSqlite(int code)
{
    switch (code & 0xFF) {
    case SQLITE_FULL:
    case SQLITE_IOERR:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return Cause::Io;
    case SQLITE_CORRUPT:
        return Cause::Damaged;
    case SQLITE_NOTADB:
        return Cause::NotADataFile;
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
        return Cause::NoPermission;
    case SQLITE_CANTOPEN:
        return Cause::NotFound;
    default:
        return Cause::Other;
    }
}

void fail(sqlite3* db, const QString& what)
{
    const char* msg = db ? sqlite3_errmsg(db) : "out of memory";
    throw NotesError((what + QStringLiteral(": ") + QString::fromUtf8(msg)).toStdString(),
                     db ? CauseOfSqlite(sqlite3_errcode(db)) : Cause::Other);
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
    throw NotesError(message.toStdString(), CauseOfSqlite(rc));
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

QByteArrayView Statement::columnBytes(int index) const
{
    const void* data = sqlite3_column_blob(stmt_, index);
    const int bytes = sqlite3_column_bytes(stmt_, index);
    return QByteArrayView(static_cast<const char*>(data), data ? bytes : 0);
}

ItemList Statement::columnItems(int index) const
{
    const void* data = sqlite3_column_blob(stmt_, index);
    const int bytes = sqlite3_column_bytes(stmt_, index);
    if (!data)
        throw NotesError("a note without its item list in the address book", Cause::Damaged);
    return decodeItems(data, bytes);
}
}  // namespace notes::store
