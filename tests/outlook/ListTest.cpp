#include "Fixture.h"

#include "source/outlook/Ndb.h"
#include "source/outlook/PropertyContext.h"
#include "source/outlook/TableContext.h"

#include <QtEndian>

using namespace outlook;
using pstwriter::ContactData;
using pstwriter::DistListData;
using pstwriter::DistListMember;
using pstwriter::PstBuilder;

class ListTest : public StoreTest {
protected:
    PstBuilder b;
    pstwriter::FolderHandle folder
        = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    std::unique_ptr<RDOStore> store;

    RDOItems items()
    {
        store = std::make_unique<RDOStore>(RDOSession::OpenPstFile(write(b)));
        return child(store->IPMRootFolder(), QStringLiteral("Contacts")).Items();
    }
};

TEST_F(ListTest, OneOffAndReferenceMembersInOrder)
{
    ContactData ann;
    ann.displayName = QStringLiteral("Ann Lee");
    ann.email1Address = QStringLiteral("ann@example.org");
    ann.email2Address = QStringLiteral("ann@home.example");
    ann.email3Address = QStringLiteral("Ann Lee");  // same as the name: given once
    auto annItem = b.addContact(folder, ann);
    DistListData inner;
    inner.name = QStringLiteral("Inner list");
    auto innerItem = b.addDistList(folder, inner);

    DistListData list;
    list.name = QStringLiteral("Friends 'n' family");
    list.displayName = QStringLiteral("Shown name");
    list.members = {
        DistListMember::oneOff(QStringLiteral("Bob Ü"), QStringLiteral("SMTP"), QStringLiteral("bob@example.org")),
        DistListMember::reference(annItem, 1),
        DistListMember::reference(annItem, 2),
        DistListMember::reference(annItem, 3),
        DistListMember::reference(innerItem),
        DistListMember::oneOff(QStringLiteral("same@x.org"), QStringLiteral("SMTP"), QStringLiteral("same@x.org")),
        DistListMember::dangling(),
        DistListMember::oneOff(QStringLiteral("Last"), QStringLiteral("SMTP"), QString()),
    };
    b.addDistList(folder, list);

    RDOItem l = items().Item(3);
    EXPECT_EQ(l.MessageClass(), QStringLiteral("IPM.DistList"));
    EXPECT_EQ(l.DLName(), QStringLiteral("Friends 'n' family"));
    ASSERT_EQ(l.MemberCount(), 8);
    EXPECT_EQ(l.MemberText(1), QStringLiteral("Bob Ü <bob@example.org>"));
    EXPECT_EQ(l.MemberText(2), QStringLiteral("Ann Lee <ann@example.org>"));
    EXPECT_EQ(l.MemberText(3), QStringLiteral("Ann Lee <ann@home.example>"));
    EXPECT_EQ(l.MemberText(4), QStringLiteral("Ann Lee"));
    EXPECT_EQ(l.MemberText(5), QStringLiteral("Inner list"));
    EXPECT_EQ(l.MemberText(6), QStringLiteral("same@x.org"));
    EXPECT_THROW(l.MemberText(7), OutlookError);  // unresolvable: that member alone fails
    EXPECT_EQ(l.MemberText(8), QStringLiteral("Last"));
    EXPECT_THROW(l.MemberText(0), OutlookError);
    EXPECT_THROW(l.MemberText(9), OutlookError);
}

TEST_F(ListTest, NameFallsBackToDisplayNameAndBodyIsTheDescription)
{
    DistListData list;
    list.name = QStringLiteral("Only display");
    list.writeListName = false;
    list.body = QStringLiteral("About the list");
    list.categories = QStringList{QStringLiteral("X"), QStringLiteral("Y")};
    b.addDistList(folder, list);
    RDOItem l = items().Item(1);
    EXPECT_EQ(l.DLName(), QStringLiteral("Only display"));
    EXPECT_EQ(l.Body(), QStringLiteral("About the list"));
    EXPECT_EQ(l.Categories(), QStringLiteral("X, Y"));
    EXPECT_EQ(l.MemberCount(), 0);
}

