// Takes the input as an address-book file and does what `book dump` and both
// exports do with it: a file that passes as one of our books is read to the
// end and exported as DXL and as vCard; any other is refused. Either way the
// file must be left as it was. Any outcome but success, NotesError (reading)
// or BookExportError (exporting) is a finding.
#include "export/BookExport.h"
#include "export/notes/BookReader.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

QString scratch()
{
    static const QString dir = [] {
        const char* base = std::getenv("FUZZ_TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/fuzzbook-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        return QString::fromLocal8Bit(pattern.c_str());
    }();
    return dir;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

void removeAll(const QString& dir)
{
    for (const char* name :
         {"/book.nsf", "/book.nsf-journal", "/book.nsf-wal", "/book.nsf-shm", "/out.dxl", "/out.vcf"})
        QFile::remove(dir + QLatin1String(name));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString dir = scratch();
    removeAll(dir);
    const QString book = dir + QStringLiteral("/book.nsf");
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    {
        QFile f(book);
        if (!f.open(QIODevice::WriteOnly) || f.write(input) != input.size())
            std::abort();
    }

    // What `book dump` reads.
    try {
        notes::BookReader reader(book);
        (void)reader.title();
        (void)reader.replicaId();
        qint64 items = 0;
        reader.forEachDocument(true, [&](const notes::StoredDocument& d) { items += qint64(d.items.size()); });
    } catch (const notes::NotesError&) {
    }

    for (const auto& [format, name] :
         {std::pair{exporting::ExportFormat::Dxl, "/out.dxl"}, std::pair{exporting::ExportFormat::VCard, "/out.vcf"}}) {
        exporting::BookExportOptions o;
        o.book = book;
        o.out = dir + QLatin1String(name);
        o.format = format;
        try {
            exporting::ExportBook(o);
        } catch (const exporting::BookExportError&) {
        }
    }

    if (readFile(book) != input) {
        std::fputs("the book file was changed\n", stderr);
        std::abort();
    }
    removeAll(dir);
    return 0;
}
