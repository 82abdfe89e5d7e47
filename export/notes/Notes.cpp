#include "export/notes/Notes.h"

#include "export/notes/BookFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <sqlite3.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <system_error>
#include <utility>
#include <vector>

namespace notes {

using store::Connection;
using store::Statement;

// Documents are written in groups: a group is one transaction, opened by the
// first document written after the last commit and committed when it holds
// GroupDocuments complete documents or is GroupTime old, and when the writing
// ends (FinishWriting, the book let go of, the program ending). Inside the
// group nothing is committed between a document's Save and its PutInFolder,
// and a document whose filing fails is deleted again, so a document is saved
// and filed together or not at all. A process killed at any moment leaves
// the book as of the last commit.
constexpr int GroupDocuments = 1000;
constexpr auto GroupTime = std::chrono::milliseconds(100);

static LostDocuments& lostTally();
static qint64 nextDocumentNumber();
static void bookOpened(NotesDatabase::Impl* book);
static void bookClosed(NotesDatabase::Impl* book);

// One open address book, shared by every NotesDatabase object of that file
// and kept in a small cache between calls: the writers open their
// destination once per document, and reopening the file each time (header
// check, layout check, statement preparation) would dominate an export.
struct NotesDatabase::Impl {
    std::unique_ptr<Connection> conn;
    QByteArray nativePath;  // the path, as the file system takes it
    // The book's folder, held open while the book is, and the book's name in
    // it: within a group, the writers' look at the file is by name in the
    // folder, cheaper than walking the whole path once per document.
    int folderFd = -1;
    QByteArray fileName;
    qint64 seenDataVersion = 0;
    // Folder name -> folder id. Dropped whenever another connection changed
    // the file, or a group that may have made a folder was lost.
    QHash<QString, qint64> folderIds;

    // The open group.
    bool inGroup = false;
    std::vector<qint64> groupNumbers;  // the numbers of the complete documents in it, rising
    QHash<QString, qint64> groupForms;  // ... by the value of their "Form" item
    std::chrono::steady_clock::time_point groupStart;
    NotesDocument::Impl* pending = nullptr;  // saved, not yet filed

    explicit Impl(std::unique_ptr<Connection> c)
        : conn(std::move(c))
        , nativePath(QFile::encodeName(conn->path()))
        , seenDataVersion(conn->dataVersion())
    {
        const qsizetype slash = nativePath.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : nativePath.left(slash);
        fileName = nativePath.mid(slash + 1);
        folderFd = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        bookOpened(this);
    }

    ~Impl()
    {
        finish();
        bookClosed(this);
        if (folderFd >= 0)
            ::close(folderFd);
    }

    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    // Forgets what may have been changed by another connection since we
    // last looked.
    void noticeOtherWriters()
    {
        const qint64 v = conn->dataVersion();
        if (v != seenDataVersion) {
            folderIds.clear();
            seenDataVersion = v;
        }
    }

    bool groupDue() const
    {
        return groupNumbers.size() >= std::size_t(GroupDocuments)
            || std::chrono::steady_clock::now() - groupStart >= GroupTime;
    }

    // Makes sure a group is open for the next write; commits a group that is
    // due first, unless a document is half written.
    void ensureGroup()
    {
        if (inGroup && !pending && groupDue())
            commitGroup();
        if (inGroup)
            return;
        conn->beginWriting();
        conn->statement("BEGIN IMMEDIATE").run();
        inGroup = true;
        groupStart = std::chrono::steady_clock::now();
        try {
            noticeOtherWriters();
        } catch (const NotesError& e) {
            loseGroup(e.what());
            throw;
        }
    }

    // A document saved and filed (or let go of after its save): counted in
    // the group, which is committed when due.
    // `callerHears`: the caller reports this document's failure itself, so
    // it is not counted as lost when the commit fails.
    void completeDocument(const QString& form, qint64 number, bool callerHears)
    {
        groupNumbers.push_back(number);
        ++groupForms[form];
        if (!groupDue())
            return;
        try {
            commitGroup();
        } catch (const NotesError&) {
            if (!callerHears)
                throw;
            // The caller hears of this document through the exception; the
            // tally keeps the others.
            LostDocuments& lost = lostTally();
            std::erase(lost.numbers, number);
            --lost.total;
            if (--lost.byForm[form] == 0)
                lost.byForm.remove(form);
            throw;
        }
    }

