#include "export/notes/BookReader.h"

#include "export/notes/BookFile.h"

#include <QFile>
#include <QHash>

#include <array>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

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
        doc.form.resize(0);
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
                // A copy of its own, so that the item's string is not shared
                // when the next document is read into it.
                doc.form.append(item.value.constData(), item.value.size());
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

    // Whether the note's form (its first "Form" item with a value, as read()
    // takes it) is `form`, reading no other value.
    bool hasForm(QByteArrayView blob, QStringView form)
    {
        store::ItemListReader r(blob.data(), blob.size());
        while (!r.atEnd()) {
            r.name(name_);
            if (!isForm(name_)) {
                r.skipValue();
                continue;
            }
            r.value(value_);
            if (!value_.isEmpty())
                return value_.compare(form, Qt::CaseInsensitive) == 0;
        }
        return false;
    }

    std::vector<StoredItem> spare_;
    QString name_;
    QString value_;
};

// The walk over a book's documents in note id order, one after another
// into the document it is given.
class DocumentWalk {
public:
    DocumentWalk(sqlite3* db, bool withDesign, QStringView onlyForm)
        : entries_(db,
                   onlyForm.isEmpty()
                       ? "SELECT note_id, folder_id FROM folder_entries ORDER BY note_id, folder_id"
                       : "SELECT note_id, folder_id FROM folder_entries WHERE note_id=?1 ORDER BY folder_id")
        , notes_(db,
                 withDesign ? "SELECT note_id, unid, class, created, modified, items FROM notes "
                              "ORDER BY note_id"
                            : "SELECT note_id, unid, class, created, modified, items FROM notes "
                              "WHERE class='document' ORDER BY note_id")
        , onlyForm_(onlyForm)
    {
        // The folders by id; a document's folders come from a walk of the
        // filing table beside the walk of the notes, both in note id order,
        // or, where only the documents of one form are read, from a look-up
        // for each.
        Statement folders(db, "SELECT folder_id, name FROM folders");
        while (folders.step())
            folderNames_.insert(folders.columnInt(0), folders.columnText(1));
        if (onlyForm.isEmpty())
            entry_ = entries_.step();
    }

    // The next document into `doc`; false at the end.
    bool next(StoredDocument& doc)
    {
        while (notes_.step()) {
            const qint64 noteId = notes_.columnInt(0);
            doc.isDesign = notes_.columnBytes(2) != QByteArrayView("document");
            if (doc.isDesign) {
                noteClass_ = notes_.columnText(2);
                if (!onlyForm_.isEmpty() && noteClass_.compare(onlyForm_, Qt::CaseInsensitive) != 0)
                    continue;
            }
            if (!decoder_.read(notes_.columnBytes(5), doc.isDesign ? QStringView() : onlyForm_, doc))
                continue;
            if (doc.isDesign)
                doc.form = noteClass_;
            doc.noteId = noteId;
            doc.unid = notes_.columnText(1);
            doc.created = notes_.columnInt(3);
            doc.modified = notes_.columnInt(4);
            doc.folders.clear();
            if (!onlyForm_.isEmpty()) {
                entries_.reset();
                entries_.bind(1, noteId);
                entry_ = entries_.step();
            }
            while (entry_ && entries_.columnInt(0) < noteId)
                entry_ = entries_.step();
            for (; entry_ && entries_.columnInt(0) == noteId; entry_ = entries_.step()) {
                const auto name = folderNames_.constFind(entries_.columnInt(1));
                if (name != folderNames_.constEnd())
                    doc.folders.append(*name);
            }
            return true;
        }
        return false;
    }

private:
    QHash<qint64, QString> folderNames_;
    Statement entries_;
    bool entry_ = false;
    Statement notes_;
    QStringView onlyForm_;
    DocumentDecoder decoder_;
    QString noteClass_;
};

// Documents pass from the reading thread to the caller's in batches: the
// reading thread fills one while the caller visits another. A batch's
// documents are used again once it comes back.
struct Handover {
    static constexpr std::size_t Batches = 3;
    static constexpr std::size_t BatchSize = 128;
    struct Batch {
        std::vector<StoredDocument> docs = std::vector<StoredDocument>(BatchSize);
        std::size_t count = 0;
    };

    std::array<Batch, Batches> batches;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Batch*> full;  // in reading order
    std::deque<Batch*> empty;
    bool done = false;  // the reading thread has ended
    bool stop = false;  // the caller wants no more
    std::exception_ptr error;  // why reading ended early

    // The reading thread's work.
    void read(sqlite3* db, bool withDesign, QStringView onlyForm)
    {
        Batch* batch = nullptr;  // being filled
        try {
            DocumentWalk walk(db, withDesign, onlyForm);
            for (bool more = true; more;) {
                {
                    std::unique_lock lock(mutex);
                    changed.wait(lock, [&] { return stop || !empty.empty(); });
                    if (stop)
                        break;
                    batch = empty.front();
                    empty.pop_front();
                }
                batch->count = 0;
                while (batch->count < BatchSize && (more = walk.next(batch->docs[batch->count])))
                    ++batch->count;
                std::lock_guard lock(mutex);
                full.push_back(batch);
                batch = nullptr;
                changed.notify_all();
            }
        } catch (...) {
            // Handed to the caller, who throws it again after the documents
            // read before it.
            std::lock_guard lock(mutex);
            if (batch)
                full.push_back(batch);
            error = std::current_exception();
        }
        std::lock_guard lock(mutex);
        done = true;
        changed.notify_all();
    }

    // The next batch read, or nullptr when there is none left.
    Batch* take()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return done || !full.empty(); });
        if (full.empty())
            return nullptr;
        Batch* batch = full.front();
        full.pop_front();
        return batch;
    }
    void giveBack(Batch* batch)
    {
        std::lock_guard lock(mutex);
        empty.push_back(batch);
        changed.notify_all();
    }
    void stopReading()
    {
        std::lock_guard lock(mutex);
        stop = true;
        changed.notify_all();
    }
};

}  // namespace

void BookReader::forEachDocument(bool withDesign, const std::function<void(const StoredDocument&)>& visit,
                                 QStringView onlyForm) const
{
    sqlite3* db = d->conn->handle();
    // One read transaction, so the walk sees one state of the file.
    Statement begin(db, "BEGIN");
    begin.run();
    // The book is read and its items decoded on a thread of its own while
    // `visit` runs here; the connection is used by that thread alone until
    // it ends.
    auto handover = std::make_unique<Handover>();
    for (Handover::Batch& batch : handover->batches)
        handover->empty.push_back(&batch);
    std::thread reading([&] { handover->read(db, withDesign, onlyForm); });
    try {
        while (Handover::Batch* batch = handover->take()) {
            for (std::size_t i = 0; i < batch->count; ++i)
                visit(batch->docs[i]);
            handover->giveBack(batch);
        }
    } catch (...) {
        // What `visit` threw goes on to the caller once reading has ended.
        handover->stopReading();
        reading.join();
        d->conn->exec("ROLLBACK");
        throw;
    }
    reading.join();
    if (handover->error) {
        d->conn->exec("ROLLBACK");
        std::rethrow_exception(handover->error);
    }
    d->conn->exec("COMMIT");
}

}  // namespace notes
