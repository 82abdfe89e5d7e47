#include "Fixture.h"

#include <QDir>
#include <QFile>

using namespace outlook;
using pstwriter::PstBuilder;

TEST_F(StoreTest, OpensStoreAndWalksFoldersInOrder)
{
    PstBuilder b;
    b.setStoreDisplayName(QStringLiteral("My Mailbox ü"));
    auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addFolder(contacts, QStringLiteral("Friends"), QStringLiteral("IPF.Contact"));
    b.addFolder(contacts, QStringLiteral("Work"), QStringLiteral("IPF.Contact.MOC.QuickContacts"));
    b.addFolder(b.ipmSubtree(), QStringLiteral("Inbox"), QStringLiteral("IPF.Note"));
    b.addFolder(b.ipmSubtree(), QStringLiteral("Plain"));
    const QString path = write(b);

    RDOStore store = RDOSession::OpenPstFile(path);
    EXPECT_EQ(store.Name(), QStringLiteral("My Mailbox ü"));
    EXPECT_EQ(store.PstPath(), QFileInfo(path).canonicalFilePath());

    RDOFolder top = store.IPMRootFolder();
    EXPECT_EQ(top.Name(), QStringLiteral("Top of Personal Folders"));
    QStringList names;
    for (int i = 1; i <= top.FolderCount(); ++i)
        names << top.Folder(i).Name();
    EXPECT_EQ(names, (QStringList{"Deleted Items", "Contacts", "Inbox", "Plain"}));

    RDOFolder c = child(top, QStringLiteral("Contacts"));
    EXPECT_EQ(c.DefaultMessageClass(), QStringLiteral("IPM.Contact"));
    ASSERT_EQ(c.FolderCount(), 2);
    EXPECT_EQ(c.Folder(1).Name(), QStringLiteral("Friends"));
    EXPECT_EQ(c.Folder(2).Name(), QStringLiteral("Work"));
    EXPECT_EQ(c.Folder(2).DefaultMessageClass(), QStringLiteral("IPM.Contact.MOC.QuickContacts"));
    EXPECT_EQ(child(top, QStringLiteral("Inbox")).DefaultMessageClass(), QStringLiteral("IPM.Note"));
    EXPECT_EQ(child(top, QStringLiteral("Plain")).DefaultMessageClass(), QStringLiteral("IPM.Note"));
    EXPECT_THROW(c.Folder(0), OutlookError);
    EXPECT_THROW(c.Folder(3), OutlookError);
}

TEST_F(StoreTest, CountIsNormalItemsAndMatchesItem)
{
    PstBuilder b;
    auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    for (int i = 0; i < 5; ++i) {
        pstwriter::ContactData c;
        c.givenName = QStringLiteral("N%1").arg(i);
        b.addContact(contacts, c);
    }
    b.addAssociatedMessage(contacts, QStringLiteral("IPM.Configuration.Hidden"));
    b.addMessage(contacts, QStringLiteral("IPM.Note"), QStringLiteral("a note"));
    RDOFolder f = child(RDOSession::OpenPstFile(write(b)).IPMRootFolder(), QStringLiteral("Contacts"));
    ASSERT_EQ(f.Items().Count(), 6);
    QStringList seen;
    for (qint64 k = 1; k <= f.Items().Count(); ++k)
        seen << f.Items().Item(k).MessageClass() + QLatin1Char(':') + f.Items().Item(k).FirstName();
    EXPECT_EQ(seen,
              (QStringList{"IPM.Contact:N0", "IPM.Contact:N1", "IPM.Contact:N2", "IPM.Contact:N3", "IPM.Contact:N4",
                           "IPM.Note:"}));
    EXPECT_THROW(f.Items().Item(0), OutlookError);
    EXPECT_THROW(f.Items().Item(7), OutlookError);
}

TEST_F(StoreTest, IdentifiersFindTheSameFolderInANewSession)
{
    PstBuilder b;
    auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    auto deep = b.addFolder(contacts, QStringLiteral("Deep"), QStringLiteral("IPF.Contact"));
    const QString path = write(b);

    QString storeId, folderId;
    {
        RDOSession s;
        s.Logon();
        RDOStore store = s.AddPSTStore(path);
        storeId = store.EntryID();
        folderId = child(child(store.IPMRootFolder(), QStringLiteral("Contacts")), QStringLiteral("Deep")).EntryID();
        s.Logoff();
    }
    EXPECT_FALSE(storeId.contains(QLatin1Char('#')));
    EXPECT_FALSE(folderId.contains(QLatin1Char('#')));
    // Built like a file's own entry id: flags, record key, node id.
    EXPECT_EQ(folderId, QString::fromLatin1(b.entryId(deep).toHex().toUpper()));

    RDOSession s;
    s.Logon();
    ASSERT_EQ(s.StoreCount(), 1);
    RDOStore again = s.GetStoreFromID(storeId);
    EXPECT_EQ(again.EntryID(), storeId);
    EXPECT_EQ(again.GetFolderFromID(folderId).Name(), QStringLiteral("Deep"));
    EXPECT_THROW(s.GetStoreFromID(QStringLiteral("00")), OutlookError);
    EXPECT_THROW(again.GetFolderFromID(QStringLiteral("nonsense")), OutlookError);
    EXPECT_THROW(again.GetFolderFromID(folderId.left(40) + QStringLiteral("FFFF0F00")), OutlookError);
}

// Contacts and lists outside contact folders are counted by the class their
// contents-table rows name, in tree order, at any depth; other items, and
// the contacts of contact folders, are not.
TEST_F(StoreTest, ContactsInOtherFoldersAreCountedFromTheTables)
{
    PstBuilder b;
    auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    auto inbox = b.addFolder(b.ipmSubtree(), QStringLiteral("myInbox"), QStringLiteral("IPF.Note"));
    auto sub = b.addFolder(inbox, QStringLiteral("Old"));
    pstwriter::ContactData c;
    c.givenName = QStringLiteral("Ann");
    auto ann = b.addContact(contacts, c);
    b.addContact(inbox, c);
    c.messageClass = QStringLiteral("IPM.Contact.Custom form");
    b.addContact(inbox, c);
    c.messageClass = QStringLiteral("IPM.ContactLike");
    b.addContact(inbox, c);
    b.addMessage(inbox, QStringLiteral("IPM.Note"), QStringLiteral("mail"));
    pstwriter::DistListData l;
    l.name = QStringLiteral("List");
    l.members.push_back(pstwriter::DistListMember::reference(ann));
    b.addDistList(sub, l);
    b.addAssociatedMessage(sub, QStringLiteral("IPM.Contact"));
    const std::vector<StrayItems> strays = RDOSession::OpenPstFile(write(b)).ContactsInOtherFolders();
    ASSERT_EQ(strays.size(), 2u);
    EXPECT_EQ(strays[0].folderPath, QStringLiteral("myInbox"));
    EXPECT_EQ(strays[0].count, 2);
    EXPECT_EQ(strays[1].folderPath, QStringLiteral("myInbox\\Old"));
    EXPECT_EQ(strays[1].count, 1);
}