    // Whether the book's file is still the one under the path it was opened by.
    bool atItsPath() const
    {
        struct stat st;
        return ::stat(nativePath.constData(), &st) == 0
            && store::FileIdentity{st.st_dev, st.st_ino} == conn->identity();
    }

    void commitGroup()
    {
        try {
            // A book made here is not looked at for each document (see
            // lastBook()) but before its group is committed: a group is
            // lost, and reported so, rather than written into a file that
            // is no longer under the name the user gave.
            if (conn->madeHere() && !atItsPath())
                throw NotesError((conn->path() + QStringLiteral(": the book was moved or removed while it was written"))
                                     .toStdString());
            conn->statement("COMMIT").run();
        } catch (const NotesError& e) {
            loseGroup(e.what());
            throw;
        }
        inGroup = false;
        groupNumbers.clear();
        groupForms.clear();
    }

    // The open group did not make it into the file (rolled back by SQLite
    // on a full disk, say, or by us): its documents are lost and counted,
    // with `cause` when it is the first cause told.
    void loseGroup(const char* cause)
    {
        if (!sqlite3_get_autocommit(conn->handle()))
            sqlite3_exec(conn->handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        LostDocuments& lost = lostTally();
        lost.total += qint64(groupNumbers.size());
        lost.numbers.insert(lost.numbers.end(), groupNumbers.begin(), groupNumbers.end());
        for (auto it = groupForms.cbegin(); it != groupForms.cend(); ++it)
            lost.byForm[it.key()] += it.value();
        if (lost.cause.isEmpty() && !groupNumbers.empty())
            lost.cause = QString::fromUtf8(cause);
        inGroup = false;
        groupNumbers.clear();
        groupForms.clear();
        folderIds.clear();
        dropPending();
    }

    void dropPending();
    void releasePending(bool callerHears = false);
    void abandonPending(const char* cause, qint64 createdFolder = 0);

    // Ends the writing of this book: the open group committed, the log
    // folded into the file. Never throws; what is lost is counted.
    void finish()
    {
        try {
            releasePending();
            if (inGroup)
                commitGroup();
        } catch (const NotesError&) {
            // Counted by loseGroup(); nothing else to do at the end.
        }
        conn->endWriting();
    }
};

struct NotesDocument::Impl {
    std::shared_ptr<NotesDatabase::Impl> db;
    store::ItemList items;  // in the order first written
    std::vector<std::uint32_t> itemKeys;  // foldedKey() of each item's name
    // While a document has fewer than MaxSlottedItems items, their positions
    // (plus one; 0 is free) in a table addressed by key.
    static constexpr std::size_t MaxSlottedItems = 48;
    std::array<std::uint8_t, 64> itemSlots{};
    qint64 noteId = 0;  // 0 until saved
    QString unid;
    qint64 number = 0;  // 0 until complete (see WrittenNumber())

    ~Impl()
    {
        // Saved and never filed: the document stays as saved.
        if (db && db->pending == this) {
            try {
                db->releasePending();
            } catch (const NotesError&) {
                // Counted as lost by the group; a destructor cannot say more.
            }
        }
    }

