#include "app/ChmArchive.h"

#include <chm_lib.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define PELLARO_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PELLARO_UNDER_ASAN 1
#endif
#endif

namespace {

// ---------------------------------------------------------------------------
// The stream from the reading child: for each file a record of
//   length of the path (4 bytes), length of the data (8 bytes), the path,
//   the data
// (lengths little-endian), then a record with a path length of 0 to say that
// everything was sent.

constexpr qint64 kHeaderSize = 12;

void putLe(unsigned char* to, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        to[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint64_t getLe(const QByteArray& from, qint64 at, int bytes)
{
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | quint8(from.at(qsizetype(at + i)));
    return value;
}

// Exit statuses of the reading child.
enum ChildStatus : int {
    ChildDone = 0,
    ChildCannotOpen = 3,
    ChildTooMuch = 4,
    ChildWriteFailed = 5,
    ChildNoMemory = 6,
};

// ---------------------------------------------------------------------------
// The child. Only chmlib, malloc and plain system calls run here: the child
// is a copy of a process that may have had other threads.

struct ChildContext {
    int fd;
    ChmArchive::Limits limits;
    qint64 total = 0;
    int files = 0;
    int failure = 0;
};

bool writeFully(int fd, const void* data, std::size_t size)
{
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, at, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        at += n;
        size -= std::size_t(n);
    }
    return true;
}

bool writeRecord(int fd, const char* path, std::uint32_t pathLength, const unsigned char* data,
                 std::uint64_t dataLength)
{
    unsigned char header[kHeaderSize];
    putLe(header, pathLength, 4);
    putLe(header + 4, dataLength, 8);
    return writeFully(fd, header, sizeof header) && writeFully(fd, path, pathLength)
        && writeFully(fd, data, std::size_t(dataLength));
}

int sendFile(chmFile* handle, chmUnitInfo* ui, void* context)
{
    ChildContext& c = *static_cast<ChildContext*>(context);
    const std::size_t pathLength = strnlen(ui->path, CHM_MAX_PATHLEN + 1);
    if (pathLength == 0 || pathLength > CHM_MAX_PATHLEN || ui->path[pathLength - 1] == '/')
        return CHM_ENUMERATOR_CONTINUE;
    // A file too large for a help page is left out; the rest may still do.
    if (ui->length > std::uint64_t(c.limits.maxFileSize))
        return CHM_ENUMERATOR_CONTINUE;
    if (++c.files > c.limits.maxFiles || c.total + qint64(ui->length) > c.limits.maxTotalSize) {
        c.failure = ChildTooMuch;
        return CHM_ENUMERATOR_FAILURE;
    }
    c.total += qint64(ui->length);

    auto* buffer = static_cast<unsigned char*>(std::malloc(std::max<std::size_t>(1, std::size_t(ui->length))));
    if (!buffer) {
        c.failure = ChildNoMemory;
        return CHM_ENUMERATOR_FAILURE;
    }
    const LONGINT64 got = ui->length == 0 ? 0 : chm_retrieve_object(handle, ui, buffer, 0, LONGINT64(ui->length));
    // A file that cannot be read to its end is left out.
    bool written = true;
    if (got == LONGINT64(ui->length))
        written = writeRecord(c.fd, ui->path, std::uint32_t(pathLength), buffer, ui->length);
    std::free(buffer);
    if (!written) {
        c.failure = ChildWriteFailed;
        return CHM_ENUMERATOR_FAILURE;
    }
    return CHM_ENUMERATOR_CONTINUE;
}

[[noreturn]] void readInChild(int fd, const char* path, const ChmArchive::Limits& limits, rlim_t memoryLimit)
{
    // A crash here ends only this process, quietly and without a core file;
    // a child that hangs, or outlives the program, is ended by the system.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        std::signal(sig, SIG_DFL);
    const rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    if (memoryLimit != 0) {
        const rlimit memory{memoryLimit, memoryLimit};
        setrlimit(RLIMIT_AS, &memory);
    }
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    alarm(unsigned(limits.timeoutMs / 1000 + 2));

    chmFile* handle = chm_open(path);
    if (!handle)
        _exit(ChildCannotOpen);
    ChildContext context{fd, limits};
    chm_enumerate(handle, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_SPECIAL | CHM_ENUMERATE_FILES, sendFile, &context);
    if (context.failure != 0)
        _exit(context.failure);
    if (!writeRecord(fd, "", 0, nullptr, 0))
        _exit(ChildWriteFailed);
    _exit(ChildDone);
}

// ---------------------------------------------------------------------------
// The parent.

// The most address space the child may take: what the program holds now,
// plus room for the archive and chmlib's own buffers. Under AddressSanitizer,
// whose shadow memory is counted too, there is no limit.
rlim_t childMemoryLimit(const ChmArchive::Limits& limits)
{
#ifdef PELLARO_UNDER_ASAN
    Q_UNUSED(limits);
    return 0;
#else
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const qint64 pages = statm.readLine().split(' ').value(0).trimmed().toLongLong(&ok);
    if (!ok || pages <= 0)
        return 0;
    return rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + rlim_t(2 * limits.maxTotalSize) + rlim_t(256) * 1024 * 1024;
#endif
}

void waitForChild(pid_t pid, int* status)
{
    while (waitpid(pid, status, 0) < 0) {
        if (errno != EINTR) {
            *status = -1;
            return;
        }
    }
}

// Runs the reading child on `path`; the stream it sent when it finished in
// time and without failing, otherwise nothing.
std::optional<QByteArray> readWithChild(const QString& path, const ChmArchive::Limits& limits)
{
    const QByteArray nativePath = QFile::encodeName(path);
    const rlim_t memoryLimit = childMemoryLimit(limits);
    // What a well-behaved child can send at most.
    const qint64 maxStream = limits.maxTotalSize + qint64(limits.maxFiles + 1) * (kHeaderSize + CHM_MAX_PATHLEN);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return std::nullopt;
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        return std::nullopt;
    }
    if (pid == 0) {
        close(fds[0]);
        readInChild(fds[1], nativePath.constData(), limits, memoryLimit);
    }
    close(fds[1]);

    QElapsedTimer clock;
    clock.start();
    QByteArray stream;
    bool complete = false;
    bool failed = false;
    char buffer[64 * 1024];
    while (!complete && !failed) {
        const qint64 left = limits.timeoutMs - clock.elapsed();
        if (left <= 0) {
            failed = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, int(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0) {
            failed = true;
            break;
        }
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            failed = true;
        } else if (n == 0) {
            complete = true;
        } else if (stream.size() + n > maxStream) {
            failed = true;
        } else {
            stream.append(buffer, n);
        }
    }
    close(fds[0]);

    // After the end of the stream the child only exits; give it the rest of
    // the time to do so.
    int status = -1;
    while (!failed) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if ((done < 0 && errno != EINTR) || clock.elapsed() >= limits.timeoutMs) {
            failed = true;
            break;
        }
        usleep(1000);
    }
    if (failed) {
        kill(pid, SIGKILL);
        waitForChild(pid, &status);
        return std::nullopt;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != ChildDone)
        return std::nullopt;
    return stream;
}

