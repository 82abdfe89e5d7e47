// Written values read back exactly through libpff's API: every contact
// value with its tag or its named property, folders and their classes and
// counts, the message store, and distribution list members.

#include "PffRead.h"
#include "Sample.h"

#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace pstwriter;
using pff::Prop;

namespace {

const QUuid kAddress = psetidAddress();

struct TextField {
    QString ContactData::*member;
    Prop prop;
    const char* what;
};

// Every text value of a contact and where it is stored.
const std::vector<TextField>& textFields()
{
    static const std::vector<TextField> f = {
        {&ContactData::displayName, Prop::tag(0x3001), "display name"},
        {&ContactData::givenName, Prop::tag(0x3A06), "given name"},
        {&ContactData::middleName, Prop::tag(0x3A44), "middle name"},
        {&ContactData::surname, Prop::tag(0x3A11), "surname"},
        {&ContactData::generation, Prop::tag(0x3A05), "generation"},
        {&ContactData::displayNamePrefix, Prop::tag(0x3A45), "prefix"},
        {&ContactData::email1Address, Prop::named(kAddress, 0x8083), "e-mail 1"},
        {&ContactData::email2Address, Prop::named(kAddress, 0x8093), "e-mail 2"},
        {&ContactData::email3Address, Prop::named(kAddress, 0x80A3), "e-mail 3"},
        {&ContactData::email1DisplayName, Prop::named(kAddress, 0x8080), "e-mail 1 display name"},
        {&ContactData::email3DisplayName, Prop::named(kAddress, 0x80A0), "e-mail 3 display name"},
        {&ContactData::companyName, Prop::tag(0x3A16), "company"},
        {&ContactData::jobTitle, Prop::tag(0x3A17), "job title"},
        {&ContactData::workStreet, Prop::named(kAddress, 0x8045), "work street"},
        {&ContactData::workCity, Prop::named(kAddress, 0x8046), "work city"},
        {&ContactData::workState, Prop::named(kAddress, 0x8047), "work state"},
        {&ContactData::workPostalCode, Prop::named(kAddress, 0x8048), "work postal code"},
        {&ContactData::workCountry, Prop::named(kAddress, 0x8049), "work country"},
        {&ContactData::officeLocation, Prop::tag(0x3A19), "office"},
        {&ContactData::webPage, Prop::named(kAddress, 0x802B), "web page"},
        {&ContactData::department, Prop::tag(0x3A18), "department"},
        {&ContactData::managerName, Prop::tag(0x3A4E), "manager"},
        {&ContactData::assistantName, Prop::tag(0x3A30), "assistant"},
        {&ContactData::businessPhone, Prop::tag(0x3A08), "business phone"},
        {&ContactData::businessFax, Prop::tag(0x3A24), "business fax"},
        {&ContactData::mobilePhone, Prop::tag(0x3A1C), "mobile"},
        {&ContactData::pager, Prop::tag(0x3A21), "pager"},
        {&ContactData::homeStreet, Prop::tag(0x3A5D), "home street"},
        {&ContactData::homeCity, Prop::tag(0x3A59), "home city"},
        {&ContactData::homePostalCode, Prop::tag(0x3A5B), "home postal code"},
        {&ContactData::homeState, Prop::tag(0x3A5C), "home state"},
        {&ContactData::homeCountry, Prop::tag(0x3A5A), "home country"},
        {&ContactData::spouse, Prop::tag(0x3A48), "spouse"},
        {&ContactData::homePhone, Prop::tag(0x3A09), "home phone"},
        {&ContactData::homeFax, Prop::tag(0x3A25), "home fax"},
        {&ContactData::body, Prop::tag(0x1000), "body"},
    };
    return f;
}

const Prop kKeywords = Prop::named(psPublicStrings(), QStringLiteral("Keywords"));

// The parts of a one-off entry id: display name, address type, address.
QStringList oneOffParts(const QByteArray& b)
{
    if (b.size() < 24 || b.mid(4, 16) != QByteArray::fromHex("812B1FA4BEA310199D6E00DD010F5402"))
        return {QStringLiteral("<not a one-off entry id>")};
    if (!(qFromLittleEndian<std::uint16_t>(b.constData() + 22) & 0x8000))
        return {QStringLiteral("<not Unicode>")};
    QStringList parts;
    QString cur;
    for (qsizetype i = 24; i + 1 < b.size(); i += 2) {
        const char16_t c = qFromLittleEndian<char16_t>(b.constData() + i);
        if (c == 0) {
            parts << cur;
            cur.clear();
        } else {
            cur.append(QChar(c));
        }
    }
    return parts;
}

class ReadBackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("sample.pst"));
        s = sample::build(builder);
    }
    void write() { builder.write(path); }
    pff::Item contacts(const pff::File& f)
    {
        return f.root().folder({QStringLiteral("Top of Personal Folders"), QStringLiteral("Contacts")});
    }
    QTemporaryDir dir;
    QString path;
    PstBuilder builder;
    sample::Sample s;
};