    QString form() const
    {
        for (const auto& item : items)
            if (item.first.compare(QLatin1String("Form"), Qt::CaseInsensitive) == 0)
                return item.second;
        return QString();
    }
};

void NotesDatabase::Impl::dropPending()
{
    if (pending) {
        pending->noteId = 0;
        pending->unid.clear();
        pending = nullptr;
    }
}

// The pending document stays as it was saved.
void NotesDatabase::Impl::releasePending(bool callerHears)
{
    if (!pending)
        return;
    NotesDocument::Impl* document = pending;
    pending = nullptr;
    document->number = nextDocumentNumber();
    completeDocument(document->form(), document->number, callerHears);
}

// The pending document is taken out again, with a folder its filing made:
// its save and its filing are one. (Nothing is committed between the two,
// so a killed program never leaves it half written either.)
void NotesDatabase::Impl::abandonPending(const char* cause, qint64 createdFolder)
{
    if (!pending)
        return;
    if (sqlite3_get_autocommit(conn->handle())) {
        // SQLite rolled the whole group back.
        loseGroup(cause);
        return;
    }
    const qint64 noteId = pending->noteId;
    dropPending();
    try {
        conn->statement("DELETE FROM folder_entries WHERE note_id=?1").bind(1, noteId).run();
        conn->statement("DELETE FROM notes WHERE note_id=?1").bind(1, noteId).run();
        if (createdFolder != 0)
            conn->statement("DELETE FROM folders WHERE folder_id=?1").bind(1, createdFolder).run();
    } catch (const NotesError& e) {
        loseGroup(e.what());
        return;
    }
    // A group left with nothing in it ends at once: it would only keep
    // other programs from writing to the book.
    if (groupNumbers.empty()) {
        try {
            commitGroup();
        } catch (const NotesError&) {
            // Nothing was in it to lose.
        }
    }
}

namespace {

// The cache of open books, most recently used at the back, and the documents
// lost since FinishWriting() last reported (complete documents whose group
// could not be committed). When the program ends normally, the books still
// open are finished here, while the tally still exists.
struct OpenBooks {
    LostDocuments lost;
    qint64 lastNumber = 0;  // of the last document completed
    std::vector<NotesDatabase::Impl*> live;  // every book open, cached or not
    std::vector<std::shared_ptr<NotesDatabase::Impl>> books;
    ~OpenBooks() { books.clear(); }
};

constexpr std::size_t MaxCachedBooks = 4;

OpenBooks& openBooksState()
{
    static OpenBooks open;
    return open;
}

std::vector<std::shared_ptr<NotesDatabase::Impl>>& openBooks()
{
    return openBooksState().books;
}

}  // namespace

static LostDocuments& lostTally()
{
    return openBooksState().lost;
}

static qint64 nextDocumentNumber()
{
    return ++openBooksState().lastNumber;
}

static void bookOpened(NotesDatabase::Impl* book)
{
    openBooksState().live.push_back(book);
}

static void bookClosed(NotesDatabase::Impl* book)
{
    std::erase(openBooksState().live, book);
}

namespace {

void remember(std::shared_ptr<NotesDatabase::Impl> impl)
{
    auto& books = openBooks();
    books.push_back(std::move(impl));
    if (books.size() > MaxCachedBooks)
        books.erase(books.begin());
}

// Drops every cached book whose file is no longer at the path it was opened
// by (moved, replaced or deleted since), after finishing its writing into
// its own file: SQLite would leave the log of a moved file behind under the
// old name, where a new file at that path would take it for its own. Then
// returns the cached book of `path`, if any.
std::shared_ptr<NotesDatabase::Impl> cachedBook(const QString& path)
{
    auto& books = openBooks();
    std::shared_ptr<NotesDatabase::Impl> found;
    for (auto it = books.begin(); it != books.end();) {
        if (!(*it)->atItsPath()) {
            (*it)->finish();
            it = books.erase(it);
        } else {
            if ((*it)->conn->path() == path)
                found = *it;
            ++it;
        }
    }
    if (found && books.back() != found) {
        // Most recently used last.
        std::erase(books, found);
        books.push_back(found);
    }
    return found;
}

// Whether the book's file is still under its name in its folder.
bool stillInItsFolder(const NotesDatabase::Impl& book)
{
    if (book.folderFd < 0)
        return book.atItsPath();
    struct stat st;
    return ::fstatat(book.folderFd, book.fileName.constData(), &st, 0) == 0
        && store::FileIdentity{st.st_dev, st.st_ino} == book.conn->identity();
}

// The book opened last, when `file` is exactly its path and the file is
// still there: the writers ask for the same book once per document, and
// this answers them with one look at the file at most. A book this program
// made is looked at once per group, before the group is committed (see
// commitGroup()). Any other book is written through its log, which stays
// beside the file under its name: there a file replaced or removed is
// noticed at the next document; a folder moved away (and another put in its
// place) at the next group, the documents of the open group going into the
// book where it was moved.
std::shared_ptr<NotesDatabase::Impl> lastBook(const QString& file)
{
    auto& books = openBooks();
    if (books.empty() || books.back()->conn->path() != file)
        return nullptr;
    const NotesDatabase::Impl& book = *books.back();
    if (book.inGroup && book.conn->madeHere())
        return books.back();
    if (!(book.inGroup ? stillInItsFolder(book) : book.atItsPath()))
        return nullptr;
    return books.back();
}

QString executableDirectory()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return QString();
    return QFile::decodeName(QByteArray::fromStdString(exe.parent_path().string()));
}

// Where the templates installed with the program live: beside the binary in
// the build tree (bin/templates, also reached from the test folder), and
// share/pellaro/templates of the installation prefix.
QStringList templateDirectories()
{
    const QString exeDir = executableDirectory();
    if (exeDir.isEmpty())
        return {};
    return {exeDir + QStringLiteral("/templates"), exeDir + QStringLiteral("/../bin/templates"),
            exeDir + QStringLiteral("/../share/pellaro/templates")};
}

// A bare file name such as "names.nsf" is looked up in the data directory,
// then among the installed templates; any other relative path is the
// working directory's.
QString resolveExisting(const QString& file)
{
    if (file.isEmpty())
        throw NotesError("no database file named");
    if (QDir::isAbsolutePath(file))
        return QDir::cleanPath(file);
    if (file.contains(u'/'))
        return QDir::cleanPath(QFileInfo(file).absoluteFilePath());
    const QString inData = QDir(NotesSession::DataDirectory()).filePath(file);
    if (QFileInfo::exists(inData))
        return QDir::cleanPath(inData);
    for (const QString& dir : templateDirectories()) {
        const QString candidate = QDir(dir).filePath(file);
        if (QFileInfo::exists(candidate))
            return QDir::cleanPath(QFileInfo(candidate).absoluteFilePath());
    }
    throw NotesError(("database not found: " + file).toStdString());
}

// A bare file name for a new file is the data directory's, as for an
// existing one; any other relative path is the working directory's.
QString resolveNew(const QString& file)
{
    if (file.isEmpty())
        throw NotesError("no database file named");
    if (!file.contains(u'/'))
        return QDir::cleanPath(QDir(NotesSession::DataDirectory()).filePath(file));
    return QDir::cleanPath(QFileInfo(file).absoluteFilePath());
}

}  // namespace

// ------------------------------------------------------------------ Session

NotesSession::NotesSession() = default;
NotesSession::~NotesSession() = default;

QString NotesSession::DataDirectory()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base))
        base = QDir::homePath() + QStringLiteral("/.local/share");
    const QString dir = base + QStringLiteral("/pellaro");
    QDir().mkpath(dir);
    return dir;
}

