#include "Fixture.h"

#include <QFile>

#include <functional>

using namespace outlook;

// A file written by Outlook itself: Unicode, a store named "Empty" holding
// only its top folder and "Deleted Items".
TEST(SampleTest, ReadsEmptyUnicodeFileFromOutlook)
{
    const QString path = QStringLiteral(PELLARO_SHARED_DIR "/samples/empty-unicode.pst");
    if (!QFile::exists(path))
        GTEST_SKIP() << "sample not present: " << path.toStdString();
    RDOStore store = RDOSession::OpenPstFile(path);
    EXPECT_EQ(store.Name(), QStringLiteral("Empty"));
    EXPECT_EQ(store.EntryID().size(), 40);
    RDOFolder top = store.IPMRootFolder();
    EXPECT_EQ(top.Name(), QStringLiteral("Top of Outlook data file"));
    ASSERT_EQ(top.FolderCount(), 1);
    EXPECT_EQ(top.Folder(1).Name(), QStringLiteral("Deleted Items"));
    int folders = 0;
    std::function<void(const RDOFolder&, int)> walk = [&](const RDOFolder& f, int depth) {
        ASSERT_LT(depth, 20);
        EXPECT_EQ(store.GetFolderFromID(f.EntryID()).Name(), f.Name());
        ++folders;
        EXPECT_EQ(f.DefaultMessageClass(), QStringLiteral("IPM.Note"));
        for (qint64 k = 1; k <= f.Items().Count(); ++k)
            f.Items().Item(k).MessageClass();
        for (int i = 1; i <= f.FolderCount(); ++i)
            walk(f.Folder(i), depth + 1);
    };
    walk(top, 0);
    EXPECT_EQ(folders, 2);
}
