#include "export/BookExport.h"

#include "export/DxlWriter.h"
#include "export/VCardWriter.h"
#include "export/notes/BookReader.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Output is handed to the file in pieces of about this size.
constexpr qsizetype FlushSize = 256 * 1024;

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

[[noreturn]] void fail(BookExportError::Kind kind, const QString& message)
{
    throw BookExportError(kind, message);
}

// The output under construction: an unnamed file in OUT's folder
// (O_TMPFILE), given its name only by commit(), so that an export that fails
// or is killed leaves nothing behind. Where the file system has no unnamed
// files, a hidden temporary file beside OUT, removed again unless committed.
class TemporaryOutput {
public:
    explicit TemporaryOutput(const QString& target)
        : target_(target)
    {
        const QFileInfo info(target);
        const QByteArray folder = QFile::encodeName(info.absolutePath());
        fd_ = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            return;
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            fail(BookExportError::BadInput, target + QStringLiteral(": cannot write here: ") + systemError(errno));
        QByteArray pattern = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                               + QStringLiteral(".part-XXXXXX"));
        fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd_ < 0)
            fail(BookExportError::BadInput, target + QStringLiteral(": cannot write here: ") + systemError(errno));
        path_ = pattern;
    }

    ~TemporaryOutput()
    {
        if (fd_ >= 0)
            ::close(fd_);
        if (!path_.isEmpty())
            ::unlink(path_.constData());
    }

    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    void write(const QByteArray& bytes)
    {
        const char* p = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0) {
            const ssize_t n = ::write(fd_, p, std::size_t(left));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                fail(BookExportError::Failed, target_ + QStringLiteral(": ") + systemError(errno));
            p += n;
            left -= n;
        }
    }

    // Makes the file durable and gives it the requested name: replacing what
    // is there only when `replace`.
    void commit(bool replace)
    {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        if (::fchmod(fd_, 0666 & ~mask) != 0 || ::fsync(fd_) != 0)
            fail(BookExportError::Failed, target_ + QStringLiteral(": ") + systemError(errno));
        const QByteArray target = QFile::encodeName(target_);
        if (path_.isEmpty()) {
            if (replace) {
                // A name of our own first, then moved over OUT in one step.
                path_ = hiddenName();
                linkTo(path_);
                rename(path_, target, true);
                path_.clear();
            } else {
                linkTo(target);
            }
        } else {
            rename(path_, target, replace);
            path_.clear();
        }
        const int closed = ::close(fd_);
        fd_ = -1;
        if (closed != 0)
            fail(BookExportError::Failed, target_ + QStringLiteral(": ") + systemError(errno));
        syncFolder();
    }

private:
    // Gives the unnamed file the name `name`, never replacing anything.
    void linkTo(const QByteArray& name)
    {
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd_);
        int rc = ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW);
        if (rc != 0 && errno == ENOENT)  // no /proc: the privileged way
            rc = ::linkat(fd_, "", AT_FDCWD, name.constData(), AT_EMPTY_PATH);
        if (rc != 0)
            failNaming(errno);
    }

    // Renames `from` to `to`; without `replace`, only when `to` is free.
    void rename(const QByteArray& from, const QByteArray& to, bool replace)
    {
        if (replace) {
            if (::rename(from.constData(), to.constData()) != 0)
                fail(BookExportError::Failed, target_ + QStringLiteral(": ") + systemError(errno));
            return;
        }
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
            return;
        int err = errno;
        if (err == EINVAL || err == ENOSYS) {
            // A file system without exclusive rename: a hard link fails
            // just as surely when the name is taken.
            err = ::link(from.constData(), to.constData()) == 0 ? 0 : errno;
        }
        if (err != 0)
            failNaming(err);
        ::unlink(from.constData());
    }

    [[noreturn]] void failNaming(int err)
    {
        if (err == EEXIST)
            fail(BookExportError::BadInput,
                 target_ + QStringLiteral(": a file of that name appeared meanwhile; use --force to replace it"));
        fail(BookExportError::Failed, target_ + QStringLiteral(": ") + systemError(err));
    }

    QByteArray hiddenName() const
    {
        const QFileInfo info(target_);
        return QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                 + QStringLiteral(".part-%1").arg(QRandomGenerator::global()->generate64(), 16, 16,
                                                                  QLatin1Char('0')));
    }

    void syncFolder()
    {
        // Best effort: the new name itself is durable once the folder is.
        const QByteArray folder = QFile::encodeName(QFileInfo(target_).absolutePath());
        const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }

    QString target_;
    QByteArray path_;  // the named temporary file, when there is one
    int fd_ = -1;
};

