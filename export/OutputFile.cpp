#include "export/OutputFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

[[noreturn]] void fail(OutputFileError::Kind kind, const QString& message)
{
    throw OutputFileError(kind, message);
}

}  // namespace

OutputFileError::OutputFileError(Kind kind, const QString& message)
    : std::runtime_error(message.toStdString())
    , kind_(kind)
{
}

OutputFile::OutputFile(const QString& target)
    : target_(target)
{
    const QFileInfo info(target);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    fd_ = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ >= 0)
        return;
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
        fail(OutputFileError::CannotCreate, target + QStringLiteral(": cannot write here: ") + systemError(errno));
    QByteArray pattern = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                           + QStringLiteral(".part-XXXXXX"));
    fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0)
        fail(OutputFileError::CannotCreate, target + QStringLiteral(": cannot write here: ") + systemError(errno));
    path_ = pattern;
}

OutputFile::~OutputFile()
{
    if (fd_ >= 0)
        ::close(fd_);
    if (!path_.isEmpty())
        ::unlink(path_.constData());
}

void OutputFile::write(const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd_, p, std::size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(OutputFileError::Failed, target_ + QStringLiteral(": ") + systemError(errno));
        p += n;
        left -= n;
        written_ += n;
    }
    // The disk is given what was written so far while the rest is made, so
    // that the closing sync has little left to wait for. Only a hint: where
    // the file system does not take it, the sync does all the work.
    constexpr qint64 WritebackStep = 8 << 20;
    if (written_ - handedToDisk_ >= WritebackStep) {
        ::sync_file_range(fd_, handedToDisk_, written_ - handedToDisk_, SYNC_FILE_RANGE_WRITE);
        handedToDisk_ = written_;
    }
}

void OutputFile::commit(bool replace)
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd_, 0666 & ~mask) != 0 || ::fsync(fd_) != 0)
        fail(OutputFileError::Failed, target_ + QStringLiteral(": ") + systemError(errno));
    const QByteArray target = QFile::encodeName(target_);
    if (path_.isEmpty()) {
        if (replace) {
            // A name of our own first, then moved over the target in one step.
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
        fail(OutputFileError::Failed, target_ + QStringLiteral(": ") + systemError(errno));
    syncFolder();
}

// Gives the unnamed file the name `name`, never replacing anything.
void OutputFile::linkTo(const QByteArray& name)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd_);
    int rc = ::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW);
    if (rc != 0 && errno == ENOENT)  // no /proc: the privileged way
        rc = ::linkat(fd_, "", AT_FDCWD, name.constData(), AT_EMPTY_PATH);
    if (rc != 0)
        failNaming(errno);
}

// Renames `from` to `to`; without `replace`, only when `to` is free.
void OutputFile::rename(const QByteArray& from, const QByteArray& to, bool replace)
{
    if (replace) {
        if (::rename(from.constData(), to.constData()) != 0)
            fail(OutputFileError::Failed, target_ + QStringLiteral(": ") + systemError(errno));
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

void OutputFile::failNaming(int err)
{
    if (err == EEXIST)
        fail(OutputFileError::NameTaken, target_ + QStringLiteral(": a file of that name appeared meanwhile"));
    fail(OutputFileError::Failed, target_ + QStringLiteral(": ") + systemError(err));
}

QByteArray OutputFile::hiddenName() const
{
    const QFileInfo info(target_);
    return QFile::encodeName(
        info.absolutePath() + QStringLiteral("/.") + info.fileName()
        + QStringLiteral(".part-%1").arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0')));
}

void OutputFile::syncFolder()
{
    // Best effort: the new name itself is durable once the folder is.
    const QByteArray folder = QFile::encodeName(QFileInfo(target_).absolutePath());
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}