QString NotesSession::GETENVIRONMENTSTRING(const QString& name, bool system)
{
    // User settings carry a "$" in front of their name in notes.ini, system
    // settings none. Names compare without regard to case; the value is the
    // rest of the line after "=", blanks kept.
    const QString key = system ? name : QStringLiteral("$") + name;
    QFile ini(QDir(DataDirectory()).filePath(QStringLiteral("notes.ini")));
    if (!ini.open(QIODevice::ReadOnly))
        return QString();
    const QList<QByteArray> lines = ini.readAll().split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        if (QString::fromUtf8(line.left(eq)).trimmed().compare(key, Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(line.mid(eq + 1));
    }
    return QString();
}

std::unique_ptr<NotesDatabase> NotesSession::GetDatabase(const QString& server, const QString& file)
{
    if (!server.isEmpty())
        throw NotesError(("no server access: " + server).toStdString());
    if (auto impl = lastBook(file))
        return std::unique_ptr<NotesDatabase>(new NotesDatabase(impl));
    const QString path = resolveExisting(file);
    if (auto impl = cachedBook(path))
        return std::unique_ptr<NotesDatabase>(new NotesDatabase(impl));
    auto impl = std::make_shared<NotesDatabase::Impl>(Connection::openExisting(path, Connection::Mode::ReadWrite));
    remember(impl);
    return std::unique_ptr<NotesDatabase>(new NotesDatabase(impl));
}

// ----------------------------------------------------------------- Database

NotesDatabase::NotesDatabase(std::shared_ptr<Impl> impl)
    : d(std::move(impl))
{
}

NotesDatabase::~NotesDatabase() = default;

QString NotesDatabase::FilePath() const
{
    return d->conn->path();
}

std::unique_ptr<NotesDatabase> NotesDatabase::CreateCopy(const QString& server, const QString& path)
{
    if (!server.isEmpty())
        throw NotesError(("no server access: " + server).toStdString());
    Connection& source = *d->conn;
    const QString target = resolveNew(path);
    cachedBook(target);  // a book that was at that path before must let go of its log first

    // The design first: what cannot be read here is the design's fault.
    const QString title = source.bookValue("title");
    QString design = source.bookValue("template_name");
    if (design.isEmpty())
        design = QFileInfo(source.path()).fileName();
    struct DesignNote {
        QString unid;
        QByteArray noteClass;
        store::ItemList items;
    };
    std::vector<DesignNote> notes;
    Statement notesQuery(source.handle(),
                         "SELECT unid, class, items FROM notes WHERE class<>'document' "
                         "ORDER BY note_id");
    while (notesQuery.step())
        notes.push_back({notesQuery.columnText(0), notesQuery.columnText(1).toUtf8(), notesQuery.columnItems(2)});
    QStringList folderNames;
    Statement folders(source.handle(), "SELECT name FROM folders ORDER BY folder_id");
    while (folders.step())
        folderNames.append(folders.columnText(0));

    // Then the new file: what fails here is the file system's.
    std::unique_ptr<Connection> copy = Connection::createNew(target, store::KindBook);
    try {
        copy->setBookValue("title", title);
        copy->setBookValue("design_source", design);
        // The design notes, with their universal ids, and the folders (empty).
        for (const DesignNote& n : notes)
            copy->insertNote(std::string_view(n.noteClass.constData(), std::size_t(n.noteClass.size())), n.unid,
                             n.items);
        for (const QString& name : folderNames)
            copy->statement("INSERT INTO folders(name) VALUES(?1)").bind(1, name).run();
    } catch (const NotesFileError&) {
        throw;
    } catch (const NotesError& e) {
        throw NotesFileError(e.what(), 0);
    }
    copy->commitNew();

    auto impl = std::make_shared<Impl>(std::move(copy));
    remember(impl);
    return std::unique_ptr<NotesDatabase>(new NotesDatabase(impl));
}

std::unique_ptr<NotesDocument> NotesDatabase::CreateDocument()
{
    auto impl = std::make_unique<NotesDocument::Impl>();
    impl->db = d;
    impl->items.reserve(40);
    impl->itemKeys.reserve(40);
    return std::unique_ptr<NotesDocument>(new NotesDocument(std::move(impl)));
}

// ----------------------------------------------------------------- Document

NotesDocument::NotesDocument(std::unique_ptr<Impl> impl)
    : d(std::move(impl))
{
}

NotesDocument::~NotesDocument() = default;

namespace {

// A key of an item name under case folding: names equal without regard to
// case have equal keys, so a document finds the item a name replaces by
// comparing numbers first. The key is a polynomial over the folded code
// points, h = h * K + c, taken four ASCII units a step where it can
// (h * K^4 + c0 * K^3 + c1 * K^2 + c2 * K + c3, the same number): item names
// are mostly ASCII, and a step's products do not wait for each other.
std::uint32_t foldedKey(const QString& name)
{
    constexpr std::uint32_t K = 0x01000193u;
    constexpr std::uint32_t K2 = K * K, K3 = K2 * K, K4 = K3 * K;
    const char16_t* p = reinterpret_cast<const char16_t*>(name.constData());
    const qsizetype n = name.size();
    auto lower = [](std::uint32_t c) { return c >= u'A' && c <= u'Z' ? c + 0x20 : c; };
    std::uint32_t h = 0x811C9DC5u;
    for (qsizetype i = 0; i < n;) {
        if (i + 4 <= n && (p[i] | p[i + 1] | p[i + 2] | p[i + 3]) < 0x80) {
            h = h * K4 + lower(p[i]) * K3 + lower(p[i + 1]) * K2 + lower(p[i + 2]) * K + lower(p[i + 3]);
            i += 4;
            continue;
        }
        char32_t c = p[i++];
        if (c < 0x80) {
            c = lower(c);
        } else if (QChar::isHighSurrogate(c) && i < n && QChar::isLowSurrogate(p[i])) {
            c = QChar::toCaseFolded(QChar::surrogateToUcs4(char16_t(c), p[i]));
            ++i;
        } else {
            c = QChar::toCaseFolded(c);
        }
        h = h * K + std::uint32_t(c);
    }
    return h;
}

}  // namespace

void NotesDocument::ReplaceItemValue(const QString& name, QString value)
{
    if (name.isEmpty())
        throw NotesError("an item needs a name");
    // Item names compare without regard to case, as in Notes; the item keeps
    // its place and takes the name as given now.
    const std::uint32_t key = foldedKey(name);
    auto same = [&](std::size_t i) {
        return d->itemKeys[i] == key && d->items[i].first.compare(name, Qt::CaseInsensitive) == 0;
    };
    auto replace = [&](std::size_t i) {
        d->items[i].first = name;
        d->items[i].second = std::move(value);
    };
    auto& table = d->itemSlots;
    const std::size_t count = d->items.size();
    if (count < NotesDocument::Impl::MaxSlottedItems) {
        // An open-addressing table over the keys: found in a step or two.
        std::size_t h = key % table.size();
        for (; table[h] != 0; h = (h + 1) % table.size()) {
            if (same(table[h] - 1u)) {
                replace(table[h] - 1u);
                return;
            }
        }
        table[h] = static_cast<std::uint8_t>(count + 1);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            if (same(i)) {
                replace(i);
                return;
            }
        }
    }
    d->items.emplace_back(name, std::move(value));
    d->itemKeys.push_back(key);
}

