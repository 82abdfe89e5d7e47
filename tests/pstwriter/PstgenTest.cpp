// The pstgen command: the layout it is given ends up in the file, libpff's
// tools read what it writes, and bad arguments are refused without a file.

#include "PffRead.h"
#include "Sample.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using pff::Prop;

namespace {

const QString kPstgen = QStringLiteral(PELLARO_BIN_DIR "/pstgen");

class PstgenTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QFileInfo::exists(kPstgen)) << "build the pstgen target";
        path = dir.filePath(QStringLiteral("gen.pst"));
    }
    QTemporaryDir dir;
    QString path;
};

TEST_F(PstgenTest, WritesTheLayoutItIsGiven)
{
    const sample::ToolRun r = sample::run(kPstgen,
                                          {path,
                                           QStringLiteral("--folder"),
                                           QStringLiteral("Contacts:20"),
                                           QStringLiteral("--folder"),
                                           QStringLiteral("Contacts/Friends:5"),
                                           QStringLiteral("--folder"),
                                           QStringLiteral("Mail:2:IPF.Note"),
                                           QStringLiteral("--folder"),
                                           QStringLiteral("Plain\\Sub:1:-"),
                                           QStringLiteral("--lists"),
                                           QStringLiteral("3"),
                                           QStringLiteral("--members"),
                                           QStringLiteral("6"),
                                           QStringLiteral("--notes"),
                                           QStringLiteral("1"),
                                           QStringLiteral("--fai"),
                                           QStringLiteral("2"),
                                           QStringLiteral("--all-values"),
                                           QStringLiteral("--name"),
                                           QStringLiteral("Generated"),
                                           QStringLiteral("--encoding"),
                                           QStringLiteral("compressible"),
                                           QStringLiteral("-q")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.isEmpty());

    const sample::ToolRun info = sample::run(QStringLiteral("pffinfo"), {path});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_TRUE(sample::complaints(info).isEmpty()) << info.err;
    EXPECT_TRUE(info.out.contains(QStringLiteral("Encryption type:\tcompressible"))) << info.out;
    const sample::ToolRun e
        = sample::run(QStringLiteral("pffexport"),
                      {QStringLiteral("-q"), QStringLiteral("-t"), dir.filePath(QStringLiteral("x")), path});
    ASSERT_EQ(e.exitCode, 0) << e.err;
    EXPECT_TRUE(sample::complaints(e).isEmpty()) << e.err;

    pff::File f(path);
    EXPECT_EQ(f.messageStore().text(Prop::tag(0x3001)), QStringLiteral("Generated"));
    pff::Item top = f.root().folder({QStringLiteral("Top of Personal Folders")});
    EXPECT_EQ(top.subFolderNames(),
              QStringList({QStringLiteral("Deleted Items"), QStringLiteral("Contacts"), QStringLiteral("Mail"),
                           QStringLiteral("Plain")}));
    struct Expect {
        QStringList path;
        QString cls;
        int items;
        int assoc;
    };
    const std::vector<Expect> folders = {
        {{QStringLiteral("Contacts")}, QStringLiteral("IPF.Contact"), 20 + 3 + 1, 2},  // contacts, lists, a note
        {{QStringLiteral("Contacts"), QStringLiteral("Friends")}, QStringLiteral("IPF.Contact"), 5 + 1, 2},
        {{QStringLiteral("Mail")}, QStringLiteral("IPF.Note"), 2 + 1, 2},
        {{QStringLiteral("Plain")}, QString(), 0, 0},  // made on the way only
        {{QStringLiteral("Plain"), QStringLiteral("Sub")}, QString(), 1 + 1, 2},
    };
    for (const Expect& x : folders) {
        SCOPED_TRACE(x.path.join(QLatin1Char('/')).toStdString());
        pff::Item folder = top.folder(x.path);
        EXPECT_EQ(folder.text(Prop::tag(0x3613)), x.cls);
        EXPECT_EQ(folder.messageCount(), x.items);
        EXPECT_EQ(folder.associatedCount(), x.assoc);
    }
    // Every value filled, contacts numbered in the order of the options.
    pff::Item contacts = top.folder({QStringLiteral("Contacts")});
    pff::Item first = contacts.message(0);
    EXPECT_EQ(first.text(Prop::tag(0x001A)), QStringLiteral("IPM.Contact"));
    EXPECT_TRUE(first.text(Prop::tag(0x3001)).endsWith(QStringLiteral(" 1")));
    for (const Prop& p : {Prop::tag(0x3A16), Prop::tag(0x3A5D), Prop::tag(0x1000), Prop::tag(0x3A42),
                          Prop::named(pstwriter::psetidAddress(), 0x80A3),
                          Prop::named(pstwriter::psPublicStrings(), QStringLiteral("Keywords"))})
        EXPECT_TRUE(first.has(p));
    EXPECT_TRUE(top.folder({QStringLiteral("Contacts"), QStringLiteral("Friends")})
                    .message(0)
                    .text(Prop::tag(0x3001))
                    .endsWith(QStringLiteral(" 21")));
    pff::Item list = contacts.message(21);  // after the contacts and the note
    EXPECT_EQ(list.text(Prop::tag(0x001A)), QStringLiteral("IPM.DistList"));
    EXPECT_EQ(list.text(Prop::tag(0x3001)), QStringLiteral("List 1"));
    EXPECT_EQ(list.binaries(Prop::named(pstwriter::psetidAddress(), 0x8055)).size(), 6u);
}

TEST_F(PstgenTest, PasswordAnsiOstAndHelp)
{
    sample::ToolRun r = sample::run(kPstgen,
                                    {path, QStringLiteral("--password"), QStringLiteral("pw"), QStringLiteral("--ansi"),
                                     QStringLiteral("--ost"), QStringLiteral("--encoding"), QStringLiteral("cyclic"),
                                     QStringLiteral("-q")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    {
        pff::File f(path);
        EXPECT_NE(f.messageStore().integer(Prop::tag(0x67FF)).value_or(0), 0);
        EXPECT_EQ(f.root()
                      .folder({QStringLiteral("Top of Personal Folders"), QStringLiteral("Contacts")})
                      .message(0)
                      .value(Prop::tag(0x3A06))
                      ->type,
                  0x001Eu);  // an 8-bit given name
    }
    const sample::ToolRun info = sample::run(QStringLiteral("pffinfo"), {path});
    EXPECT_TRUE(info.out.contains(QStringLiteral("Offline Storage Tables (OST)"))) << info.out;
    EXPECT_TRUE(info.out.contains(QStringLiteral("32-bit"))) << info.out;
    EXPECT_TRUE(info.out.contains(QStringLiteral("Encryption type:\thigh"))) << info.out;

    r = sample::run(kPstgen, {QStringLiteral("--help")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains(QStringLiteral("--folder PATH:COUNT[:CLASS]")));
}

TEST_F(PstgenTest, BadArgumentsAreRefusedWithoutWritingAFile)
{
    const QList<QStringList> bad = {
        {path, QStringLiteral("--folder"), QStringLiteral("Contacts")},
        {path, QStringLiteral("--folder"), QStringLiteral("Contacts:many")},
        {path, QStringLiteral("--lists")},
        {path, QStringLiteral("--frobnicate")},
        {path, QStringLiteral("--encoding"), QStringLiteral("rot13")},
        {path, dir.filePath(QStringLiteral("second.pst"))},
        {},
    };
    for (const QStringList& args : bad) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const sample::ToolRun r = sample::run(kPstgen, args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("pstgen: "))) << r.err;
        EXPECT_FALSE(QFileInfo::exists(path));
    }
}

}  // namespace
