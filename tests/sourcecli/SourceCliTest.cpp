// The commands that read data files, run as the user runs them: several files
// into one book, protected files and their passwords, and contacts kept in
// folders that are not contact folders.

#include "source/outlook/Outlook.h"
#include "tests/support/ExportFixtures.h"
#include "tests/support/PrintQt.h"
#include "tests/support/RunCli.h"
#include "tests/support/TempDir.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cerrno>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace fixtures;
using pstwriter::PstBuilder;

namespace {

struct Result {
    int code = -1;
    QString out, err;
};

Result run(const QStringList& args)
{
    const CliRun r = runCli(args);
    return {r.status, r.outText(), r.errText()};
}

// A data file with the contacts `names` (last name Lee) in Contacts, and
// protected by `password` unless it is empty.
QString dataFile(const QString& path, const QStringList& names, const QString& password = QString())
{
    PstBuilder b;
    if (!password.isEmpty())
        b.setPassword(password);
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    for (const QString& name : names)
        b.addContact(contacts, person(name, QStringLiteral("Lee")));
    return write(b, path);
}

QStringList firstNames(const QString& book)
{
    QStringList names;
    for (const auto& doc : documents(book))
        names << item(doc, QStringLiteral("FirstName"));
    return names;
}

QStringList filesIn(const QString& dir)
{
    QStringList found;
    QDir d(dir);
    for (const QFileInfo& f : d.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        found << f.fileName();
        if (f.isDir())
            for (const QString& inner : filesIn(f.filePath()))
                found << f.fileName() + u'/' + inner;
    }
    return found;
}

}  // namespace