TEST_F(ReadBackTest, EveryContactValueIsStoredWhereReadersLookForIt)
{
    write();
    pff::File f(path);
    pff::Item folder = contacts(f);
    pff::Item ada = folder.message(0);
    EXPECT_EQ(ada.identifier(), s.adaItem.nid);
    for (const TextField& t : textFields())
        EXPECT_EQ(ada.text(t.prop), s.ada.*t.member) << t.what;
    EXPECT_EQ(ada.text(Prop::tag(0x001A)), QStringLiteral("IPM.Contact"));
    EXPECT_EQ(ada.text(Prop::tag(0x0037)), s.ada.displayName);  // subject
    EXPECT_EQ(ada.text(Prop::named(kAddress, 0x8005)), s.ada.displayName);  // file under
    EXPECT_EQ(ada.text(Prop::named(kAddress, 0x8082)), QStringLiteral("SMTP"));
    EXPECT_EQ(ada.texts(Prop::tag(0x3A58)), s.ada.children);
    EXPECT_EQ(ada.texts(kKeywords), s.ada.categories);
    EXPECT_EQ(ada.time(Prop::tag(0x3A42)), s.ada.birthday);
    EXPECT_EQ(ada.time(Prop::tag(0x3A41)), s.ada.anniversary);  // 23:30 UTC, time of day kept
    EXPECT_FALSE(ada.has(Prop::tag(0x1009)));  // plain body only
    // The e-mail entry ids are one-offs of display name, type and address.
    auto entry = ada.value(Prop::named(kAddress, 0x8085));
    ASSERT_TRUE(entry);
    EXPECT_EQ(oneOffParts(entry->data),
              QStringList({s.ada.email1DisplayName, QStringLiteral("SMTP"), s.ada.email1Address}));
    EXPECT_EQ(ada.integer(Prop::named(kAddress, 0x8029)), 7);  // e-mails 1, 2 and 3 present
    EXPECT_EQ(ada.integers(Prop::named(kAddress, 0x8028)), std::vector<std::int32_t>({0, 1, 2}));

    // A value left empty is not written at all.
    pff::Item pat = folder.message(3);
    EXPECT_EQ(pat.text(Prop::tag(0x3A11)), QStringLiteral("O'Neil"));
    for (const Prop& p : {Prop::tag(0x3A16), Prop::tag(0x3A42), Prop::tag(0x1000), kKeywords,
                          Prop::named(kAddress, 0x8093), Prop::tag(0x3A58)})
        EXPECT_FALSE(pat.has(p));
}

