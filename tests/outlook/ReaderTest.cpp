// The direct item reader against libpff: both must give the same properties.
#include "Fixture.h"

#include "source/outlook/Pff.h"
#include "source/outlook/PstReader.h"
#include "source/outlook/Rtf.h"

#include <QFile>

#include <algorithm>
#include <tuple>

using namespace outlook;

namespace {

using Entry = std::tuple<std::uint16_t, std::uint16_t, QByteArray>;

std::vector<Entry> entries(const pff::PropertyBag& bag)
{
    std::vector<Entry> out;
    for (const pff::Property& p : bag.all())
        out.emplace_back(p.id, p.type, p.data);
    std::sort(out.begin(), out.end());
    return out;
}

void expectSameItems(const QString& path, std::uint32_t folderNid)
{
    pff::File file(path);
    auto reader = pff::PstReader::open(path);
    ASSERT_TRUE(reader);
    pff::Item folder = file.itemById(folderNid);
    ASSERT_TRUE(folder);
    const std::vector<std::uint32_t> nids = folder.subMessageIds();
    ASSERT_EQ(int(nids.size()), folder.subMessageCount());
    for (int i = 0; i < folder.subMessageCount(); ++i) {
        pff::Item message = folder.subMessage(i);
        ASSERT_EQ(message.identifier(), nids[std::size_t(i)]);
        const pff::PropertyBag viaLibpff = message.readProperties();
        const pff::PropertyBag direct = reader->readProperties(nids[std::size_t(i)]);
        EXPECT_EQ(direct.size(), viaLibpff.size());
        EXPECT_TRUE(entries(direct) == entries(viaLibpff)) << "item " << i;
        EXPECT_EQ(reader->parentOf(nids[std::size_t(i)]), folderNid);
    }
}

}  // namespace

TEST_F(StoreTest, DirectReaderMatchesLibpff)
{
    pstwriter::PstBuilder b;
    auto folder = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    pstwriter::ItemHandle first;
    for (int i = 0; i < 300; ++i) {
        pstwriter::ContactData c;
        c.givenName = QStringLiteral("Given %1").arg(i);
        c.surname = QString(i % 7, QChar(0x4E00 + i));
        c.email1Address = QStringLiteral("e%1@example.org").arg(i);
        c.children = QStringList{QStringLiteral("a"), QStringLiteral("b")};
        // Some bodies large enough to live in subnodes spanning several blocks.
        c.body = QString(i % 50 == 0 ? 20000 : 10 + i, QLatin1Char('a' + i % 26));
        c.bodyAsRtfOnly = i % 3 == 0;
        if (i % 5 == 0)
            c.birthday = QDateTime(QDate(1970 + i % 50, 1 + i % 12, 1 + i % 28), QTime(0, 0), Qt::UTC);
        pstwriter::ExtraProperty flag;
        flag.lid = 0x0E1B;  // a boolean
        flag.type = 0x000B;
        flag.integer = i % 2;
        c.extra.push_back(flag);
        auto h = b.addContact(folder, c);
        if (i == 0)
            first = h;
    }
    pstwriter::DistListData l;
    l.name = QStringLiteral("List");
    for (int i = 0; i < 100; ++i)
        l.members.push_back(pstwriter::DistListMember::reference(first, 1));
    b.addDistList(folder, l);
    b.addAssociatedMessage(folder, QStringLiteral("IPM.Hidden"));
    expectSameItems(write(b), folder.nid);
}

TEST(ReaderSample, OutlookFileMatchesLibpff)
{
    // Outlook wrote this file with the "compressible" encoding.
    const QString path = QStringLiteral(PELLARO_SHARED_DIR "/samples/empty-unicode.pst");
    if (!QFile::exists(path))
        GTEST_SKIP() << "sample not present";
    pff::File file(path);
    auto reader = pff::PstReader::open(path);
    ASSERT_TRUE(reader);
    for (std::uint32_t nid : {0x21u, 0x122u, 0x8022u, 0x8042u, 0x8062u}) {
        pff::Item item = file.itemById(nid);
        if (!item)
            continue;
        const pff::PropertyBag viaLibpff = item.readProperties();
        const pff::PropertyBag direct = reader->readProperties(nid);
        EXPECT_GT(direct.size(), 3u) << nid;
        EXPECT_TRUE(entries(direct) == entries(viaLibpff)) << std::hex << nid;
    }
}