void NotesDocument::Save(bool /*force*/, bool /*makeResponse*/)
{
    NotesDatabase::Impl& db = *d->db;
    Connection& c = *db.conn;
    if (d->noteId != 0) {
        // Saved before: its items are replaced in the open group.
        if (db.pending != d.get())
            db.ensureGroup();
        try {
            c.replaceItems(d->noteId, d->items);
        } catch (const NotesError& e) {
            if (sqlite3_get_autocommit(c.handle()))
                db.loseGroup(e.what());
            throw;
        }
        return;
    }
    db.ensureGroup();
    // Another document saved and not filed stays as it was saved.
    db.releasePending();
    try {
        const QString unid = Connection::newUnid();
        d->noteId = c.insertNote(store::ClassDocument, unid, d->items);
        d->unid = unid;
    } catch (const NotesError& e) {
        if (sqlite3_get_autocommit(c.handle()))
            db.loseGroup(e.what());
        throw;
    }
    db.pending = d.get();
}

qint64 NotesDocument::WrittenNumber() const
{
    return d->number;
}

void NotesDocument::PutInFolder(const QString& folderName)
{
    if (d->noteId == 0)
        throw NotesError("the document is not saved");
    NotesDatabase::Impl& db = *d->db;
    Connection& c = *db.conn;
    const bool pending = db.pending == d.get();
    qint64 folderId = 0;
    qint64 createdFolder = 0;
    try {
        if (folderName.isEmpty())
            throw NotesError("a folder needs a name");
        if (!pending)
            db.ensureGroup();
        folderId = db.folderIds.value(folderName, 0);
        if (folderId == 0) {
            Statement& find = c.statement("SELECT folder_id FROM folders WHERE name=?1");
            find.bind(1, folderName);
            if (find.step())
                folderId = find.columnInt(0);
            find.reset();
        }
        if (folderId == 0) {
            c.statement("INSERT INTO folders(name) VALUES(?1)").bind(1, folderName).run();
            folderId = createdFolder = sqlite3_last_insert_rowid(c.handle());
        }
        c.statement("INSERT OR IGNORE INTO folder_entries(folder_id, note_id) VALUES(?1, ?2)")
            .bind(1, folderId)
            .bind(2, d->noteId)
            .run();
    } catch (const NotesError& e) {
        // A document whose filing fails is taken out again: it is never in
        // the book without its folder.
        if (pending)
            db.abandonPending(e.what(), createdFolder);
        else if (sqlite3_get_autocommit(c.handle()))
            db.loseGroup(e.what());
        throw;
    }
    db.folderIds.insert(folderName, folderId);
    if (pending)
        db.releasePending(true);
}

// ------------------------------------------------------------------ Finish

LostDocuments FinishWriting()
{
    auto& books = openBooks();
    for (const auto& book : books)
        book->finish();
    books.clear();
    return TakeLostDocuments();
}

LostDocuments TakeLostDocuments()
{
    if (lostTally().total == 0 && lostTally().numbers.empty())
        return LostDocuments();
    return std::exchange(lostTally(), LostDocuments());
}

qint64 OldestUncommittedDocument()
{
    qint64 oldest = 0;
    for (const NotesDatabase::Impl* book : openBooksState().live)
        if (!book->groupNumbers.empty() && (oldest == 0 || book->groupNumbers.front() < oldest))
            oldest = book->groupNumbers.front();
    return oldest;
}

namespace store {

void commitPendingWrites(const FileIdentity& file)
{
    for (const auto& book : openBooks()) {
        if (book->conn->identity() != file || !book->inGroup)
            continue;
        try {
            book->releasePending();
            book->commitGroup();
        } catch (const NotesError&) {
            // Counted as lost; the reader sees the book as it is.
        }
    }
}

}  // namespace store

}  // namespace notes