quint16 readLe16(const QByteArray& data, qsizetype at)
{
    return quint16(quint8(data[at])) | quint16(quint16(quint8(data[at + 1])) << 8);
}

// A zero-terminated text inside a #SYSTEM record.
QString recordText(const QByteArray& record)
{
    const qsizetype end = record.indexOf('\0');
    return QString::fromUtf8(end < 0 ? record : record.left(end)).trimmed();
}

bool isPage(const QString& path)
{
    return path.endsWith(QLatin1String(".html"), Qt::CaseInsensitive)
        || path.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive);
}

// Codes of the #SYSTEM records used here.
enum : quint16 { SystemContentsFile = 0, SystemDefaultTopic = 2, SystemTitle = 3 };

}  // namespace

std::unique_ptr<ChmArchive> ChmArchive::open(const QString& path, const Limits& limits)
{
    // Only a regular file that at least starts like an archive is handed on.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly) || file.read(4) != "ITSF")
        return nullptr;
    file.close();

    const std::optional<QByteArray> stream = readWithChild(path, limits);
    if (!stream)
        return nullptr;

    // The stream is checked as strictly as any other input.
    std::unique_ptr<ChmArchive> archive(new ChmArchive);
    const QByteArray& s = *stream;
    qint64 at = 0;
    for (;;) {
        if (s.size() - at < kHeaderSize)
            return nullptr;
        const std::uint64_t pathLength = getLe(s, at, 4);
        const std::uint64_t dataLength = getLe(s, at + 4, 8);
        at += kHeaderSize;
        if (pathLength == 0) {
            if (dataLength != 0 || at != s.size())
                return nullptr;
            break;
        }
        if (pathLength > CHM_MAX_PATHLEN || dataLength > std::uint64_t(limits.maxFileSize)
            || qint64(pathLength + dataLength) > s.size() - at)
            return nullptr;
        const QString name = QString::fromUtf8(s.mid(qsizetype(at), qsizetype(pathLength)));
        at += qint64(pathLength);
        const QString key = archivePath(name).toLower();
        if (!archive->files_.contains(key))
            archive->files_.insert(key, Entry{archivePath(name), s.mid(qsizetype(at), qsizetype(dataLength))});
        at += qint64(dataLength);
    }
    archive->readSystemFile();
    return archive;
}

