#include "Fixture.h"

#include <QDir>
#include <QFile>

#include <functional>
#include <optional>

using namespace outlook;
using pstwriter::PstBuilder;

class ProfileTest : public StoreTest {
protected:
    QString makeStore(const QString& name, const QString& display)
    {
        PstBuilder b;
        b.setStoreDisplayName(display);
        return write(b, name);
    }
};

TEST_F(ProfileTest, LivesUnderTheConfigHome)
{
    EXPECT_EQ(RDOSession::ProfilePath(), home.file(QStringLiteral("config/pellaro/profile")));
}

TEST_F(ProfileTest, NoFileIsAnEmptyProfile)
{
    RDOSession s;
    s.Logon();
    EXPECT_EQ(s.StoreCount(), 0);
    EXPECT_FALSE(QFile::exists(RDOSession::ProfilePath()));
}

TEST_F(ProfileTest, AddingAppendsOnceAndIsSeenByTheNextSession)
{
    const QString a = makeStore(QStringLiteral("a.pst"), QStringLiteral("Store A"));
    const QString b = makeStore(QStringLiteral("b.pst"), QStringLiteral("Store B"));
    QString idA;
    {
        RDOSession s;
        s.Logon();
        RDOStore first = s.AddPSTStore(a);
        idA = first.EntryID();
        s.AddPSTStore(b);
        // The same file again, also by another spelling of its path.
        RDOStore again = s.AddPSTStore(QDir(home.path()).filePath(QStringLiteral("./a.pst")));
        EXPECT_EQ(again.EntryID(), idA);
        EXPECT_EQ(s.StoreCount(), 2);
        s.Logoff();
        EXPECT_THROW(s.StoreCount(), OutlookError);
        // A handle outlives the logoff.
        EXPECT_EQ(first.Name(), QStringLiteral("Store A"));
    }
    const QByteArray text = readAll(RDOSession::ProfilePath());
    EXPECT_EQ(
        text,
        (QFileInfo(a).canonicalFilePath() + QLatin1Char('\n') + QFileInfo(b).canonicalFilePath() + QLatin1Char('\n'))
            .toUtf8());
    RDOSession s;
    s.Logon();
    ASSERT_EQ(s.StoreCount(), 2);
    EXPECT_EQ(s.Store(1).Name(), QStringLiteral("Store A"));
    EXPECT_EQ(s.Store(2).Name(), QStringLiteral("Store B"));
    EXPECT_EQ(s.GetStoreFromID(idA).PstPath(), QFileInfo(a).canonicalFilePath());
    EXPECT_THROW(s.Store(0), OutlookError);
    EXPECT_THROW(s.Store(3), OutlookError);
}

TEST_F(ProfileTest, CopiedFileWithTheSameKeyGetsItsOwnIdentifier)
{
    const QString a = makeStore(QStringLiteral("a.pst"), QStringLiteral("Original"));
    const QString copy = home.file(QStringLiteral("copy.pst"));
    ASSERT_TRUE(QFile::copy(a, copy));
    RDOSession s;
    s.Logon();
    const QString idA = s.AddPSTStore(a).EntryID();
    const QString idCopy = s.AddPSTStore(copy).EntryID();
    EXPECT_NE(idA, idCopy);
    EXPECT_EQ(idA.left(32), idCopy.left(32));  // the record key they share
    EXPECT_EQ(s.GetStoreFromID(idCopy).PstPath(), QFileInfo(copy).canonicalFilePath());
    EXPECT_EQ(s.GetStoreFromID(idA).PstPath(), QFileInfo(a).canonicalFilePath());
}

TEST_F(ProfileTest, MissingFileStaysListedButThrows)
{
    const QString a = makeStore(QStringLiteral("a.pst"), QStringLiteral("Store A"));
    const QString b = makeStore(QStringLiteral("b.pst"), QStringLiteral("Store B"));
    QString idB;
    {
        RDOSession s;
        s.Logon();
        s.AddPSTStore(a);
        idB = s.AddPSTStore(b).EntryID();
    }
    ASSERT_TRUE(QFile::remove(a));
    RDOSession s;
    s.Logon();
    ASSERT_EQ(s.StoreCount(), 2);
    EXPECT_EQ(s.Store(1).PstPath(), QFileInfo(b).absolutePath() + QStringLiteral("/a.pst"));
    EXPECT_THROW(s.Store(1).Name(), OutlookError);
    EXPECT_THROW(s.Store(1).EntryID(), OutlookError);
    EXPECT_THROW(s.Store(1).IPMRootFolder(), OutlookError);
    EXPECT_EQ(s.Store(2).Name(), QStringLiteral("Store B"));
    EXPECT_EQ(s.GetStoreFromID(idB).Name(), QStringLiteral("Store B"));
}

