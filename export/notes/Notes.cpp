#include "export/notes/Notes.h"

#include "export/notes/BookFile.h"
#include "export/notes/GroupWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <utility>
#include <vector>

namespace notes {

using store::Connection;
using store::GroupWriter;
using store::Statement;

namespace {

// The books open for writing in this program, so that their writing can be
// ended however the program ends, and a reader of one of them sees what was
// written. Never destroyed: books may be released during the program's end.
std::vector<GroupWriter*>& openBooks()
{
    static auto* books = new std::vector<GroupWriter*>;
    return *books;
}

// A book of this program that was at `path` and was moved or removed since
// lets go of its log, which SQLite keeps under the old name, where a new
// file at that path would take it for its own.
void letGoOfBooksMovedFrom(const QString& path)
{
    for (GroupWriter* book : openBooks()) {
        if (book->path() != path || book->ended())
            continue;
        struct stat st;
        if (::stat(QFile::encodeName(path).constData(), &st) != 0
            || store::FileIdentity{st.st_dev, st.st_ino} != book->identity())
            book->end();
    }
}

}  // namespace

// One open address book: the file and the writing of its groups. Shared by
// the database object and its documents; the writing ends when the last of
// them is released.
struct NotesDatabase::Impl {
    GroupWriter writer;

    explicit Impl(std::unique_ptr<Connection> c)
        : writer(std::move(c))
    {
        openBooks().push_back(&writer);
    }
    ~Impl()
    {
        writer.end();
        std::erase(openBooks(), &writer);
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
};

struct NotesDocument::Impl {
    std::shared_ptr<NotesDatabase::Impl> db;
    store::ItemList items;  // in the order first written
    std::vector<std::uint32_t> itemKeys;  // foldedKey() of each item's name
    // While a document has fewer than MaxSlottedItems items, their positions
    // (plus one; 0 is free) in a table addressed by key.
    static constexpr std::size_t MaxSlottedItems = 48;
    std::array<std::uint8_t, 64> itemSlots{};
    std::shared_ptr<store::WrittenDocument> written;  // null until saved

    ~Impl()
    {
        // Saved and never filed: the document stays as saved.
        if (db && written)
            db->writer.release(written);
    }
};

namespace {

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
    const QString path = resolveExisting(file);
    // What this program wrote to the file through another database object
    // comes first.
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        store::commitPendingWrites({st.st_dev, st.st_ino});
    auto impl = std::make_shared<NotesDatabase::Impl>(Connection::openExisting(path, Connection::Mode::ReadWrite));
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
    return d->writer.path();
}

WritingProgress NotesDatabase::TakeProgress()
{
    return d->writer.takeProgress();
}

WritingProgress NotesDatabase::EndWriting()
{
    return d->writer.end();
}

std::unique_ptr<NotesDatabase> NotesDatabase::CreateCopy(const QString& server, const QString& path)
{
    if (!server.isEmpty())
        throw NotesError(("no server access: " + server).toStdString());
    Connection& source = d->writer.connection();
    const QString target = resolveNew(path);
    letGoOfBooksMovedFrom(target);  // a book that was at that path before must let go of its log first

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
    GroupWriter& writer = d->db->writer;
    if (d->written)
        writer.saveAgain(d->written, d->items);
    else
        d->written = writer.save(d->items);
}

void NotesDocument::PutInFolder(const QString& folderName)
{
    if (!d->written)
        throw NotesError("the document is not saved");
    d->db->writer.file(d->written, folderName);
}

qint64 NotesDocument::WrittenNumber() const
{
    return d->written ? d->written->number : 0;
}

// ------------------------------------------------------------------ Finish

void FinishWriting()
{
    for (GroupWriter* book : openBooks())
        book->end();
}

namespace store {

void commitPendingWrites(const FileIdentity& file)
{
    for (GroupWriter* book : openBooks())
        if (book->identity() == file)
            book->commitNow();
}

}  // namespace store

}  // namespace notes
