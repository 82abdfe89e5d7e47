#pragma once
// The writing of one open book in groups of documents (see
// docs/BOOK_FORMAT.md): the documents are gathered in the group that fills,
// and a full group is committed on a thread of its own while the next one
// fills. Used by Notes.cpp; not by the rest of the program.

#include "export/notes/BookFile.h"
#include "export/notes/Notes.h"

#include <QHash>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace notes::store {

// A document as its group sees it. The fields the commit sets are used only
// by whoever runs the commit (the group's thread, or the caller at the end).
struct WrittenDocument {
    qint64 number = 0;  // given when complete (saved and filed, or let go of after its save)
    quint64 insertGroup = 0;  // the group its first save went into
    std::size_t insertStep = 0;  // ... at this step
    // Set by the commit.
    qint64 noteId = 0;
    bool failed = false;  // its save or filing failed: its later steps are skipped
    bool lostTold = false;
};

class GroupWriter {
public:
    explicit GroupWriter(std::unique_ptr<Connection> conn);
    // Ends the writing (see end()).
    ~GroupWriter();
    GroupWriter(const GroupWriter&) = delete;
    GroupWriter& operator=(const GroupWriter&) = delete;

    const QString& path() const { return path_; }
    const FileIdentity& identity() const { return identity_; }

    // The connection, for reading or for writing outside the groups: no group
    // is being committed while it is used. Throws once the writing has ended.
    Connection& connection();

    // A document saved for the first time: it is the pending document (saved,
    // not filed) until it is filed or another document is saved.
    std::shared_ptr<WrittenDocument> save(ItemList items);
    // A document saved again: its items replaced.
    void saveAgain(const std::shared_ptr<WrittenDocument>& document, ItemList items);
    // Files a saved document in `folder`.
    void file(const std::shared_ptr<WrittenDocument>& document, const QString& folder);
    // A saved document that is let go of (its object released): it stays as saved.
    void release(const std::shared_ptr<WrittenDocument>& document);

    WritingProgress takeProgress();

    // Everything written so far committed (for a reader of the same file in
    // this program); the writing goes on.
    void commitNow();

    // The last group committed, the book one file again, the connection
    // closed. Never throws; what was lost is told by the result.
    WritingProgress end();
    bool ended() const { return !conn_; }

private:
    enum class StepKind { Insert, Replace, File };
    struct Step {
        StepKind kind;
        std::shared_ptr<WrittenDocument> document;
        ItemList items;  // Insert, Replace
        QString unid;  // Insert
        qint64 time = 0;  // Insert, Replace: ms since 1970
        QString folder;  // File
        qint64 modified = 0;  // Insert: saved again before it was committed
    };
    struct Group {
        quint64 serial = 0;
        std::vector<Step> steps;
        std::vector<std::shared_ptr<WrittenDocument>> complete;  // in the order numbered
        std::chrono::steady_clock::time_point start;
    };

    void needOpen() const;
    void ensureGroup();
    bool groupDue() const;
    void releasePending();
    void handOff();
    void waitIdle();
    void work();
    std::vector<LostDocument> commit(Group& group);
    void fileStep(WrittenDocument& document, const QString& folder, qint64& createdFolder);
    void takeOut(const WrittenDocument& document, qint64 createdFolder);
    void noticeOtherWriters();
    void checkAtItsPath();
    static qint64 oldestOf(const Group& group);

    std::unique_ptr<Connection> conn_;
    QString path_;
    FileIdentity identity_;
    qint64 lastNumber_ = 0;

    // The filling group and the pending document: the caller's alone.
    Group filling_;
    std::shared_ptr<WrittenDocument> pending_;

    // The group being committed and what became of the groups committed:
    // shared with the group's thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Group> committing_;
    std::vector<LostDocument> lost_;
    bool stopping_ = false;
    std::thread thread_;

    // The commit's own (whoever runs it).
    QHash<QString, qint64> folderIds_;  // folder name -> id
    qint64 seenDataVersion_ = 0;
    QString letGo_;  // why the book was let go of while it was written (moved away)
};

}  // namespace notes::store