TEST_F(ReadBackTest, EmptyStringsAndRtfOnlyBodies)
{
    write();
    pff::File f(path);
    pff::Item folder = contacts(f);

    pff::Item rita = folder.message(1);
    EXPECT_FALSE(rita.has(Prop::tag(0x1000)));
    const QByteArray rtf = rita.rtfBody();
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi")) << rtf.constData();
    EXPECT_TRUE(rtf.contains("Only in RTF: Gr\\u252?\\u223?e \\{x\\} \\\\ y\\par\r\nSecond line}")) << rtf.constData();
    EXPECT_EQ(rita.integer(Prop::tag(0x0E1F)), 0);  // PidTagRtfInSync: no plain body to match

    pff::Item nobody = folder.message(2);
    auto given = nobody.value(Prop::tag(0x3A06));
    ASSERT_TRUE(given);
    EXPECT_EQ(given->type, 0x001Fu);
    EXPECT_TRUE(given->data.isEmpty());
    EXPECT_TRUE(nobody.has(Prop::tag(0x3A16)));
    EXPECT_FALSE(nobody.has(Prop::tag(0x3A11)));  // a null text is never written
}

TEST_F(ReadBackTest, FoldersNestInOrderWithTheirClassesAndCounts)
{
    write();
    pff::File f(path);
    pff::Item root = f.root();
    EXPECT_EQ(root.subFolderNames(),
              QStringList({QStringLiteral("Top of Personal Folders"), QStringLiteral("Search Root"),
                           QStringLiteral("IPM_COMMON_VIEWS")}));
    pff::Item top = root.folder({QStringLiteral("Top of Personal Folders")});
    EXPECT_EQ(top.subFolderNames(),
              QStringList({QStringLiteral("Deleted Items"), QStringLiteral("Contacts"),
                           QStringLiteral("Quick Contacts"), QStringLiteral("Misc"), QStringLiteral("Inbox")}));

    struct Expect {
        QStringList path;
        QString cls;
        int items;
        int assoc;
        QStringList sub;
    };
    const std::vector<Expect> folders = {
        {{QStringLiteral("Contacts")}, QStringLiteral("IPF.Contact"), 6, 2, {QStringLiteral("Friends")}},
        {{QStringLiteral("Contacts"), QStringLiteral("Friends")},
         QStringLiteral("IPF.Contact"),
         3,
         0,
         {QStringLiteral("Close – Ströme")}},
        {{QStringLiteral("Contacts"), QStringLiteral("Friends"), QStringLiteral("Close – Ströme")},
         QStringLiteral("IPF.Contact"),
         1,
         0,
         {}},
        {{QStringLiteral("Quick Contacts")}, QStringLiteral("IPF.Contact.MOC.QuickContacts"), 1, 0, {}},
        {{QStringLiteral("Misc")}, QString(), 1, 0, {}},
        {{QStringLiteral("Inbox")}, QStringLiteral("IPF.Note"), 2, 0, {}},
    };
    for (const Expect& e : folders) {
        SCOPED_TRACE(e.path.join(QLatin1Char('\\')).toStdString());
        pff::Item folder = top.folder(e.path);
        EXPECT_EQ(folder.text(Prop::tag(0x3613)), e.cls);
        EXPECT_EQ(folder.has(Prop::tag(0x3613)), !e.cls.isEmpty());  // no class: no property at all
        EXPECT_EQ(folder.messageCount(), e.items);
        EXPECT_EQ(folder.integer(Prop::tag(0x3602)), e.items);  // PidTagContentCount
        EXPECT_EQ(folder.associatedCount(), e.assoc);
        EXPECT_EQ(folder.integer(Prop::tag(0x360A)), e.sub.isEmpty() ? 0 : 1);  // PidTagSubfolders
        EXPECT_EQ(folder.subFolderNames(), e.sub);
    }
    pff::Item contactsFolder = top.folder({QStringLiteral("Contacts")});
    EXPECT_EQ(contactsFolder.identifier(), s.contacts.nid);
    for (int i = 0; i < 2; ++i) {
        pff::Item view = contactsFolder.associated(i);
        EXPECT_EQ(view.text(Prop::tag(0x0037)), QStringLiteral("View %1").arg(i + 1));
        EXPECT_EQ(view.integer(Prop::tag(0x0E07)).value_or(0) & 0x40, 0x40);  // MSGFLAG_ASSOCIATED
    }
    EXPECT_EQ(f.orphanCount(), 0);
}

