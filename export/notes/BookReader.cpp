#include "export/notes/BookReader.h"

#include "export/notes/BookFile.h"

#include <QFile>
#include <QHash>

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

namespace {

// Reads each note's items into one document used again and again, so that
// walking a book allocates next to nothing: items beyond the current note's
// count wait in `spare` with their room.
class DocumentDecoder {
public:
    // Reads the note's items into `doc`; false (and `doc` not complete) when
    // `onlyForm` is given and the note's "Form" item is another.
    bool read(QByteArrayView blob, QStringView onlyForm, StoredDocument& doc)
    {
        if (!blob.data())
            throw NotesError("a note without its item list in the address book", Cause::Damaged);
        if (!onlyForm.isEmpty() && !hasForm(blob, onlyForm))
            return false;
        store::ItemListReader r(blob.data(), blob.size());
        std::size_t count = 0;
        doc.form.clear();
        while (!r.atEnd()) {
            if (count == doc.items.size()) {
                if (spare_.empty()) {
                    doc.items.emplace_back();
                } else {
                    doc.items.push_back(std::move(spare_.back()));
                    spare_.pop_back();
                }
            }
            StoredItem& item = doc.items[count++];
            r.name(item.name);
            r.value(item.value);
            if (!doc.isDesign && doc.form.isEmpty() && isForm(item.name))
                doc.form = item.value;
        }
        while (doc.items.size() > count) {
            spare_.push_back(std::move(doc.items.back()));
            doc.items.pop_back();
        }
        return true;
    }

private:
    static bool isForm(const QString& name)
    {
        return name.size() == 4 && name.compare(QLatin1String("Form"), Qt::CaseInsensitive) == 0;
    }

    // Whether the first "Form" item of the note is `form`, reading no other
    // value.
    bool hasForm(QByteArrayView blob, QStringView form)
    {
        store::ItemListReader r(blob.data(), blob.size());
        while (!r.atEnd()) {
            r.name(name_);
            if (isForm(name_)) {
                r.value(value_);
                return value_.compare(form, Qt::CaseInsensitive) == 0;
            }
            r.skipValue();
        }
        return false;
    }

    std::vector<StoredItem> spare_;
    QString name_;
    QString value_;
};

}  // namespace

void BookReader::forEachDocument(bool withDesign, const std::function<void(const StoredDocument&)>& visit,
                                 QStringView onlyForm) const
{
    sqlite3* db = d->conn->handle();
    // One read transaction, so the walk sees one state of the file.
    Statement begin(db, "BEGIN");
    begin.run();
    try {
        // The folders by id; a document's folders come from a walk of the
        // filing table beside the walk of the notes, both in note id order.
        QHash<qint64, QString> folderNames;
        Statement folders(db, "SELECT folder_id, name FROM folders");
        while (folders.step())
            folderNames.insert(folders.columnInt(0), folders.columnText(1));
        Statement entries(db, "SELECT note_id, folder_id FROM folder_entries ORDER BY note_id, folder_id");
        bool entry = entries.step();

        Statement notesQuery(db,
                             withDesign ? "SELECT note_id, unid, class, created, modified, items FROM notes "
                                          "ORDER BY note_id"
                                        : "SELECT note_id, unid, class, created, modified, items FROM notes "
                                          "WHERE class='document' ORDER BY note_id");
        StoredDocument doc;
        DocumentDecoder decoder;
        QString noteClass;
        while (notesQuery.step()) {
            const qint64 noteId = notesQuery.columnInt(0);
            doc.isDesign = notesQuery.columnBytes(2) != QByteArrayView("document");
            if (doc.isDesign)
                noteClass = notesQuery.columnText(2);
            if (doc.isDesign && !onlyForm.isEmpty() && noteClass.compare(onlyForm, Qt::CaseInsensitive) != 0)
                continue;
            if (!decoder.read(notesQuery.columnBytes(5), doc.isDesign ? QStringView() : onlyForm, doc))
                continue;
            if (doc.isDesign)
                doc.form = noteClass;
            doc.noteId = noteId;
            doc.unid = notesQuery.columnText(1);
            doc.created = notesQuery.columnInt(3);
            doc.modified = notesQuery.columnInt(4);
            doc.folders.clear();
            while (entry && entries.columnInt(0) < noteId)
                entry = entries.step();
            for (; entry && entries.columnInt(0) == noteId; entry = entries.step()) {
                const auto name = folderNames.constFind(entries.columnInt(1));
                if (name != folderNames.constEnd())
                    doc.folders.append(*name);
            }
            visit(doc);
        }
    } catch (const std::exception&) {
        d->conn->exec("ROLLBACK");
        throw;
    }
    d->conn->exec("COMMIT");
}

}  // namespace notes