TEST_F(ProfileTest, BadFilesAreNotAdded)
{
    const QString junk = home.file(QStringLiteral("junk.pst"));
    ASSERT_TRUE(writeAll(junk, QByteArray("not a pst at all")));
    RDOSession s;
    s.Logon();
    EXPECT_THROW(s.AddPSTStore(junk), OutlookError);
    EXPECT_THROW(s.AddPSTStore(home.file(QStringLiteral("absent.pst"))), OutlookError);
    EXPECT_EQ(s.StoreCount(), 0);
    EXPECT_FALSE(QFile::exists(RDOSession::ProfilePath()));
}

TEST_F(ProfileTest, MalformedOrUnreadableProfileFailsLogon)
{
    RDOSession s;
    ASSERT_TRUE(writeAll(RDOSession::ProfilePath(), QByteArray("relative/path.pst\n")));
    EXPECT_THROW(s.Logon(), OutlookError);
    ASSERT_TRUE(writeAll(RDOSession::ProfilePath(), QByteArray("/ok.pst\n\xff\xfe bad\n")));
    EXPECT_THROW(s.Logon(), OutlookError);
    ASSERT_TRUE(QFile::remove(RDOSession::ProfilePath()));
    ASSERT_TRUE(QDir().mkpath(RDOSession::ProfilePath()));  // a folder where the file should be
    EXPECT_THROW(s.Logon(), OutlookError);
    EXPECT_THROW(s.StoreCount(), OutlookError);
}

TEST_F(ProfileTest, BlankLinesAndCarriageReturnsAreAccepted)
{
    const QString a = makeStore(QStringLiteral("a.pst"), QStringLiteral("Store A"));
    ASSERT_TRUE(writeAll(RDOSession::ProfilePath(), ("\r\n" + a + "\r\n\r\n" + a + "\n").toUtf8()));
    RDOSession s;
    s.Logon();
    ASSERT_EQ(s.StoreCount(), 1);
    EXPECT_EQ(s.Store(1).Name(), QStringLiteral("Store A"));
}

// A protected file opens once its password is given, checked as Outlook
// checks it (the CRC over the password's bytes in the file's code page), by
// any spelling of its path, in every way of opening it; the passwords given
// never show in a message.
TEST_F(ProfileTest, ProtectedFileOpensWithItsPasswordOnly)
{
    for (const auto format : {pstwriter::PstFormat::Unicode, pstwriter::PstFormat::Ansi}) {
        SCOPED_TRACE(int(format));
        PstBuilder b;
        b.setFormat(format);
        b.setStoreDisplayName(QStringLiteral("Locked"));
        b.setPassword(QStringLiteral("Pässword"));
        const QString path = write(b);
        auto cause = [](const std::function<void()>& open) -> std::optional<Cause> {
            try {
                open();
            } catch (const OutlookError& e) {
                EXPECT_EQ(std::string(e.what()).find("ssword1"), std::string::npos) << e.what();
                EXPECT_EQ(std::string(e.what()).find("P\xC3\xA4ssword"), std::string::npos) << e.what();
                return e.cause();
            }
            return std::nullopt;
        };
        EXPECT_EQ(cause([&] { RDOSession::OpenPstFile(path); }), Cause::Protected);
        {
            RDOSession s;
            s.Logon();
            EXPECT_EQ(cause([&] { s.AddPSTStore(path); }), Cause::Protected);
            EXPECT_EQ(s.StoreCount(), 0);
        }
        RememberPassword(path, QStringLiteral("Password1"));
        EXPECT_EQ(cause([&] { RDOSession::OpenPstFile(path); }), Cause::WrongPassword);
        EXPECT_EQ(cause([&] { RDOSession::OpenPstFile(path); }), Cause::WrongPassword);
        // The right one beside the wrong one, given by another spelling of the path.
        RememberPassword(QFileInfo(path).absolutePath() + QStringLiteral("/./") + QFileInfo(path).fileName(),
                         QStringLiteral("Pässword"));
        EXPECT_EQ(RDOSession::OpenPstFile(path).Name(), QStringLiteral("Locked"));
        {
            RDOSession s;
            s.Logon();
            EXPECT_EQ(s.AddPSTStore(path).Name(), QStringLiteral("Locked"));
        }
        {
            RDOSession s;
            s.Logon();
            ASSERT_EQ(s.StoreCount(), 1);
            EXPECT_EQ(s.Store(1).Name(), QStringLiteral("Locked"));
        }
        const QString id = RDOSession::OpenPstFile(path).EntryID();
        ForgetPasswords();
        EXPECT_EQ(cause([&] { RDOSession::OpenPstFile(path); }), Cause::Protected);
        {
            // The export run finds the store by its identifier: it is the
            // password that is missing, not the store.
            RDOSession s;
            s.Logon();
            EXPECT_EQ(cause([&] { s.GetStoreFromID(id); }), Cause::Protected);
        }
        ASSERT_TRUE(QFile::remove(RDOSession::ProfilePath()));
    }
}
