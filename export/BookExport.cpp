#include "export/BookExport.h"

#include "export/DxlWriter.h"
#include "export/OutputFile.h"
#include "export/VCardWriter.h"
#include "export/notes/BookReader.h"

#include <QByteArray>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace exporting {

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

void writeOut(OutputFile& file, const QByteArray& bytes)
{
    try {
        file.write(bytes);
    } catch (const OutputFileError& e) {
        fail(BookExportError::Failed, QString::fromStdString(e.what()));
    }
}

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
                fail(BookExportError::BadInput, o.out + QStringLiteral(": already exists; use --force to replace it"));
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

}  // namespace

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

    // OUT's bytes go to an unnamed file that takes OUT's name only when
    // complete.
    std::unique_ptr<OutputFile> file;
    try {
        file = std::make_unique<OutputFile>(o.out);
    } catch (const OutputFileError& e) {
        fail(BookExportError::BadInput, QString::fromStdString(e.what()));
    }
    BookExportResult result;
    QByteArray buffer;
    buffer.reserve(FlushSize + 64 * 1024);
    auto flushIfFull = [&] {
        if (buffer.size() >= FlushSize) {
            writeOut(*file, buffer);
            buffer.resize(0);
        }
    };

    DxlWriter dxl;
    VCardWriter vcard;
    auto stopIfAsked = [&] {
        if (o.stopRequested && *o.stopRequested)
            fail(BookExportError::Interrupted, QStringLiteral("export interrupted"));
    };

    qint64 read = 0;
    try {
        // A damaged book can fail as soon as its title is read.
        if (o.format == ExportFormat::Dxl)
            dxl.begin(buffer, {reader->title(), reader->replicaId()});
        // A list's card names the cards of its members, and a member's card
        // the lists it is in: the lists are read before any card is written,
        // and their cards are written after the contacts'.
        if (o.format == ExportFormat::VCard) {
            reader->forEachDocument(
                false,
                [&](const notes::StoredDocument& doc) {
                    vcard.noteList(doc);
                    stopIfAsked();
                },
                u"Group");
        }
        reader->forEachDocument(false, [&](const notes::StoredDocument& doc) {
            const bool written
                = o.format == ExportFormat::Dxl ? dxl.writeDocument(buffer, doc) : vcard.writeDocument(buffer, doc);
            ++(written ? result.exported : result.leftOut);
            flushIfFull();
            ++read;
            stopIfAsked();
            if (afterDocument)
                afterDocument(read);
        });
        if (o.format == ExportFormat::VCard) {
            reader->forEachDocument(
                false,
                [&](const notes::StoredDocument& doc) {
                    vcard.writeList(buffer, doc);
                    flushIfFull();
                    stopIfAsked();
                },
                u"Group");
        }
    } catch (const notes::NotesError& e) {
        fail(BookExportError::Failed, o.book + QStringLiteral(": ") + QString::fromStdString(e.what()));
    }

    if (o.format == ExportFormat::Dxl) {
        dxl.end(buffer);
        result.replacedCharacters = dxl.replacedCharacters();
    } else {
        vcard.finish(buffer);
        result.replacedCharacters = vcard.replacedCharacters();
    }
    writeOut(*file, buffer);
    try {
        file->commit(o.force);
    } catch (const OutputFileError& e) {
        if (e.kind() == OutputFileError::NameTaken)
            fail(BookExportError::BadInput,
                 QString::fromStdString(e.what()) + QStringLiteral("; use --force to replace it"));
        fail(BookExportError::Failed, QString::fromStdString(e.what()));
    }
    return result;
}

}  // namespace exporting
