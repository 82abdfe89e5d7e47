#include "export/notes/Notes.h"

#include "export/notes/BookFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringList>

#include <sqlite3.h>

#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <vector>

namespace notes {

using store::Connection;
using store::Statement;

// One open address book, shared by every NotesDatabase object of that file
// and kept in a small cache between calls: the writers open their
// destination once per document, and reopening the file each time (header
// check, layout check, statement preparation) would dominate an export.
struct NotesDatabase::Impl {
    std::unique_ptr<Connection> conn;
    qint64 seenDataVersion = 0;
    // Folder name -> folder id. Only filled after the folder's row is
    // committed, and dropped whenever another connection changed the file.
    QHash<QString, qint64> folderIds;

    explicit Impl(std::unique_ptr<Connection> c)
        : conn(std::move(c))
        , seenDataVersion(conn->dataVersion())
    {
    }

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
};

struct NotesDocument::Impl {
    std::shared_ptr<NotesDatabase::Impl> db;
    store::ItemList items;  // in the order first written
    qint64 noteId = 0;                               // 0 until saved
    QString unid;
};

namespace {

constexpr std::size_t MaxCachedBooks = 4;

// Most recently used at the back.
std::vector<std::shared_ptr<NotesDatabase::Impl>>& openBooks()
{
    static std::vector<std::shared_ptr<NotesDatabase::Impl>> books;
    return books;
}

void remember(std::shared_ptr<NotesDatabase::Impl> impl)
{
    auto& books = openBooks();
    books.push_back(std::move(impl));
    if (books.size() > MaxCachedBooks)
        books.erase(books.begin());
}

// Drops every cached book whose file is no longer at the path it was opened
// by (moved, replaced or deleted since). Its write-ahead log is checkpointed
// into its own file and emptied first: SQLite leaves the log of a moved file
// behind under the old name, where a new file at that path would take it for
// its own. Then returns the cached book of `path`, if any.
std::shared_ptr<NotesDatabase::Impl> cachedBook(const QString& path)
{
    auto& books = openBooks();
    std::shared_ptr<NotesDatabase::Impl> found;
    for (auto it = books.begin(); it != books.end();) {
        const Connection& conn = *(*it)->conn;
        struct stat st;
        const bool current = ::stat(QFile::encodeName(conn.path()).constData(), &st) == 0
                             && store::FileIdentity{st.st_dev, st.st_ino} == conn.identity();
        if (!current) {
            (*it)->conn->checkpointAndEmptyLog();
            it = books.erase(it);
        } else {
            if (conn.path() == path)
                found = *it;
            ++it;
        }
    }
    if (found) {
        // Most recently used last.
        std::erase(books, found);
        books.push_back(found);
    }
    return found;
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

// A path given relative (a bare name such as "names.nsf" in particular) is
// looked up in the data directory, then among the installed templates.
QString resolveExisting(const QString& file)
{
    if (file.isEmpty())
        throw NotesError("no database file named");
    if (QDir::isAbsolutePath(file))
        return QDir::cleanPath(file);
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

QString resolveNew(const QString& file)
{
    if (file.isEmpty())
        throw NotesError("no database file named");
    if (QDir::isAbsolutePath(file))
        return QDir::cleanPath(file);
    return QDir::cleanPath(QDir(NotesSession::DataDirectory()).filePath(file));
}

// BEGIN IMMEDIATE ... COMMIT, rolled back when left by an exception.
class WriteTransaction {
public:
    explicit WriteTransaction(Connection& c)
        : c_(c)
    {
        c_.statement("BEGIN IMMEDIATE").run();
    }
    ~WriteTransaction()
    {
        if (!done_ && !sqlite3_get_autocommit(c_.handle()))
            sqlite3_exec(c_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
    void commit()
    {
        c_.statement("COMMIT").run();
        done_ = true;
    }

private:
    Connection& c_;
    bool done_ = false;
};

} // namespace

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
    const QString path = resolveExisting(file);
    if (auto impl = cachedBook(path)) {
        impl->noticeOtherWriters();
        return std::unique_ptr<NotesDatabase>(new NotesDatabase(impl));
    }
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
    std::unique_ptr<Connection> copy = Connection::createNew(target, store::KindBook);

    copy->setBookValue("title", source.bookValue("title"));
    QString design = source.bookValue("template_name");
    if (design.isEmpty())
        design = QFileInfo(source.path()).fileName();
    copy->setBookValue("design_source", design);

    // The design notes, with their universal ids, and the folders (empty).
    Statement notesQuery(source.handle(), "SELECT unid, class, items FROM notes WHERE class<>'document' "
                                          "ORDER BY note_id");
    while (notesQuery.step()) {
        const QByteArray noteClass = notesQuery.columnText(1).toUtf8();
        copy->insertNote(std::string_view(noteClass.constData(), std::size_t(noteClass.size())),
                         notesQuery.columnText(0), notesQuery.columnItems(2));
    }
    Statement folders(source.handle(), "SELECT name FROM folders ORDER BY folder_id");
    while (folders.step()) {
        const QString name = folders.columnText(0);
        copy->statement("INSERT INTO folders(name) VALUES(?1)").bind(1, name).run();
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
    return std::unique_ptr<NotesDocument>(new NotesDocument(std::move(impl)));
}

// ----------------------------------------------------------------- Document

NotesDocument::NotesDocument(std::unique_ptr<Impl> impl)
    : d(std::move(impl))
{
}

NotesDocument::~NotesDocument() = default;

void NotesDocument::ReplaceItemValue(const QString& name, const QString& value)
{
    if (name.isEmpty())
        throw NotesError("an item needs a name");
    // Item names compare without regard to case, as in Notes; the item keeps
    // its place and takes the name as given now.
    for (auto& item : d->items) {
        if (item.first.size() == name.size() && item.first.compare(name, Qt::CaseInsensitive) == 0) {
            item.first = name;
            item.second = value;
            return;
        }
    }
    d->items.emplace_back(name, value);
}

void NotesDocument::Save(bool /*force*/, bool /*makeResponse*/)
{
    Connection& c = *d->db->conn;
    WriteTransaction t(c);
    if (d->noteId == 0) {
        const QString unid = Connection::newUnid();
        const qint64 noteId = c.insertNote(store::ClassDocument, unid, d->items);
        t.commit();
        d->noteId = noteId;
        d->unid = unid;
    } else {
        c.replaceItems(d->noteId, d->items);
        t.commit();
    }
}

void NotesDocument::PutInFolder(const QString& folderName)
{
    if (d->noteId == 0)
        throw NotesError("the document is not saved");
    if (folderName.isEmpty())
        throw NotesError("a folder needs a name");
    NotesDatabase::Impl& db = *d->db;
    Connection& c = *db.conn;
    WriteTransaction t(c);
    db.noticeOtherWriters();
    qint64 folderId = db.folderIds.value(folderName, 0);
    if (folderId == 0) {
        Statement& find = c.statement("SELECT folder_id FROM folders WHERE name=?1");
        find.bind(1, folderName);
        if (find.step())
            folderId = find.columnInt(0);
        find.reset();
    }
    const bool known = folderId != 0;
    if (!known) {
        c.statement("INSERT INTO folders(name) VALUES(?1)").bind(1, folderName).run();
        folderId = sqlite3_last_insert_rowid(c.handle());
    }
    c.statement("INSERT OR IGNORE INTO folder_entries(folder_id, note_id) VALUES(?1, ?2)")
        .bind(1, folderId)
        .bind(2, d->noteId)
        .run();
    t.commit();
    db.folderIds.insert(folderName, folderId);
    // Our own commit does not move data_version; nothing to refresh.
}

} // namespace notes