TEST_F(ListTest, ReferenceToAnotherStoreOrANonMessageFails)
{
    DistListData list;
    list.name = QStringLiteral("Odd");
    // A wrapped reference carrying someone else's record key.
    QByteArray foreign = QByteArray(4, '\0') + QByteArray::fromHex("C091ADD3519DCF11A4A900AA0047FAA4");
    foreign += char(0x83);
    foreign += QByteArray(4, '\0') + QByteArray(16, '\x5A') + QByteArray::fromHex("44000000");
    // A reference to the top folder's node id instead of a message.
    QByteArray folderRef = QByteArray(4, '\0') + QByteArray::fromHex("C091ADD3519DCF11A4A900AA0047FAA4");
    folderRef += char(0x83);
    folderRef += b.entryIdForNid(0x8022);
    // Bytes that are no entry id at all.
    const QByteArray junk = QByteArray::fromHex("0102");
    pstwriter::ExtraProperty members;
    members.propertySet = pstwriter::psetidAddress();
    members.lid = 0x8055;
    members.type = 0x1102;
    members.binaries = {foreign, folderRef, junk};
    list.extra.push_back(members);
    b.addDistList(folder, list);
    RDOItem l = items().Item(1);
    ASSERT_EQ(l.MemberCount(), 3);
    EXPECT_THROW(l.MemberText(1), OutlookError);
    EXPECT_THROW(l.MemberText(2), OutlookError);
    EXPECT_THROW(l.MemberText(3), OutlookError);
}

// Outlook writes a reference to a contact's first e-mail address with the
// type byte 0xC3 (bits 4-6 = 4: e-mail 1); 0x83 (bits 4-6 = 0) would be its
// business fax. Once read as a fax, the member lost its address.
TEST_F(ListTest, ContactReferenceAsOutlookWritesItGivesTheFirstAddress)
{
    ContactData ann;
    ann.displayName = QStringLiteral("Ann Lee");
    ann.email1Address = QStringLiteral("ann@example.org");
    auto annItem = b.addContact(folder, ann);
    DistListData list;
    list.name = QStringLiteral("Team");
    list.members = {DistListMember::reference(annItem, 1), DistListMember::reference(annItem, 2)};
    // Where the contact lacks the address selected, the list's one-off copy
    // of that member keeps it.
    pstwriter::ExtraProperty copies;
    copies.propertySet = pstwriter::psetidAddress();
    copies.lid = 0x8054;
    copies.type = 0x1102;
    copies.binaries
        = {b.oneOffEntryId(QStringLiteral("Ann Lee"), QStringLiteral("SMTP"), QStringLiteral("ann@example.org")),
           b.oneOffEntryId(QStringLiteral("Ann"), QStringLiteral("SMTP"), QStringLiteral("ann@old.example"))};
    list.extra.push_back(copies);
    b.addDistList(folder, list);

    RDOItem l = items().Item(2);
    ASSERT_EQ(l.MemberCount(), 2);
    EXPECT_EQ(l.MemberText(1), QStringLiteral("Ann Lee <ann@example.org>"));
    EXPECT_EQ(l.MemberText(2), QStringLiteral("Ann Lee <ann@old.example>"));

    // The bytes as stored: Outlook's type byte.
    auto ndb = pst::Ndb::open(store->PstPath());
    RDOFolder contacts = child(store->IPMRootFolder(), QStringLiteral("Contacts"));
    const QByteArray id = QByteArray::fromHex(contacts.EntryID().toLatin1());
    pst::TableContext table(*ndb, (qFromLittleEndian<quint32>(id.constData() + 20) & ~0x1Fu) | 0x0E);
    const pst::PropertyBag bag = pst::readPropertyContext(*ndb, *table.cell32(1, 0x67F2));
    bool found = false;
    for (const pst::Property& p : bag.all()) {
        if (p.type == pst::PT_MV_BINARY && p.id >= 0x8000) {
            for (const QByteArray& member : pst::toBinaries(p))
                if (member.size() > 20 && member.mid(4, 4) == QByteArray::fromHex("C091ADD3")) {
                    EXPECT_EQ(uchar(member[20]), member == pst::toBinaries(p).front() ? 0xC3 : 0xD3);
                    found = true;
                }
        }
    }
    EXPECT_TRUE(found);
}
