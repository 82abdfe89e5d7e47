// The data directory, notes.ini settings and how bare names are found.

#include "export/notes/BookReader.h"
#include "export/notes/Notes.h"
#include "tests/support/TempDir.h"

#include <QDir>
#include <QFileInfo>

#include "tests/support/PrintQt.h"

#include <gtest/gtest.h>

using namespace notes;

TEST(DataDirectory, UnderXdgDataHomeElseTheHomeFolderCreatedOnFirstUse)
{
    TestHome home;
    const QString expected = home.file(QStringLiteral("data/pellaro"));
    EXPECT_FALSE(QFileInfo::exists(expected));
    EXPECT_EQ(NotesSession::DataDirectory(), expected);
    EXPECT_TRUE(QFileInfo(expected).isDir());

    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.file(QStringLiteral("home")).toLocal8Bit());
    qunsetenv("XDG_DATA_HOME");
    EXPECT_EQ(NotesSession::DataDirectory(), home.file(QStringLiteral("home/.local/share/pellaro")));
    qputenv("XDG_DATA_HOME", "relative/is/ignored");
    EXPECT_EQ(NotesSession::DataDirectory(), home.file(QStringLiteral("home/.local/share/pellaro")));
    qputenv("HOME", oldHome);
    EXPECT_TRUE(QFileInfo(home.file(QStringLiteral("home/.local/share/pellaro"))).isDir());
}

TEST(Settings, NamesLineOfNotesIni)
{
    TestHome home;
    NotesSession s;
    EXPECT_EQ(s.GETENVIRONMENTSTRING(QStringLiteral("NAMES"), true), QString());  // no notes.ini

    const QString ini = NotesSession::DataDirectory() + QStringLiteral("/notes.ini");
    ASSERT_TRUE(writeAll(ini, "[Notes]\r\nKeyFilename=user.id\r\n"));
    EXPECT_EQ(s.GETENVIRONMENTSTRING(QStringLiteral("NAMES"), true), QString());  // no NAMES line

    ASSERT_TRUE(writeAll(ini, "[Notes]\r\nNAMESX=no\r\nnames= names.nsf ,archive.nsf \r\n$NAMES=user\nNAMES=second\n"));
    EXPECT_EQ(s.GETENVIRONMENTSTRING(QStringLiteral("NAMES"), true), QStringLiteral(" names.nsf ,archive.nsf "));
    EXPECT_EQ(s.GETENVIRONMENTSTRING(QStringLiteral("NAMES"), false), QStringLiteral("user"));

    ASSERT_TRUE(writeAll(ini, "NAMES=\n"));
    EXPECT_EQ(s.GETENVIRONMENTSTRING(QStringLiteral("NAMES"), true), QString());
    ASSERT_TRUE(writeAll(ini, QStringLiteral("NAMES=Adressbuch Zoë.nsf").toUtf8()));
    EXPECT_EQ(s.GETENVIRONMENTSTRING(QStringLiteral("NAMES"), true), QStringLiteral("Adressbuch Zoë.nsf"));
}

TEST(Settings, BareNamesResolveInTheDataDirectoryBeforeTheTemplates)
{
    TestHome home;
    NotesSession s;
    const QString installed = s.GetDatabase(QString(), QStringLiteral("pernames.ntf"))->FilePath();
    EXPECT_FALSE(installed.startsWith(home.path()));

    // A pernames.ntf of the user's own wins over the installed one.
    const QString own = NotesSession::DataDirectory() + QStringLiteral("/pernames.ntf");
    s.GetDatabase(QString(), installed)->CreateCopy(QString(), own);
    EXPECT_EQ(s.GetDatabase(QString(), QStringLiteral("pernames.ntf"))->FilePath(), own);

    // Relative names of new copies land in the data directory too.
    auto names = s.GetDatabase(QString(), installed)->CreateCopy(QString(), QStringLiteral("names.nsf"));
    EXPECT_EQ(names->FilePath(), NotesSession::DataDirectory() + QStringLiteral("/names.nsf"));
    EXPECT_EQ(s.GetDatabase(QString(), QStringLiteral("names.nsf"))->FilePath(), names->FilePath());
}