TEST_F(ReadBackTest, MessageStorePointsAtTheIpmSubtree)
{
    const QByteArray key = QByteArray::fromHex("00112233445566778899AABBCCDDEEFF");
    PstBuilder b;
    b.setRecordKey(key);
    b.setStoreDisplayName(QStringLiteral("Archive ✓"));
    b.setIpmSubtreeName(QStringLiteral("Top"));
    b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.write(path);

    pff::File f(path);
    pff::Item store = f.messageStore();
    EXPECT_EQ(store.text(Prop::tag(0x3001)), QStringLiteral("Archive ✓"));
    auto recordKey = store.value(Prop::tag(0x0FF9));
    ASSERT_TRUE(recordKey);
    EXPECT_EQ(recordKey->data, key);
    auto ipm = store.value(Prop::tag(0x35E0));
    ASSERT_TRUE(ipm);
    EXPECT_EQ(ipm->data, b.entryId(b.ipmSubtree()));
    // flags, the record key, the node id
    EXPECT_EQ(ipm->data, QByteArray(4, '\0') + key + QByteArray::fromHex("22800000"));
    EXPECT_EQ(f.root().folder({QStringLiteral("Top")}).identifier(), b.ipmSubtree().nid);
    EXPECT_EQ(store.integer(Prop::tag(0x67FF)), 0);  // no password
}

TEST_F(ReadBackTest, ListMembersRefersToContactsListsAndOneOffs)
{
    write();
    pff::File f(path);
    pff::Item folder = contacts(f);
    pff::Item list = folder.message(5);
    EXPECT_EQ(list.text(Prop::tag(0x001A)), QStringLiteral("IPM.DistList"));
    EXPECT_EQ(list.text(Prop::named(kAddress, 0x8053)), s.list.name);
    EXPECT_EQ(list.text(Prop::tag(0x3001)), s.list.name);
    EXPECT_EQ(list.text(Prop::tag(0x1000)), s.list.body);
    EXPECT_EQ(list.texts(kKeywords), s.list.categories);

    const std::vector<QByteArray> members = list.binaries(Prop::named(kAddress, 0x8055));
    const std::vector<QByteArray> oneOffs = list.binaries(Prop::named(kAddress, 0x8054));
    ASSERT_EQ(members.size(), s.list.members.size());
    ASSERT_EQ(oneOffs.size(), s.list.members.size());
    for (std::size_t i = 0; i < members.size(); ++i)
        EXPECT_EQ(members[i], builder.memberEntryId(s.list.members[i])) << "member " << i;

    // A one-off member is its own one-off entry in both lists.
    const QStringList guest
        = {QStringLiteral("Guest Ünö"), QStringLiteral("SMTP"), QStringLiteral("guest@example.com")};
    EXPECT_EQ(oneOffParts(members[0]), guest);
    EXPECT_EQ(oneOffParts(oneOffs[0]), guest);

    // References: a wrapped entry id (type byte: contact e-mail 1..3 or a list)
    // around the store's entry id of the item, which resolves in the file.
    const QByteArray wrappedProvider = QByteArray::fromHex("C091ADD3519DCF11A4A900AA0047FAA4");
    const std::uint8_t types[] = {0xC3, 0xD3, 0xE3, 0xB4, 0xC3};
    const std::uint32_t targets[] = {s.adaItem.nid, s.adaItem.nid, s.adaItem.nid, s.innerListItem.nid, s.danglingNid};
    for (int k = 0; k < 5; ++k) {
        const QByteArray& m = members[std::size_t(k) + 1];
        SCOPED_TRACE(k);
        ASSERT_EQ(m.size(), 4 + 16 + 1 + 24);
        EXPECT_EQ(m.mid(4, 16), wrappedProvider);
        EXPECT_EQ(std::uint8_t(m[20]), types[k]);
        EXPECT_EQ(m.mid(21, 20), QByteArray(4, '\0') + builder.recordKey());
        EXPECT_EQ(qFromLittleEndian<std::uint32_t>(m.constData() + 41), targets[k]);
    }
    EXPECT_EQ(f.byIdentifier(s.adaItem.nid).text(Prop::tag(0x3001)), s.ada.displayName);
    EXPECT_EQ(f.byIdentifier(s.innerListItem.nid).text(Prop::tag(0x3001)), QStringLiteral("Inner"));
    EXPECT_THROW(f.byIdentifier(s.danglingNid), std::runtime_error);
    // The one-off twins of references carry what the referenced entry shows.
    EXPECT_EQ(oneOffParts(oneOffs[1]),
              QStringList({s.ada.email1DisplayName, QStringLiteral("SMTP"), s.ada.email1Address}));
    EXPECT_EQ(oneOffParts(oneOffs[2]), QStringList({s.ada.displayName, QStringLiteral("SMTP"), s.ada.email2Address}));
    EXPECT_EQ(oneOffParts(oneOffs[4]), QStringList({QStringLiteral("Inner"), QStringLiteral("MAPIPDL"), QString()}));
}

