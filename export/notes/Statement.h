#pragma once
// A prepared SQLite statement over a connection of ours.

#include "common/cause/Cause.h"
#include "export/notes/ItemList.h"

#include <QByteArrayView>
#include <QString>

#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace notes::store {

class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, qint64 value);
    Statement& bind(int index, const QString& value);
    // Binds without copying: `value` must outlive the next step().
    Statement& bindBlob(int index, const QByteArray& value);
    Statement& bind(int index, std::string_view value);
    // True while a row is available; false when done. Throws on error.
    bool step();
    // Steps a statement that returns no rows and resets it.
    void run();
    void reset();

    qint64 columnInt(int index) const;
    QString columnText(int index) const;
    ItemList columnItems(int index) const;
    // The bytes of a text or blob column, valid until the next step() or
    // reset().
    QByteArrayView columnBytes(int index) const;

private:
    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
};

// The kind of failure an SQLite result code stands for.
Cause CauseOfSqlite(int code);

// Throws NotesError with SQLite's message for `db`.
[[noreturn]] void fail(sqlite3* db, const QString& what);

}  // namespace notes::store
