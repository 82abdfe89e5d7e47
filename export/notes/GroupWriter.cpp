#include "export/notes/GroupWriter.h"

#include <QDateTime>
#include <QFile>

#include <sqlite3.h>

#include <algorithm>
#include <utility>

namespace notes::store {

// A group is one transaction. It is handed to the commit when it holds
// GroupDocuments complete documents or is GroupTime old, and when the
// writing ends; nothing is handed over between a document's save and its
// filing. While one group is committed the next one fills, so at most two
// groups are uncommitted at any moment: together at most twice these, 1,000
// documents or 100 ms of writing, which a killed process can lose.
constexpr std::size_t GroupDocuments = 500;
constexpr auto GroupTime = std::chrono::milliseconds(50);

GroupWriter::GroupWriter(std::unique_ptr<Connection> conn)
    : conn_(std::move(conn))
    , path_(conn_->path())
    , identity_(conn_->identity())
    , seenDataVersion_(conn_->dataVersion())
{
    filling_.serial = 1;
}

GroupWriter::~GroupWriter()
{
    end();
}

void GroupWriter::needOpen() const
{
    if (!conn_)
        throw NotesError((path_ + QStringLiteral(": the writing of this book has ended")).toStdString());
}

Connection& GroupWriter::connection()
{
    needOpen();
    waitIdle();
    return *conn_;
}

bool GroupWriter::groupDue() const
{
    return !filling_.steps.empty()
        && (filling_.complete.size() >= GroupDocuments
            || std::chrono::steady_clock::now() - filling_.start >= GroupTime);
}

void GroupWriter::ensureGroup()
{
    if (!pending_ && groupDue())
        handOff();
    if (filling_.steps.empty())
        filling_.start = std::chrono::steady_clock::now();
}

std::shared_ptr<WrittenDocument> GroupWriter::save(ItemList items)
{
    needOpen();
    ensureGroup();
    // Another document saved and not filed stays as it was saved.
    releasePending();
    auto document = std::make_shared<WrittenDocument>();
    document->insertGroup = filling_.serial;
    document->insertStep = filling_.steps.size();
    Step step{StepKind::Insert, document, std::move(items), Connection::newUnid(), QDateTime::currentMSecsSinceEpoch(),
              QString()};
    filling_.steps.push_back(std::move(step));
    pending_ = document;
    return document;
}

void GroupWriter::saveAgain(const std::shared_ptr<WrittenDocument>& document, ItemList items)
{
    needOpen();
    if (document != pending_)
        ensureGroup();
    if (document->insertGroup == filling_.serial) {
        // Not committed yet: the stored form is the latest one.
        Step& insert = filling_.steps[document->insertStep];
        insert.items = std::move(items);
        insert.modified = QDateTime::currentMSecsSinceEpoch();
        return;
    }
    filling_.steps.push_back(
        {StepKind::Replace, document, std::move(items), QString(), QDateTime::currentMSecsSinceEpoch(), QString()});
}

void GroupWriter::file(const std::shared_ptr<WrittenDocument>& document, const QString& folder)
{
    needOpen();
    if (folder.isEmpty())
        throw NotesError("a folder needs a name");
    // Stored in a column, which holds UTF-8 only.
    if (hasUnpairedSurrogate(folder))
        throw NotesError("a name with an unpaired surrogate cannot be stored");
    const bool isPending = document == pending_;
    if (!isPending)
        ensureGroup();
    filling_.steps.push_back({StepKind::File, document, {}, QString(), 0, folder});
    if (isPending)
        releasePending();
}

void GroupWriter::release(const std::shared_ptr<WrittenDocument>& document)
{
    if (conn_ && document == pending_)
        releasePending();
}

void GroupWriter::releasePending()
{
    if (!pending_)
        return;
    pending_->number = ++lastNumber_;
    filling_.complete.push_back(std::move(pending_));
    pending_.reset();
    if (groupDue())
        handOff();
}

qint64 GroupWriter::oldestOf(const Group& group)
{
    return group.complete.empty() ? 0 : group.complete.front()->number;
}

WritingProgress GroupWriter::takeProgress()
{
    WritingProgress progress;
    std::lock_guard lock(mutex_);
    progress.lost = std::exchange(lost_, {});
    progress.oldestUncommitted = committing_ ? oldestOf(*committing_) : 0;
    if (progress.oldestUncommitted == 0)
        progress.oldestUncommitted = oldestOf(filling_);
    return progress;
}

void GroupWriter::waitIdle()
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !committing_; });
}

void GroupWriter::handOff()
{
    if (filling_.steps.empty())
        return;
    Group next;
    next.serial = filling_.serial + 1;
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !committing_; });
        committing_ = std::exchange(filling_, std::move(next));
    }
    if (!thread_.joinable())
        thread_ = std::thread([this] { work(); });
    changed_.notify_all();
}

void GroupWriter::work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || committing_; });
        if (!committing_)
            return;
        lock.unlock();
        std::vector<LostDocument> lost = commit(*committing_);
        lock.lock();
        lost_.insert(lost_.end(), std::make_move_iterator(lost.begin()), std::make_move_iterator(lost.end()));
        committing_.reset();
        changed_.notify_all();
    }
}

void GroupWriter::commitNow()
{
    if (!conn_)
        return;
    releasePending();
    handOff();
    waitIdle();
}