TEST(ManyFiles, GoIntoOneBookInTheOrderGiven)
{
    TestHome home;
    PstBuilder first;
    const auto contacts
        = first.addFolder(first.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    first.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    first.addContact(contacts, person(QStringLiteral("Bob"), QStringLiteral("Lee")));
    first.addContact(first.addFolder(contacts, QStringLiteral("Work"), QStringLiteral("IPF.Contact")),
                     person(QStringLiteral("Carl"), QStringLiteral("Lee")));
    const QString a = write(first, home.file(QStringLiteral("a.pst")));
    PstBuilder second;
    second.addContact(second.addFolder(second.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact")),
                      person(QStringLiteral("Dora"), QStringLiteral("Lee")));
    second.addContact(second.addFolder(second.ipmSubtree(), QStringLiteral("Friends"), QStringLiteral("IPF.Contact")),
                      person(QStringLiteral("Eve"), QStringLiteral("Lee")));
    const QString b = write(second, home.file(QStringLiteral("b.pst")));
    const QString notes = home.file(QStringLiteral("notes.txt"));
    ASSERT_TRUE(writeAll(notes, "plain text\n"));
    const QString dir = home.file(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString report = home.file(QStringLiteral("report.csv"));

    // The file that cannot be opened is named with its cause; the others are
    // converted, the folder option applying to each.
    const Result r = run({QStringLiteral("convert"), a, notes, b, QStringLiteral("--new-book"), dir,
                          QStringLiteral("--folder"), QStringLiteral("Contacts"), QStringLiteral("--report"), report});
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    const QString book = r.out.trimmed();
    EXPECT_EQ(r.out, book + u'\n');
    EXPECT_EQ(filesIn(dir),
              (QStringList{"Lotus Notes Address Book", "Lotus Notes Address Book/" + QFileInfo(book).fileName()}));
    EXPECT_EQ(firstNames(book), (QStringList{"Ann", "Bob", "Dora"}));
    const QStringList lines = r.err.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << r.err.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("pellaro-cli convert: ") + notes
                                    + QStringLiteral(": cannot open the Outlook data file (")))
        << lines[0].toStdString();
    EXPECT_EQ(lines[1], QStringLiteral("3 persons, 0 groups written, 0 items failed"));
    EXPECT_EQ(lines[2], QStringLiteral("1 data files could not be opened"));
    EXPECT_EQ(QString::fromUtf8(readAll(report)),
              QStringLiteral("file,folder,position,class,name,outcome,reason\r\n") + a
                  + QStringLiteral(",Contacts,1,IPM.Contact,Ann Lee,written,\r\n") + a
                  + QStringLiteral(",Contacts,2,IPM.Contact,Bob Lee,written,\r\n") + b
                  + QStringLiteral(",Contacts,1,IPM.Contact,Dora Lee,written,\r\n"));

    // Into that book, every folder of each, in the order given.
    const Result into = run({QStringLiteral("convert"), b, a, QStringLiteral("--into"), book});
    EXPECT_EQ(into.code, 0) << into.err.toStdString();
    EXPECT_EQ(into.err, QStringLiteral("5 persons, 0 groups written, 0 items failed\n"));
    EXPECT_EQ(firstNames(book), (QStringList{"Ann", "Bob", "Dora", "Dora", "Eve", "Ann", "Bob", "Carl"}));

    // A folder that no file has, and files none of which opens: refused
    // before anything is written.
    const Result nowhere = run({QStringLiteral("convert"), a, b, QStringLiteral("--into"), book,
                                QStringLiteral("--folder"), QStringLiteral("Nowhere")});
    EXPECT_EQ(nowhere.code, 2);
    EXPECT_TRUE(nowhere.err.contains(QStringLiteral("no data file has a contact folder Nowhere")))
        << nowhere.err.toStdString();
    const QString empty = home.file(QStringLiteral("empty"));
    ASSERT_TRUE(QDir().mkpath(empty));
    const Result none = run({QStringLiteral("convert"), notes, home.file(QStringLiteral("missing.pst")),
                             QStringLiteral("--new-book"), empty});
    EXPECT_EQ(none.code, 2);
    EXPECT_EQ(none.err.count(QStringLiteral("cannot open the Outlook data file")), 2) << none.err.toStdString();
    EXPECT_TRUE(none.out.isEmpty());
    EXPECT_TRUE(filesIn(empty).isEmpty());
    EXPECT_EQ(firstNames(book).size(), 8);
}

TEST(Passwords, PasswordFileOpensEveryProtectedFile)
{
    TestHome home;
    const QString p1 = dataFile(home.file(QStringLiteral("p1.pst")), {QStringLiteral("Ann")}, QStringLiteral("alpha"));
    const QString plain = dataFile(home.file(QStringLiteral("plain.pst")), {QStringLiteral("Carl")});
    const QString p2
        = dataFile(home.file(QStringLiteral("p2.pst")), {QStringLiteral("Bob")}, QStringLiteral("b\u00E9ta 2"));
    const QString passwords = home.file(QStringLiteral("passwords"));
    // As a Windows editor saves it: a byte-order mark, CR LF line ends.
    ASSERT_TRUE(writeAll(passwords, "\xEF\xBB\xBF" + QStringLiteral("alpha\r\nwrong\r\n\r\nb\u00E9ta 2").toUtf8()));
    const QString dir = home.file(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString report = home.file(QStringLiteral("report.csv"));

    const Result r = run({QStringLiteral("convert"), p1, plain, p2, QStringLiteral("--new-book"), dir,
                          QStringLiteral("--password-file"), passwords, QStringLiteral("--report"), report});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, QStringLiteral("3 persons, 0 groups written, 0 items failed\n"));
    EXPECT_EQ(firstNames(r.out.trimmed()), (QStringList{"Ann", "Carl", "Bob"}));
    const Result tree = run({QStringLiteral("folders"), p2, QStringLiteral("--password-file"), passwords});
    EXPECT_EQ(tree.code, 0) << tree.err.toStdString();
    EXPECT_TRUE(tree.out.contains(QStringLiteral("\n  Contacts (1)\t"))) << tree.out.toStdString();
    for (const QString& text : {r.out, r.err, QString::fromUtf8(readAll(report)), tree.out, tree.err}) {
        EXPECT_FALSE(text.contains(QStringLiteral("alpha")));
        EXPECT_FALSE(text.contains(QStringLiteral("b\u00E9ta")));
    }

    // A password missing from the list, or no list and no terminal to ask:
    // one line naming the file and saying which, nothing written.
    const QString onlyAlpha = home.file(QStringLiteral("only-alpha"));
    ASSERT_TRUE(writeAll(onlyAlpha, "alpha\n"));
    const QString fresh = home.file(QStringLiteral("fresh"));
    ASSERT_TRUE(QDir().mkpath(fresh));
    const Result wrong = run({QStringLiteral("convert"), p1, p2, QStringLiteral("--new-book"), fresh,
                              QStringLiteral("--password-file"), onlyAlpha});
    EXPECT_EQ(wrong.code, 2);
    EXPECT_EQ(wrong.err,
              QStringLiteral("pellaro-cli convert: %1: wrong password (none of the passwords in %2 opens it)\n")
                  .arg(p2, onlyAlpha));
    const Result missing = run({QStringLiteral("convert"), plain, p1, QStringLiteral("--new-book"), fresh});
    EXPECT_EQ(missing.code, 2);
    EXPECT_EQ(missing.err,
              QStringLiteral("pellaro-cli convert: %1: password protected, and no password was given "
                             "(--password-file FILE)\n")
                  .arg(p1));
    EXPECT_TRUE(wrong.out.isEmpty() && missing.out.isEmpty());
    EXPECT_TRUE(filesIn(fresh).isEmpty());
    const Result noTree = run({QStringLiteral("folders"), p1});
    EXPECT_EQ(noTree.code, 2);
    EXPECT_EQ(noTree.err.count(u'\n'), 1);
    EXPECT_TRUE(noTree.err.contains(p1 + QStringLiteral(": password protected"))) << noTree.err.toStdString();
    EXPECT_TRUE(noTree.out.isEmpty());
    const Result unreadable
        = run({QStringLiteral("folders"), p1, QStringLiteral("--password-file"), home.file(QStringLiteral("nothing"))});
    EXPECT_EQ(unreadable.code, 2);
    EXPECT_TRUE(unreadable.err.contains(QStringLiteral("cannot read the password file")))
        << unreadable.err.toStdString();
}

// Protected files written by others, each opened with a list holding every
// password.
TEST(Passwords, RealProtectedFiles)
{
    const QString samples = QStringLiteral(PELLARO_SHARED_DIR "/samples/protected/");
    const QStringList files = {samples + QStringLiteral("unicode.pst"), samples + QStringLiteral("cyclic.pst"),
                               samples + QStringLiteral("ansi.pst")};
    for (const QString& f : files) {
        if (!QFileInfo::exists(f))
            GTEST_SKIP() << "the protected samples are not present";
    }
    TestHome home;
    const QString all = home.file(QStringLiteral("all"));
    ASSERT_TRUE(writeAll(all, "test\nquickquick\npass12345\n"));
    const QString none = home.file(QStringLiteral("none"));
    ASSERT_TRUE(writeAll(none, "Test\nquick\n"));
    for (const QString& f : files) {
        const Result opened = run({QStringLiteral("folders"), f, QStringLiteral("--password-file"), all});
        EXPECT_EQ(opened.code, 0) << f.toStdString() << ": " << opened.err.toStdString();
        EXPECT_FALSE(opened.out.trimmed().isEmpty()) << f.toStdString();
        const Result refused = run({QStringLiteral("folders"), f, QStringLiteral("--password-file"), none});
        EXPECT_EQ(refused.code, 2) << f.toStdString();
        EXPECT_TRUE(refused.err.contains(f + QStringLiteral(": wrong password"))) << refused.err.toStdString();
    }
    const QString dir = home.file(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(dir));
    const Result converted
        = run(QStringList{QStringLiteral("convert")} + files
              + QStringList{QStringLiteral("--new-book"), dir, QStringLiteral("--password-file"), all});
    EXPECT_EQ(converted.code, 0) << converted.err.toStdString();
    EXPECT_TRUE(converted.err.endsWith(QStringLiteral("0 persons, 0 groups written, 0 items failed\n")))
        << converted.err.toStdString();
    // A file of mail only gives nothing, and says why.
    EXPECT_TRUE(converted.err.contains(files[1] + QStringLiteral(": holds no contact folders")))
        << converted.err.toStdString();
    const Result mailOnly = run({QStringLiteral("folders"), files[1], QStringLiteral("--password-file"), all});
    EXPECT_TRUE(mailOnly.err.contains(files[1] + QStringLiteral(": holds no contact folders")))
        << mailOnly.err.toStdString();
}

// The password asked at a terminal: typed, not echoed, and it opens the file.
TEST(Passwords, TerminalIsAskedWithoutEcho)
{
    TestHome home;
    const QString locked
        = dataFile(home.file(QStringLiteral("locked.pst")), {QStringLiteral("Ann")}, QStringLiteral("alpha"));
    const QByteArray program = QByteArrayLiteral(PELLARO_BIN_DIR "/pellaro-cli");
    const QByteArray file = QFile::encodeName(locked);
    int terminal = -1;
    const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl(program.constData(), "pellaro-cli", "folders", file.constData(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    QByteArray seen;
    bool answered = false;
    for (;;) {
        pollfd p{terminal, POLLIN, 0};
        if (::poll(&p, 1, 20000) <= 0)
            break;
        char buffer[512];
        const ssize_t n = ::read(terminal, buffer, sizeof buffer);
        if (n <= 0)
            break;  // EIO once the program has ended
        seen.append(buffer, n);
        if (!answered && seen.contains("Password for ")) {
            ASSERT_EQ(::write(terminal, "alpha\n", 6), 6);
            answered = true;
        }
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(terminal);
    EXPECT_TRUE(answered) << seen.constData();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << seen.constData();
    EXPECT_TRUE(seen.contains("Contacts (1)")) << seen.constData();
    EXPECT_FALSE(seen.contains("alpha")) << seen.constData();
}

TEST(OtherFolders, ContactsOutsideContactFoldersAreTold)
{
    TestHome home;
    PstBuilder b;
    b.addContact(b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact")),
                 person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    const auto inbox = b.addFolder(b.ipmSubtree(), QStringLiteral("myInbox"), QStringLiteral("IPF.Note"));
    b.addMessage(inbox, QStringLiteral("IPM.Note"), QStringLiteral("Hello"));
    b.addContact(inbox, person(QStringLiteral("Bob"), QStringLiteral("Lee")));
    b.addContact(inbox, person(QStringLiteral("Carl"), QStringLiteral("Lee")));
    pstwriter::DistListData list;
    list.name = QStringLiteral("Team");
    b.addDistList(inbox, list);
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    const QString told
        = QStringLiteral("3 contacts in folders that are not contact folders were not converted: myInbox (3)\n");

    const Result tree = run({QStringLiteral("folders"), pst});
    EXPECT_EQ(tree.code, 0);
    EXPECT_EQ(tree.err, told);
    EXPECT_EQ(tree.out.count(u'\n'), 2) << tree.out.toStdString();

    const QString dir = home.file(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(dir));
    const Result converted = run({QStringLiteral("convert"), pst, QStringLiteral("--new-book"), dir});
    EXPECT_EQ(converted.code, 0);
    EXPECT_EQ(converted.err, told + QStringLiteral("1 persons, 0 groups written, 0 items failed\n"));
    EXPECT_EQ(firstNames(converted.out.trimmed()), QStringList{"Ann"});

    // An unknown code page is a mistake of the command line; a known one is taken.
    const Result unknown
        = run({QStringLiteral("folders"), pst, QStringLiteral("--codepage"), QStringLiteral("cp99999")});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_TRUE(unknown.err.contains(QStringLiteral("usage:"))) << unknown.err.toStdString();
    const Result known = run({QStringLiteral("convert"), pst, QStringLiteral("--new-book"), dir,
                              QStringLiteral("--codepage"), QStringLiteral("windows-1251")});
    EXPECT_EQ(known.code, 0) << known.err.toStdString();
}
