// pellaro-cli book export: exit codes, messages, books and outputs that must
// not be touched, and exports that stop half-way leaving nothing behind.

#include "tests/bookexport/ExportFixture.h"
#include "tests/bookexport/VCardReader.h"
#include "tests/support/RunCli.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <sqlite3.h>

#include <csignal>
#include <stdexcept>

#include <signal.h>

namespace {

struct ExportRun {
    int exitCode = -1;
    QString err;
};

ExportRun cli(const QStringList& args)
{
    // What this test wrote is finished, so another process sees all of it.
    FinishDocumentWrites();
    const CliRun r = runCli(QStringList{QStringLiteral("book"), QStringLiteral("export")} + args);
    return {r.status, r.errText()};
}

QByteArray digest(const QString& path)
{
    return QCryptographicHash::hash(readAll(path), QCryptographicHash::Sha256);
}

class ExportCommand : public ExportFixture {
protected:
    void SetUp() override
    {
        ExportFixture::SetUp();
        for (int i = 0; i < 3; ++i)
            addPerson(awkwardPerson(i));
        addGroup(QStringLiteral("Team"), QStringLiteral("'a@example.com' "), QString());
    }
};

}  // namespace

TEST_F(ExportCommand, WritesBothFormatsAndSaysHowMany)
{
    for (const char* option : {"--dxl", "--vcard"}) {
        const QString out = home.file(QStringLiteral("out-") + QString::fromLatin1(option + 2));
        const ExportRun r = cli({book, QString::fromLatin1(option), out});
        EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
        EXPECT_EQ(r.err, QStringLiteral("4 documents exported\n"));
        EXPECT_GT(QFileInfo(out).size(), 0);
        if (QLatin1String(option) == QLatin1String("--dxl"))
            expectValidDxl(out);
    }
    EXPECT_EQ(strayFiles().size(), 2);
}

TEST_F(ExportCommand, MissingOrForeignBookIsRefusedAndLeftAsItWas)
{
    const QString out = home.file(QStringLiteral("out.vcf"));
    ExportRun r = cli({home.file(QStringLiteral("no-such.nsf")), QStringLiteral("--vcard"), out});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QLatin1String("no-such.nsf"))) << qPrintable(r.err);

    const QString text = home.file(QStringLiteral("notes.txt"));
    ASSERT_TRUE(writeAll(text, "not an address book\n"));
    const QString foreign = home.file(QStringLiteral("other.sqlite"));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(foreign).constData(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE notes(x); INSERT INTO notes VALUES(1)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    for (const QString& f : {text, foreign}) {
        const QByteArray before = digest(f);
        const QDateTime modified = QFileInfo(f).lastModified();
        for (const char* option : {"--dxl", "--vcard"}) {
            r = cli({f, QString::fromLatin1(option), out, QStringLiteral("--force")});
            EXPECT_EQ(r.exitCode, 2) << qPrintable(f);
            EXPECT_TRUE(r.err.contains(QLatin1String("not an address book"))) << qPrintable(r.err);
        }
        EXPECT_EQ(digest(f), before);
        EXPECT_EQ(QFileInfo(f).lastModified(), modified);
    }
    EXPECT_FALSE(QFileInfo::exists(out));
    EXPECT_EQ(strayFiles(), (QStringList{QStringLiteral("notes.txt"), QStringLiteral("other.sqlite")}));
}

TEST_F(ExportCommand, DamagedBookFailsWithItsCauseAndIsLeftAsItWas)
{
    // Found by the fuzz target: a book whose header passes but whose "book"
    // table is damaged ended the program when the DXL export read its title.
    FinishDocumentWrites();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(book).constData(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(db,
                           "SELECT rootpage FROM sqlite_schema WHERE name LIKE 'sqlite_autoindex_book%' OR name='book'"
                           " ORDER BY rootpage DESC LIMIT 1",
                           -1, &st, nullptr),
        SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    const int page = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    const int pageSize = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    ASSERT_GT(page, 1);
    {
        QFile f(book);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.seek(qint64(page - 1) * pageSize);
        ASSERT_EQ(f.write(QByteArray(64, '\xEE')), 64);
    }
    const QByteArray before = digest(book);
    const QString out = home.file(QStringLiteral("damaged.dxl"));
    ExportRun r = cli({book, QStringLiteral("--dxl"), out});
    EXPECT_EQ(r.exitCode, 1) << qPrintable(r.err);
    EXPECT_TRUE(r.err.contains(QLatin1String("malformed"))) << qPrintable(r.err);
    EXPECT_FALSE(QFileInfo::exists(out));
    EXPECT_TRUE(strayFiles().isEmpty()) << qPrintable(strayFiles().join(u' '));
    // The documents themselves are whole: the vCard export, which needs no
    // title, has them all.
    r = cli({book, QStringLiteral("--vcard"), home.file(QStringLiteral("damaged.vcf"))});
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_EQ(digest(book), before);
}

TEST_F(ExportCommand, ExistingOutputIsReplacedOnlyWithForce)
{
    const QString out = home.file(QStringLiteral("contacts.vcf"));
    ASSERT_TRUE(writeAll(out, "keep me"));
    ExportRun r = cli({book, QStringLiteral("--vcard"), out});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QLatin1String("--force"))) << qPrintable(r.err);
    EXPECT_EQ(readAll(out), QByteArray("keep me"));

    r = cli({book, QStringLiteral("--vcard"), out, QStringLiteral("--force")});
    EXPECT_EQ(r.exitCode, 0) << qPrintable(r.err);
    EXPECT_TRUE(readAll(out).startsWith("BEGIN:VCARD\r\n"));
    EXPECT_EQ(strayFiles(), QStringList{QStringLiteral("contacts.vcf")});
}