TEST_F(ReadBackTest, MemberTypeBytesAsOutlookWritesThem)
{
    // Bits 4-6 name the contact's address: 4, 5, 6 for e-mail 1, 2, 3; 3 for
    // a list. The legacy form put 0, 1, 2 there (the faxes).
    builder.setMemberAddressBits(MemberAddressBits::Outlook);
    DistListData l;
    l.name = QStringLiteral("Outlook's bytes");
    l.members = {DistListMember::reference(s.adaItem, 1), DistListMember::reference(s.adaItem, 2),
                 DistListMember::reference(s.adaItem, 3), DistListMember::reference(s.innerListItem, 0),
                 DistListMember::dangling(0, 1)};
    builder.addDistList(s.contacts, l);
    write();
    pff::File f(path);
    const std::vector<QByteArray> members = contacts(f).message(6).binaries(Prop::named(kAddress, 0x8055));
    ASSERT_EQ(members.size(), 5u);
    const std::uint8_t types[] = {0xC3, 0xD3, 0xE3, 0xB4, 0xC3};
    for (std::size_t k = 0; k < 5; ++k)
        EXPECT_EQ(std::uint8_t(members[k][20]), types[k]) << k;
}

TEST_F(ReadBackTest, NamedPropertiesAreMappedBySetAndIdTogether)
{
    // Two property sets using the same numeric id, a string name in a set of
    // our own, and extra values of every supported type.
    const QUuid own(QStringLiteral("{6ED8DA90-450B-101B-98DA-00AA003F1305}"));
    ContactData c;
    c.displayName = QStringLiteral("Mapped");
    c.email1Address = QStringLiteral("address-set@example.com");
    c.extra.push_back(ExtraProperty::named(psetidCommon(), 0x8083, QStringLiteral("common-set value")));
    c.extra.push_back(ExtraProperty::namedString(own, QStringLiteral("Colour"), QStringLiteral("blau")));
    ExtraProperty number = ExtraProperty::named(own, 0x0001, QString());
    number.type = 0x0003;
    number.integer = -42;
    c.extra.push_back(number);
    ExtraProperty when = ExtraProperty::named(own, 0x0002, QString());
    when.type = 0x0040;
    when.time = QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    c.extra.push_back(when);
    ExtraProperty tagged = ExtraProperty::tagged(0x3A4F, QStringLiteral("Nick"));  // PidTagNickname
    c.extra.push_back(tagged);
    PstBuilder b;
    // Registering first fixes which id a name gets.
    const std::uint16_t first = b.registerNamedProperty(own, QStringLiteral("Colour"));
    EXPECT_EQ(first, 0x8000);
    EXPECT_EQ(b.registerNamedProperty(own, QStringLiteral("Colour")), first);
    EXPECT_NE(b.registerNamedProperty(psetidCommon(), 0x8083), b.registerNamedProperty(psetidAddress(), 0x8083));
    FolderHandle folder = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addContact(folder, c);
    b.write(path);

    pff::File f(path);
    pff::Item item
        = f.root().folder({QStringLiteral("Top of Personal Folders"), QStringLiteral("Contacts")}).message(0);
    EXPECT_EQ(item.text(Prop::named(psetidAddress(), 0x8083)), c.email1Address);
    EXPECT_EQ(item.text(Prop::named(psetidCommon(), 0x8083)), QStringLiteral("common-set value"));
    EXPECT_EQ(item.text(Prop::named(own, QStringLiteral("Colour"))), QStringLiteral("blau"));
    EXPECT_EQ(item.integer(Prop::named(own, 0x0001)), -42);
    EXPECT_EQ(item.time(Prop::named(own, 0x0002)), when.time);
    EXPECT_EQ(item.text(Prop::tag(0x3A4F)), QStringLiteral("Nick"));
}

}  // namespace