std::optional<QByteArray> ChmArchive::read(const QString& path) const
{
    const auto it = files_.constFind(archivePath(path).toLower());
    if (it == files_.constEnd())
        return std::nullopt;
    return it->data;
}

bool ChmArchive::contains(const QString& path) const
{
    return files_.contains(archivePath(path).toLower());
}

QStringList ChmArchive::paths() const
{
    QStringList all;
    all.reserve(files_.size());
    for (const Entry& e : files_)
        all.append(e.path);
    std::sort(all.begin(), all.end());
    return all;
}

void ChmArchive::readSystemFile()
{
    // #SYSTEM: a 4-byte version, then records of a 16-bit code, a 16-bit
    // length and that many bytes of data.
    const std::optional<QByteArray> system = read(QStringLiteral("/#SYSTEM"));
    if (!system)
        return;
    const QByteArray& data = *system;
    qsizetype at = 4;
    while (at + 4 <= data.size()) {
        const quint16 code = readLe16(data, at);
        const quint16 length = readLe16(data, at + 2);
        at += 4;
        if (at + length > data.size())
            break;
        const QString text = recordText(data.mid(at, length));
        at += length;
        switch (code) {
        case SystemContentsFile:
            contentsFile_ = text.isEmpty() ? QString() : archivePath(text);
            break;
        case SystemDefaultTopic:
            defaultTopic_ = text.isEmpty() ? QString() : archivePath(text);
            break;
        case SystemTitle:
            title_ = text;
            break;
        default:
            break;
        }
    }
}

QString ChmArchive::firstPage() const
{
    QStringList pages = paths();
    pages.removeIf([](const QString& p) { return !isPage(p); });
    return pages.isEmpty() ? QString() : pages.first();
}

QString ChmArchive::archivePath(const QString& target)
{
    QString path = target;
    const qsizetype separator = path.indexOf(QLatin1String("::"));
    if (separator >= 0)
        path = path.mid(separator + 2);
    path.replace(u'\\', u'/');
    if (!path.startsWith(u'/'))
        path.prepend(u'/');
    path = QDir::cleanPath(path);
    // Nothing lies above the archive's top.
    while (path.startsWith(QLatin1String("/../")) || path == QLatin1String("/.."))
        path = path.mid(3).isEmpty() ? QStringLiteral("/") : path.mid(3);
    return path;
}
