// Creating the folder of a new book with its missing parents.

#include "export/FolderCreation.h"
#include "tests/support/TempDir.h"

#include <QDir>
#include <QFileInfo>

#include "tests/support/PrintQt.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace exporting;

TEST(CreateFolderPath, WithOrWithoutTrailingSeparatorCreatesTheFolderAndItsParents)
{
    TestHome home;
    const QString plain = home.file(QStringLiteral("Backup/Lotus Notes Address Book"));
    const QString copy = plain;
    EXPECT_TRUE(CreateFolderPath(plain));
    EXPECT_EQ(plain, copy);
    EXPECT_TRUE(QFileInfo(plain).isDir());

    const QString trailing = home.file(QStringLiteral("Other/Deeper/Lotus Notes Address Book/"));
    EXPECT_TRUE(CreateFolderPath(trailing));
    EXPECT_TRUE(QFileInfo(home.file(QStringLiteral("Other/Deeper/Lotus Notes Address Book"))).isDir());
    // No folder with an empty or odd name beside it.
    EXPECT_EQ(QDir(home.file(QStringLiteral("Other/Deeper"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{QStringLiteral("Lotus Notes Address Book")});

    // Names beyond any 8-bit code page keep every character.
    const QString unicode = home.file(QStringLiteral("Zoë 日本 \U0001F4C1/Lotus Notes Address Book"));
    EXPECT_TRUE(CreateFolderPath(unicode));
    EXPECT_TRUE(QFileInfo(unicode).isDir());
    EXPECT_TRUE(QDir(home.path()).entryList().contains(QStringLiteral("Zoë 日本 \U0001F4C1")));
}

TEST(CreateFolderPath, AnExistingFolderGivesYesAndIsLeftAlone)
{
    TestHome home;
    const QString folder = home.file(QStringLiteral("Backup"));
    ASSERT_TRUE(writeAll(folder + QStringLiteral("/keep.txt"), "keep"));
    EXPECT_TRUE(CreateFolderPath(folder));
    EXPECT_TRUE(CreateFolderPath(folder + u'/'));
    EXPECT_EQ(readAll(folder + QStringLiteral("/keep.txt")), QByteArray("keep"));
}

TEST(CreateFolderPath, AFolderThatCannotBeMadeGivesNo)
{
    TestHome home;
    // A file where a parent folder should be.
    ASSERT_TRUE(writeAll(home.file(QStringLiteral("file")), "x"));
    EXPECT_FALSE(CreateFolderPath(home.file(QStringLiteral("file/Lotus Notes Address Book"))));
    EXPECT_EQ(readAll(home.file(QStringLiteral("file"))), QByteArray("x"));

    // A parent without write permission (not enforced for the superuser).
    const QString locked = home.file(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(locked));
    ASSERT_EQ(::chmod(locked.toLocal8Bit().constData(), 0555), 0);
    if (::geteuid() != 0) {
        EXPECT_FALSE(CreateFolderPath(locked + QStringLiteral("/a/Lotus Notes Address Book")));
        EXPECT_FALSE(QFileInfo::exists(locked + QStringLiteral("/a")));
    }
    ::chmod(locked.toLocal8Bit().constData(), 0755);
}