WritingProgress GroupWriter::end()
{
    if (conn_) {
        releasePending();
        waitIdle();
        if (thread_.joinable()) {
            {
                std::lock_guard lock(mutex_);
                stopping_ = true;
            }
            changed_.notify_all();
            thread_.join();
        }
        if (!filling_.steps.empty()) {
            std::vector<LostDocument> lost = commit(filling_);
            lost_.insert(lost_.end(), std::make_move_iterator(lost.begin()), std::make_move_iterator(lost.end()));
            filling_ = Group();
        }
        conn_->endWriting();
        conn_.reset();
    }
    return takeProgress();
}

// A group is lost, and said so, rather than written into a file that is no
// longer under the name it was opened by; the book is then let go of.
void GroupWriter::checkAtItsPath()
{
    if (identityAt(path_) == identity_)
        return;
    letGo_ = path_ + QStringLiteral(": the book was moved or removed while it was written");
    throw NotesError(letGo_.toStdString(), Cause::NotFound);
}

void GroupWriter::noticeOtherWriters()
{
    // Folder ids may have been changed by another program since we last
    // looked.
    const qint64 v = conn_->dataVersion();
    if (v != seenDataVersion_) {
        folderIds_.clear();
        seenDataVersion_ = v;
    }
}

void GroupWriter::fileStep(WrittenDocument& document, const QString& folder, qint64& createdFolder)
{
    Connection& c = *conn_;
    qint64 folderId = folderIds_.value(folder, 0);
    if (folderId == 0) {
        Statement& find = c.statement("SELECT folder_id FROM folders WHERE name=?1");
        find.bind(1, folder);
        if (find.step())
            folderId = find.columnInt(0);
        find.reset();
    }
    if (folderId == 0) {
        c.statement("INSERT INTO folders(name) VALUES(?1)").bind(1, folder).run();
        folderId = createdFolder = sqlite3_last_insert_rowid(c.handle());
    }
    c.statement("INSERT OR IGNORE INTO folder_entries(folder_id, note_id) VALUES(?1, ?2)")
        .bind(1, folderId)
        .bind(2, document.noteId)
        .run();
    folderIds_.insert(folder, folderId);
}

// A document whose filing failed is taken out again, with a folder its
// filing made: its save and its filing are one.
void GroupWriter::takeOut(const WrittenDocument& document, qint64 createdFolder)
{
    Connection& c = *conn_;
    c.statement("DELETE FROM folder_entries WHERE note_id=?1").bind(1, document.noteId).run();
    c.statement("DELETE FROM notes WHERE note_id=?1").bind(1, document.noteId).run();
    if (createdFolder != 0) {
        c.statement("DELETE FROM folders WHERE folder_id=?1").bind(1, createdFolder).run();
        folderIds_.clear();
    }
}

std::vector<LostDocument> GroupWriter::commit(Group& group)
{
    std::vector<LostDocument> lost;
    auto lose = [&](WrittenDocument& d, const NotesError& e, bool withGroup) {
        d.failed = true;
        if (d.number != 0 && !d.lostTold) {
            d.lostTold = true;
            lost.push_back({d.number, QString::fromUtf8(e.what()), e.cause(), withGroup});
        }
    };
    Connection& c = *conn_;
    try {
        if (!letGo_.isEmpty())
            throw NotesError(letGo_.toStdString(), Cause::NotFound);
        checkAtItsPath();
        c.beginWriting();
        c.statement("BEGIN IMMEDIATE").run();
        noticeOtherWriters();
        for (Step& step : group.steps) {
            WrittenDocument& d = *step.document;
            if (d.failed)
                continue;
            qint64 createdFolder = 0;
            try {
                switch (step.kind) {
                case StepKind::Insert:
                    d.noteId = c.insertNote(ClassDocument, step.unid, step.items, step.time, step.modified);
                    break;
                case StepKind::Replace:
                    c.replaceItems(d.noteId, step.items, step.time);
                    break;
                case StepKind::File:
                    fileStep(d, step.folder, createdFolder);
                    break;
                }
            } catch (const NotesError& e) {
                // SQLite rolled the whole group back (a full disk): the group
                // is lost. Otherwise this document alone is.
                if (sqlite3_get_autocommit(c.handle()))
                    throw;
                if (step.kind == StepKind::File && d.insertGroup == group.serial)
                    takeOut(d, createdFolder);
                lose(d, e, false);
            }
            // What the commit needs no more is let go of at once.
            step.items = ItemList();
        }
        checkAtItsPath();
        c.statement("COMMIT").run();
    } catch (const std::exception& failure) {
        // Anything else (memory, say) loses the group the same way.
        const auto* notesError = dynamic_cast<const NotesError*>(&failure);
        const NotesError e = notesError ? *notesError : NotesError(failure.what());
        if (!sqlite3_get_autocommit(c.handle()))
            sqlite3_exec(c.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        folderIds_.clear();
        for (Step& step : group.steps)
            if (step.kind == StepKind::Insert && step.document->insertGroup == group.serial)
                step.document->failed = true;
        for (const auto& d : group.complete)
            lose(*d, e, true);
        if (!letGo_.isEmpty())
            c.endWriting();
    }
    group.steps.clear();
    return lost;
}

}  // namespace notes::store