// Refuses an OUT that must not be written: a folder, the book itself, or an
// existing file without `force`.
void checkTarget(const BookExportOptions& o)
{
    if (o.out.isEmpty())
        fail(BookExportError::BadInput, QStringLiteral("no output file named"));
    const QByteArray out = QFile::encodeName(o.out);
    struct stat target;
    if (::stat(out.constData(), &target) != 0) {
        if (errno == ENOENT) {
            // A dangling symbolic link would be replaced by the rename: it is
            // a name that exists all the same.
            struct stat link;
            if (!o.force && ::lstat(out.constData(), &link) == 0)
                fail(BookExportError::BadInput,
                     o.out + QStringLiteral(": already exists; use --force to replace it"));
            return;
        }
        fail(BookExportError::BadInput, o.out + QStringLiteral(": ") + systemError(errno));
    }
    if (S_ISDIR(target.st_mode))
        fail(BookExportError::BadInput, o.out + QStringLiteral(": is a folder"));
    struct stat book;
    if (::stat(QFile::encodeName(o.book).constData(), &book) == 0 && book.st_dev == target.st_dev
        && book.st_ino == target.st_ino)
        fail(BookExportError::BadInput, o.out + QStringLiteral(": is the address book being exported"));
    if (!o.force)
        fail(BookExportError::BadInput, o.out + QStringLiteral(": already exists; use --force to replace it"));
}

} // namespace

BookExportError::BookExportError(Kind kind, const QString& message)
    : std::runtime_error(message.toStdString())
    , kind_(kind)
{
}

BookExportResult ExportBook(const BookExportOptions& o, const std::function<void(qint64)>& afterDocument)
{
    std::unique_ptr<notes::BookReader> reader;
    try {
        reader = std::make_unique<notes::BookReader>(o.book);
    } catch (const notes::NotesError& e) {
        fail(BookExportError::BadInput, QString::fromStdString(e.what()));
    }
    checkTarget(o);

    TemporaryOutput file(o.out);
    BookExportResult result;
    QByteArray buffer;
    buffer.reserve(FlushSize + 64 * 1024);
    auto flushIfFull = [&] {
        if (buffer.size() >= FlushSize) {
            file.write(buffer);
            buffer.resize(0);
        }
    };

    DxlWriter dxl;
    VCardWriter vcard;
    if (o.format == ExportFormat::Dxl)
        dxl.begin(buffer, {QFileInfo(o.book).absoluteFilePath(), reader->title(), reader->replicaId()});

    qint64 read = 0;
    try {
        reader->forEachDocument(o.withDesign && o.format == ExportFormat::Dxl, [&](const notes::StoredDocument& doc) {
            const bool written =
                o.format == ExportFormat::Dxl ? dxl.writeDocument(buffer, doc) : vcard.writeDocument(buffer, doc);
            ++(written ? result.exported : result.leftOut);
            flushIfFull();
            ++read;
            if (o.stopRequested && *o.stopRequested)
                fail(BookExportError::Interrupted, QStringLiteral("export interrupted"));
            if (afterDocument)
                afterDocument(read);
        });
    } catch (const notes::NotesError& e) {
        fail(BookExportError::Failed, o.book + QStringLiteral(": ") + QString::fromStdString(e.what()));
    }

    if (o.format == ExportFormat::Dxl) {
        dxl.end(buffer);
        result.replacedCharacters = dxl.replacedCharacters();
    } else {
        result.replacedCharacters = vcard.replacedCharacters();
    }
    file.write(buffer);
    file.commit(o.force);
    return result;
}