TEST_F(ExportCommand, NeverWritesOverTheBookItselfOrIntoAFolder)
{
    FinishDocumentWrites();
    const QByteArray before = digest(book);
    ExportRun r = cli({book, QStringLiteral("--dxl"), book, QStringLiteral("--force")});
    EXPECT_EQ(r.exitCode, 2);
    // Another name for the same file.
    const QString link = home.file(QStringLiteral("link.dxl"));
    ASSERT_TRUE(QFile::link(book, link));
    r = cli({book, QStringLiteral("--dxl"), link, QStringLiteral("--force")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(digest(book), before);
    EXPECT_EQ(documents().size(), 4u);

    r = cli({book, QStringLiteral("--dxl"), home.path(), QStringLiteral("--force")});
    EXPECT_EQ(r.exitCode, 2);
    r = cli({book, QStringLiteral("--dxl"), home.file(QStringLiteral("missing/out.dxl"))});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(QLatin1String("cannot write"))) << qPrintable(r.err);
}

TEST_F(ExportCommand, UsageErrors)
{
    const QString out = home.file(QStringLiteral("out"));
    for (const QStringList& args : {QStringList{book}, QStringList{book, QStringLiteral("--dxl")},
                                    QStringList{book, QStringLiteral("--dxl"), out, QStringLiteral("--vcard"), out},
                                    QStringList{book, QStringLiteral("--vcard"), out, QStringLiteral("--design")},
                                    QStringList{QStringLiteral("--dxl"), out},
                                    QStringList{book, QStringLiteral("--dxl"), out, QStringLiteral("--bogus")}}) {
        const ExportRun r = cli(args);
        EXPECT_EQ(r.exitCode, 2) << qPrintable(args.join(u' '));
        EXPECT_TRUE(r.err.contains(QLatin1String("usage:"))) << qPrintable(r.err);
    }
    EXPECT_FALSE(QFileInfo::exists(out));
}

// ------------------------------------------------ exports that stop half-way

TEST_F(ExportCommand, FailureOnTheWayLeavesNoFileAndKeepsTheOldOne)
{
    const QString fresh = home.file(QStringLiteral("fresh.dxl"));
    const QString old = home.file(QStringLiteral("old.vcf"));
    ASSERT_TRUE(writeAll(old, "the previous export"));
    for (const QString& out : {fresh, old}) {
        for (ExportFormat format : {ExportFormat::Dxl, ExportFormat::VCard}) {
            BookExportOptions o;
            o.book = book;
            o.out = out;
            o.format = format;
            o.force = true;
            EXPECT_THROW(ExportBook(o,
                                    [](qint64 read) {
                                        if (read == 2)
                                            throw std::runtime_error("the disk is full");
                                    }),
                         std::runtime_error);
        }
    }
    EXPECT_FALSE(QFileInfo::exists(fresh));
    EXPECT_EQ(readAll(old), QByteArray("the previous export"));
    EXPECT_EQ(strayFiles(), QStringList{QStringLiteral("old.vcf")});
}

TEST_F(ExportCommand, StopRequestEndsTheExportWithNothingWritten)
{
    volatile std::sig_atomic_t stop = 0;
    BookExportOptions o;
    o.book = book;
    o.out = home.file(QStringLiteral("stopped.vcf"));
    o.format = ExportFormat::VCard;
    o.stopRequested = &stop;
    try {
        ExportBook(o, [&](qint64 read) {
            if (read == 1)
                stop = 1;  // as the signal handler does
        });
        ADD_FAILURE() << "the export did not stop";
    } catch (const BookExportError& e) {
        EXPECT_EQ(e.kind(), BookExportError::Interrupted);
    }
    EXPECT_TRUE(strayFiles().isEmpty()) << qPrintable(strayFiles().join(u' '));
}

TEST_F(ExportCommand, InterruptedOrKilledProgramLeavesEitherTheWholeFileOrNothing)
{
    for (int i = 0; i < 3000; ++i)
        addPerson(awkwardPerson(i));
    FinishDocumentWrites();
    const QString out = home.file(QStringLiteral("big.vcf"));
    std::srand(unsigned(::getpid()));
    for (int round = 0; round < 8; ++round) {
        const int signal = round % 4 == 0 ? SIGINT : round % 4 == 1 ? SIGTERM : SIGKILL;
        QProcess p;
        p.start(QStringLiteral(PELLARO_BIN_DIR "/pellaro-cli"),
                {QStringLiteral("book"), QStringLiteral("export"), book, QStringLiteral("--vcard"), out});
        ASSERT_TRUE(p.waitForStarted());
        // At some moment of the export (or, on a fast machine, after it).
        QThread::usleep(unsigned(std::rand() % 150000));
        ::kill(pid_t(p.processId()), signal);
        ASSERT_TRUE(p.waitForFinished(60000));
        const QString err = QString::fromUtf8(p.readAllStandardError());
        if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0) {
            EXPECT_EQ(readVCardFile(readAll(out)).cards.size(), 3004u) << qPrintable(err);
        } else {
            // Caught, the signal ends the export with its message; before the
            // handler is in place (or SIGKILL), it ends the program.
            if (p.exitStatus() == QProcess::NormalExit) {
                EXPECT_EQ(p.exitCode(), 1);
                EXPECT_TRUE(err.contains(QLatin1String("interrupted"))) << qPrintable(err);
            }
            EXPECT_FALSE(QFileInfo::exists(out));
        }
        QStringList left = strayFiles();
        left.removeAll(QStringLiteral("big.vcf"));
        EXPECT_TRUE(left.isEmpty()) << qPrintable(left.join(u' '));
        QFile::remove(out);
    }
}