TEST(ReaderRefuses, FilesItDoesNotRead)
{
    TestHome home;
    const QString path = home.file(QStringLiteral("x.pst"));
    ASSERT_TRUE(writeAll(path, QByteArray("!BDN") + QByteArray(0x300, '\0')));
    EXPECT_FALSE(pff::PstReader::open(path));
    EXPECT_FALSE(pff::PstReader::open(home.file(QStringLiteral("missing.pst"))));
    EXPECT_FALSE(pff::PstReader::open(home.path()));
}

namespace {

// Everything the export reads of a folder's items, as one text.
QString readAll(const RDOFolder& f)
{
    QString out;
    for (qint64 k = 1; k <= f.Items().Count(); ++k) {
        RDOItem i = f.Items().Item(k);
        out += i.MessageClass() + '|' + i.FirstName() + '|' + i.LastName() + '|' + i.Email1Address() + '|'
               + i.Email2Address() + '|' + i.BusinessAddressCity() + '|' + i.WebPage() + '|' + i.Children() + '|'
               + i.Categories() + '|' + i.Body() + '|' + i.Birthday().toString(Qt::ISODate) + '|' + i.DLName();
        for (int m = 1; m <= i.MemberCount(); ++m) {
            try {
                out += '|' + i.MemberText(m);
            } catch (const OutlookError&) {
                out += QStringLiteral("|(unresolvable)");
            }
        }
        out += '\n';
    }
    return out;
}

}  // namespace

TEST_F(StoreTest, LibpffPathGivesTheSameValues)
{
    pstwriter::PstBuilder b;
    auto folder = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    std::vector<pstwriter::ItemHandle> people;
    for (int i = 0; i < 20; ++i) {
        pstwriter::ContactData c;
        c.givenName = QStringLiteral("Given %1").arg(i);
        c.surname = QStringLiteral("Ō'Surname");
        c.displayName = c.givenName + QStringLiteral(" Ō'Surname");
        c.email1Address = QStringLiteral("e%1@example.org").arg(i);
        c.email2Address = QStringLiteral("f%1@example.org").arg(i);
        c.workCity = QStringLiteral("City %1").arg(i);
        c.webPage = QStringLiteral("http://w/%1").arg(i);
        c.children = QStringList{QStringLiteral("a"), QStringLiteral("b")};
        c.categories = QStringList{QStringLiteral("K%1").arg(i)};
        c.body = QString(i * 500, QLatin1Char('b'));
        c.bodyAsRtfOnly = i % 2;
        c.birthday = QDateTime(QDate(1960 + i, 2, 3), QTime(0, 0), Qt::UTC);
        people.push_back(b.addContact(folder, c));
    }
    pstwriter::DistListData l;
    l.name = QStringLiteral("Everyone");
    for (std::size_t i = 0; i < people.size(); ++i)
        l.members.push_back(pstwriter::DistListMember::reference(people[i], 1 + int(i % 2)));
    l.members.push_back(pstwriter::DistListMember::dangling());
    l.members.push_back(pstwriter::DistListMember::oneOff(QStringLiteral("X"), QStringLiteral("SMTP"), QStringLiteral("x@y")));
    b.addDistList(folder, l);
    const QString path = write(b);

    const QString direct = readAll(child(RDOSession::OpenPstFile(path).IPMRootFolder(), QStringLiteral("Contacts")));
    QString viaLibpff;
    {
        struct LibpffOnly {
            LibpffOnly() { pff::PstReader::setEnabled(false); }
            ~LibpffOnly() { pff::PstReader::setEnabled(true); }
        } only;
        viaLibpff = readAll(child(RDOSession::OpenPstFile(path).IPMRootFolder(), QStringLiteral("Contacts")));
    }
    EXPECT_EQ(direct, viaLibpff);
    EXPECT_TRUE(direct.contains(QStringLiteral("|Given 3 Ō'Surname <f3@example.org>|")));
    EXPECT_TRUE(direct.contains(QStringLiteral("|(unresolvable)|X <x@y>")));
}
