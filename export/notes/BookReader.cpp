#include "export/notes/BookReader.h"

#include "export/notes/BookFile.h"

#include <QFile>

namespace notes {

using store::Connection;
using store::Statement;

struct BookReader::Impl {
    std::unique_ptr<Connection> conn;
};

BookReader::BookReader(const QString& path)
    : d(std::make_unique<Impl>())
{
    // What this program has written to the book is seen, also when its last
    // group is still open.
    if (const auto identity = store::identityAt(path))
        store::commitPendingWrites(*identity);
    d->conn = Connection::openExisting(path, Connection::Mode::ReadOnly);
}

BookReader::~BookReader() = default;

QString BookReader::replicaId() const
{
    return d->conn->bookValue("replica_id");
}

QString BookReader::title() const
{
    return d->conn->bookValue("title");
}

void BookReader::forEachDocument(bool withDesign, const std::function<void(const StoredDocument&)>& visit) const
{
    sqlite3* db = d->conn->handle();
    // One read transaction, so the walk sees one state of the file.
    Statement begin(db, "BEGIN");
    begin.run();
    Statement notesQuery(db,
                         withDesign ? "SELECT note_id, unid, class, items FROM notes ORDER BY note_id"
                                    : "SELECT note_id, unid, class, items FROM notes WHERE class='document' "
                                      "ORDER BY note_id");
    Statement foldersQuery(db,
                           "SELECT f.name FROM folder_entries e JOIN folders f ON f.folder_id=e.folder_id "
                           "WHERE e.note_id=?1 ORDER BY f.folder_id");
    StoredDocument doc;
    try {
        while (notesQuery.step()) {
            doc.noteId = notesQuery.columnInt(0);
            doc.unid = notesQuery.columnText(1);
            const QString noteClass = notesQuery.columnText(2);
            doc.isDesign = noteClass != QLatin1String("document");
            doc.form.clear();
            doc.items.clear();
            doc.folders.clear();
            for (auto& [name, value] : notesQuery.columnItems(3)) {
                if (!doc.isDesign && doc.form.isEmpty()
                    && name.compare(QLatin1String("Form"), Qt::CaseInsensitive) == 0)
                    doc.form = value;
                doc.items.push_back({std::move(name), std::move(value)});
            }
            if (doc.isDesign)
                doc.form = noteClass;
            foldersQuery.bind(1, doc.noteId);
            while (foldersQuery.step())
                doc.folders.append(foldersQuery.columnText(0));
            foldersQuery.reset();
            visit(doc);
        }
    } catch (const std::exception&) {
        d->conn->exec("ROLLBACK");
        throw;
    }
    d->conn->exec("COMMIT");
}

}  // namespace notes