namespace {

// Values stored with the types other writers use, where readers expect
// others: each replaces the standard value, and libpff's tools read the file
// without complaint.
TEST(OddTypesTest, ValuesStoredWithOtherWritersTypes)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("odd.pst"));
    PstBuilder b;
    const FolderHandle folder = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    ContactData base;
    base.displayName = QStringLiteral("Odd");
    base.categories = {QStringLiteral("Business"), QStringLiteral("Friends")};
    base.children = {QStringLiteral("Kim"), QStringLiteral("Lou")};

    ContactData keywordsLong = base;  // "Keywords" as a 32-bit integer
    ExtraProperty asLong = ExtraProperty::namedString(psPublicStrings(), QStringLiteral("Keywords"), QString());
    asLong.type = 0x0003;
    asLong.integer = 7;
    keywordsLong.extra.push_back(asLong);
    b.addContact(folder, keywordsLong);

    ContactData keywordsText = base;  // one text instead of a list
    keywordsText.extra.push_back(
        ExtraProperty::namedString(psPublicStrings(), QStringLiteral("Keywords"), QStringLiteral("Business")));
    b.addContact(folder, keywordsText);

    ContactData eightBit = base;  // 8-bit texts in a Unicode file
    eightBit.givenName = QStringLiteral("Jürgen");
    eightBit.workCity = QStringLiteral("München");
    eightBit.eightBitTexts = true;
    b.addContact(folder, eightBit);

    ContactData lists = base;  // a list where one text is expected, one text for a list
    ExtraProperty given = ExtraProperty::tagged(0x3A06, QString());
    given.type = 0x101F;
    given.texts = {QStringLiteral("Ann"), QStringLiteral("Marie")};
    lists.extra.push_back(given);
    lists.extra.push_back(ExtraProperty::tagged(0x3A58, QStringLiteral("Kim, Lou")));
    ExtraProperty small = ExtraProperty::tagged(0x3A4D, QString());  // PidTagGender as PT_SHORT
    small.type = 0x0002;
    small.integer = 2;
    lists.extra.push_back(small);
    ExtraProperty spouse8 = ExtraProperty::tagged(0x3A48, QStringLiteral("Zoë"));
    spouse8.type = 0x001E;
    lists.extra.push_back(spouse8);
    b.addContact(folder, lists);
    b.write(path);

    for (const QString& tool : {QStringLiteral("pffinfo"), QStringLiteral("pffexport")}) {
        const QStringList args = tool == QLatin1String("pffinfo")
            ? QStringList{path}
            : QStringList{QStringLiteral("-q"), QStringLiteral("-t"), dir.filePath(QStringLiteral("x")), path};
        const sample::ToolRun r = sample::run(tool, args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(sample::complaints(r).isEmpty()) << r.err;
    }

    pff::File f(path);
    pff::Item items = f.root().folder({QStringLiteral("Top of Personal Folders"), QStringLiteral("Contacts")});
    ASSERT_EQ(items.messageCount(), 4);

    auto first = items.message(0).value(kKeywords);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->type, 0x0003u);
    EXPECT_EQ(items.message(0).integer(kKeywords), 7);

    auto second = items.message(1).value(kKeywords);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->type, 0x001Fu);
    EXPECT_EQ(items.message(1).text(kKeywords), QStringLiteral("Business"));

    pff::Item third = items.message(2);
    EXPECT_EQ(third.value(Prop::tag(0x3A06))->type, 0x001Eu);
    EXPECT_EQ(third.value(Prop::tag(0x3A06))->data, QByteArray("J\xfcrgen"));  // Windows-1252
    EXPECT_EQ(third.text(Prop::named(kAddress, 0x8046)), QStringLiteral("München"));
    EXPECT_EQ(third.value(kKeywords)->type, 0x101Eu);
    EXPECT_EQ(third.texts(kKeywords), base.categories);
    EXPECT_EQ(third.value(Prop::tag(0x3A58))->type, 0x101Eu);
    EXPECT_EQ(third.integer(Prop::tag(0x3FFD)), 1252);  // PidTagMessageCodepage
    EXPECT_EQ(third.value(Prop::tag(0x001A))->type, 0x001Eu);  // the class too
    EXPECT_FALSE(items.message(0).has(Prop::tag(0x3FFD)));  // only where 8-bit texts are

    pff::Item fourth = items.message(3);
    EXPECT_EQ(fourth.value(Prop::tag(0x3A06))->type, 0x101Fu);
    EXPECT_EQ(fourth.texts(Prop::tag(0x3A06)), QStringList({QStringLiteral("Ann"), QStringLiteral("Marie")}));
    EXPECT_EQ(fourth.value(Prop::tag(0x3A58))->type, 0x001Fu);
    EXPECT_EQ(fourth.text(Prop::tag(0x3A58)), QStringLiteral("Kim, Lou"));
    EXPECT_EQ(fourth.value(Prop::tag(0x3A4D))->type, 0x0002u);
    EXPECT_EQ(fourth.value(Prop::tag(0x3A4D))->data, QByteArray("\x02\x00", 2));
    EXPECT_EQ(fourth.text(Prop::tag(0x3A48)), QStringLiteral("Zoë"));
    EXPECT_EQ(fourth.integer(Prop::tag(0x3FFD)), 1252);
}

TEST(OddTypesTest, EightBitTextsInAnotherCodePage)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cyrillic.pst"));
    PstBuilder b;
    b.setCodePage(1251);
    EXPECT_THROW(b.setCodePage(99999), std::runtime_error);
    ContactData c;
    c.displayName = QStringLiteral("Иван Петров");
    c.givenName = QStringLiteral("Иван");
    c.eightBitTexts = true;
    b.addContact(b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact")), c);
    b.write(path);
    const sample::ToolRun r
        = sample::run(QStringLiteral("pffexport"),
                      {QStringLiteral("-q"), QStringLiteral("-t"), dir.filePath(QStringLiteral("x")), path});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(sample::complaints(r).isEmpty()) << r.err;

    pff::File f(path);
    pff::Item item
        = f.root().folder({QStringLiteral("Top of Personal Folders"), QStringLiteral("Contacts")}).message(0);
    EXPECT_EQ(item.integer(Prop::tag(0x3FFD)), 1251);
    EXPECT_EQ(item.value(Prop::tag(0x3A06))->data, QByteArray("\xc8\xe2\xe0\xed"));  // Windows-1251
}

}  // namespace
