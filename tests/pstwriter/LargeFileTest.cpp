// A file big enough for every structure to grow past one level: B-trees of
// several levels, data trees over XBLOCKs and XXBLOCKs, heaps over many
// blocks, subnode trees, tables in subnodes. The structure is checked with a
// small independent reader of the node database; libpff's tools and API read
// everything back.

#include "PffRead.h"
#include "Sample.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>
#include <zlib.h>

#include <map>

using namespace pstwriter;
using pff::Prop;

namespace {

// Just enough of the node database, in either layout, to follow B-trees and
// data trees.
class Ndb {
public:
    explicit Ndb(const QString& path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            throw std::runtime_error("cannot read the file");
        m_bytes = f.readAll();
        m_ansi = u16(10) < 23;
        m_w = m_ansi ? 4 : 8;
    }
    struct Page {
        int count, level, entrySize;
        const char* data;
    };
    struct Node {
        std::uint64_t data, sub;
        std::uint32_t parent;
    };

    bool ansi() const { return m_ansi; }
    int idSize() const { return m_w; }
    const QByteArray& bytes() const { return m_bytes; }
    std::uint64_t u64(qsizetype at) const { return qFromLittleEndian<std::uint64_t>(m_bytes.constData() + at); }
    std::uint32_t u32(qsizetype at) const { return qFromLittleEndian<std::uint32_t>(m_bytes.constData() + at); }
    std::uint16_t u16(qsizetype at) const { return qFromLittleEndian<std::uint16_t>(m_bytes.constData() + at); }
    // A block id or file offset: 4 or 8 bytes.
    std::uint64_t id(const char* p) const
    {
        return m_ansi ? qFromLittleEndian<std::uint32_t>(p) : qFromLittleEndian<std::uint64_t>(p);
    }

    std::uint64_t nbtRoot() const { return m_ansi ? u32(188) : u64(224); }
    std::uint64_t bbtRoot() const { return m_ansi ? u32(196) : u64(240); }
    // Page bytes before the page trailer.
    int pageData() const { return m_ansi ? 500 : 496; }
    Page page(std::uint64_t ib) const
    {
        const qsizetype at = qsizetype(ib);
        const int meta = m_ansi ? 496 : 488;
        return {std::uint8_t(m_bytes[at + meta]), std::uint8_t(m_bytes[at + meta + 3]),
                std::uint8_t(m_bytes[at + meta + 2]), m_bytes.constData() + at};
    }
    // Follows a B-tree down to the leaf entry with this key.
    const char* find(std::uint64_t rootIb, std::uint64_t key) const
    {
        Page p = page(rootIb);
        while (p.level > 0) {
            std::uint64_t next = 0;
            for (int i = 0; i < p.count; ++i) {
                const char* e = p.data + i * p.entrySize;
                if (id(e) <= key)
                    next = id(e + 2 * m_w);
            }
            if (!next)
                return nullptr;
            p = page(next);
        }
        for (int i = 0; i < p.count; ++i) {
            const char* e = p.data + i * p.entrySize;
            if (id(e) == key)
                return e;
        }
        return nullptr;
    }
    // Every page of a B-tree and every leaf entry.
    void walk(std::uint64_t ib, std::vector<std::uint64_t>& pages, std::vector<const char*>& leaves) const
    {
        pages.push_back(ib);
        const Page p = page(ib);
        for (int i = 0; i < p.count; ++i) {
            const char* e = p.data + i * p.entrySize;
            if (p.level > 0)
                walk(id(e + 2 * m_w), pages, leaves);
            else
                leaves.push_back(e);
        }
    }
    Node node(std::uint32_t nid) const
    {
        const char* e = find(nbtRoot(), nid);
        if (!e)
            throw std::runtime_error("node not in the NBT");
        return {id(e + m_w), id(e + 2 * m_w), qFromLittleEndian<std::uint32_t>(e + 3 * m_w)};
    }
    QByteArray block(std::uint64_t bid) const
    {
        const char* e = find(bbtRoot(), bid & ~std::uint64_t(1));
        if (!e)
            throw std::runtime_error("block not in the BBT");
        const std::uint64_t ib = id(e + m_w);
        const std::uint16_t cb = qFromLittleEndian<std::uint16_t>(e + 2 * m_w);
        return m_bytes.mid(qsizetype(ib), cb);
    }
    // 0 for a data block, else the level of the XBLOCK (1) or XXBLOCK (2).
    static int treeLevel(const QByteArray& b) { return b.size() >= 8 && b[0] == 0x01 ? b[1] : 0; }
    // The subnodes of a node: nid -> bidData (SLBLOCKs only, as this writer makes).
    std::map<std::uint32_t, std::uint64_t> subnodes(std::uint64_t bidSub) const
    {
        std::map<std::uint32_t, std::uint64_t> out;
        const QByteArray b = block(bidSub);
        if (b[0] != 0x02)
            throw std::runtime_error("not a subnode block");
        const int n = qFromLittleEndian<std::uint16_t>(b.constData() + 2);
        const int head = m_ansi ? 4 : 8;
        if (b[1] == 0) {
            for (int i = 0; i < n; ++i)
                out[std::uint32_t(id(b.constData() + head + 3 * m_w * i))]
                    = id(b.constData() + head + 3 * m_w * i + m_w);
        } else {
            for (int i = 0; i < n; ++i)
                for (auto& kv : subnodes(id(b.constData() + head + 2 * m_w * i + m_w)))
                    out.insert(kv);
        }
        return out;
    }

private:
    QByteArray m_bytes;
    bool m_ansi = false;
    int m_w = 8;
};

// The format's CRC: the reflected 0xEDB88320 CRC without the inversions,
// which is zlib's CRC-32 started from all ones and inverted.
std::uint32_t formatCrc(const char* data, qsizetype size)
{
    return ~std::uint32_t(crc32(0xFFFFFFFFu, reinterpret_cast<const Bytef*>(data), uInt(size)));
}

constexpr int kContacts = 2500;
constexpr int kMore = 500;
constexpr int kMembers = 2000;

class LargeFileTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new QTemporaryDir;
        path = dir->filePath(QStringLiteral("large.pst"));
        PstBuilder b;
        contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
        const FolderHandle more = b.addFolder(contacts, QStringLiteral("More"), QStringLiteral("IPF.Contact"));
        std::vector<ItemHandle> people;
        for (int i = 0; i < kContacts; ++i) {
            ContactData c;
            c.givenName = QStringLiteral("Given%1").arg(i);
            c.surname = QStringLiteral("Surname");
            c.displayName = QStringLiteral("Person %1").arg(i);
            c.email1Address = QStringLiteral("p%1@example.com").arg(i);
            people.push_back(b.addContact(contacts, c));
        }
        for (int i = 0; i < kMore; ++i) {
            ContactData c;
            c.displayName = QStringLiteral("More %1").arg(i);
            b.addContact(more, c);
        }
        // A body over 1021 blocks (an XXBLOCK) and one over a few (an XBLOCK).
        ContactData huge;
        huge.displayName = QStringLiteral("Huge");
        hugeBody = QString(4200000, QChar(u'x'));
        for (qsizetype i = 0; i < hugeBody.size(); i += 997)
            hugeBody[i] = QChar(u'ä');
        huge.body = hugeBody;
        hugeItem = b.addContact(contacts, huge);
        ContactData big;
        big.displayName = QStringLiteral("Big");
        big.body = QString(50000, QChar(u'€'));
        bigItem = b.addContact(contacts, big);
        // Many values that each fit the heap: the heap spans many blocks.
        ContactData wide;
        wide.displayName = QStringLiteral("Wide");
        for (int i = 0; i < 40; ++i)
            wide.extra.push_back(ExtraProperty::namedString(psPublicStrings(), QStringLiteral("Wide%1").arg(i),
                                                            QString(1700, QChar(u'a' + i % 26))));
        wideItem = b.addContact(contacts, wide);
        // A list whose member values need a data tree of their own.
        DistListData list;
        list.name = QStringLiteral("Everybody");
        for (int i = 0; i < kMembers; ++i)
            list.members.push_back(i % 2 ? DistListMember::reference(people[std::size_t(i)], 1)
                                         : DistListMember::oneOff(QStringLiteral("Guest %1").arg(i),
                                                                  QStringLiteral("SMTP"),
                                                                  QStringLiteral("g%1@example.com").arg(i)));
        listItem = b.addDistList(contacts, list);
        firstMember = b.memberEntryId(list.members.front());
        lastMember = b.memberEntryId(list.members.back());
        b.write(path);
    }
    static void TearDownTestSuite() { delete dir; }

    static QTemporaryDir* dir;
    static QString path;
    static FolderHandle contacts;
    static ItemHandle hugeItem, bigItem, wideItem, listItem;
    static QString hugeBody;
    static QByteArray firstMember, lastMember;
};

QTemporaryDir* LargeFileTest::dir = nullptr;
QString LargeFileTest::path;
FolderHandle LargeFileTest::contacts;
ItemHandle LargeFileTest::hugeItem, LargeFileTest::bigItem, LargeFileTest::wideItem, LargeFileTest::listItem;
QString LargeFileTest::hugeBody;
QByteArray LargeFileTest::firstMember, LargeFileTest::lastMember;

TEST_F(LargeFileTest, EveryStructureGrowsPastOneLevel)
{
    Ndb ndb(path);
    EXPECT_GE(ndb.page(ndb.nbtRoot()).level, 2);
    EXPECT_GE(ndb.page(ndb.bbtRoot()).level, 2);

    // The contents table of the big folder: its heap alone spans blocks.
    const std::uint32_t contentsTable = (contacts.nid & ~0x1Fu) | 0x0E;
    EXPECT_EQ(Ndb::treeLevel(ndb.block(ndb.node(contentsTable).data)), 1);

    // The huge body needs an XXBLOCK, the big one an XBLOCK, both in subnodes.
    for (auto [item, level] : {std::pair{hugeItem, 2}, std::pair{bigItem, 1}}) {
        const Ndb::Node n = ndb.node(item.nid);
        EXPECT_EQ(n.parent, contacts.nid);
        int found = 0;
        for (const auto& [nid, bid] : ndb.subnodes(n.sub))
            found = std::max(found, Ndb::treeLevel(ndb.block(bid)));
        EXPECT_EQ(found, level) << "item " << item.nid;
    }
    // The wide contact's heap spans several blocks but never more than 8
    // (libpff reads freed memory beyond); the values that did not fit went
    // to subnodes although each would fit the heap.
    const Ndb::Node wide = ndb.node(wideItem.nid);
    const QByteArray x = ndb.block(wide.data);
    ASSERT_EQ(Ndb::treeLevel(x), 1);
    EXPECT_EQ(qFromLittleEndian<std::uint16_t>(x.constData() + 2), 8);
    EXPECT_GT(ndb.subnodes(wide.sub).size(), 1u);
}

TEST_F(LargeFileTest, LibpffToolsReadItWithoutComplaint)
{
    const sample::ToolRun info = sample::run(QStringLiteral("pffinfo"), {path});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_TRUE(sample::complaints(info).isEmpty()) << info.err;
    const QString out = dir->filePath(QStringLiteral("x"));
    const sample::ToolRun e
        = sample::run(QStringLiteral("pffexport"), {QStringLiteral("-q"), QStringLiteral("-t"), out, path});
    ASSERT_EQ(e.exitCode, 0) << e.err;
    EXPECT_TRUE(sample::complaints(e).isEmpty()) << e.err.left(2000);
    const QStringList files = sample::exportedFiles(out + QStringLiteral(".export"));
    EXPECT_EQ(files.filter(QStringLiteral("/Contact.txt")).size(), kContacts + kMore + 3);
    EXPECT_EQ(files.filter(QStringLiteral("/DistributionList.txt")).size(), 1);
}

TEST_F(LargeFileTest, AHeapOfManyBlocksReadsBackFirstThing)
{
    // Read straight after opening, before anything else warms libpff's caches.
    pff::File f(path);
    pff::Item top = f.root().subFolder(0);
    pff::Item wide = top.subFolder(1).message(kContacts + 2);
    ASSERT_EQ(wide.identifier(), wideItem.nid);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(wide.text(Prop::named(psPublicStrings(), QStringLiteral("Wide%1").arg(i))),
                  QString(1700, QChar(u'a' + i % 26)));
}

TEST_F(LargeFileTest, ValuesComeBackExactly)
{
    pff::File f(path);
    pff::Item folder = f.root().folder({QStringLiteral("Top of Personal Folders"), QStringLiteral("Contacts")});
    ASSERT_EQ(folder.messageCount(), kContacts + 4);
    EXPECT_EQ(folder.integer(Prop::tag(0x3602)), kContacts + 4);
    EXPECT_EQ(folder.message(kContacts - 1).text(Prop::tag(0x3001)), QStringLiteral("Person %1").arg(kContacts - 1));
    EXPECT_EQ(folder.folder({QStringLiteral("More")}).messageCount(), kMore);

    pff::Item huge = folder.message(kContacts);
    ASSERT_EQ(huge.identifier(), hugeItem.nid);
    EXPECT_TRUE(huge.text(Prop::tag(0x1000)) == hugeBody);
    EXPECT_EQ(folder.message(kContacts + 1).text(Prop::tag(0x1000)), QString(50000, QChar(u'€')));
    pff::Item list = folder.message(kContacts + 3);
    const std::vector<QByteArray> members = list.binaries(Prop::named(psetidAddress(), 0x8055));
    ASSERT_EQ(members.size(), std::size_t(kMembers));
    EXPECT_EQ(members.front(), firstMember);
    EXPECT_EQ(members.back(), lastMember);
    EXPECT_EQ(list.binaries(Prop::named(psetidAddress(), 0x8054)).size(), std::size_t(kMembers));
}

}  // namespace

namespace {

// Every block and page of a file with trees of several levels, in each layout
// and encoding, carries the check values and ids the format asks for, and the
// data blocks are stored encoded.
class CheckValuesTest : public ::testing::TestWithParam<std::tuple<PstFormat, PstEncoding>> { };

INSTANTIATE_TEST_SUITE_P(Layouts, CheckValuesTest,
                         ::testing::Combine(::testing::Values(PstFormat::Unicode, PstFormat::Ansi),
                                            ::testing::Values(PstEncoding::None, PstEncoding::Compressible,
                                                              PstEncoding::Cyclic)));

TEST_P(CheckValuesTest, EveryBlockAndPageCarriesItsCheckValues)
{
    const auto [format, encoding] = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("checked.pst"));
    PstBuilder b;
    b.setFormat(format);
    b.setEncoding(encoding);
    const FolderHandle folder = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    for (int i = 0; i < 400; ++i) {
        ContactData c;
        c.displayName = QStringLiteral("Person %1").arg(i);
        c.email1Address = QStringLiteral("p%1@example.com").arg(i);
        b.addContact(folder, c);
    }
    ContactData big;
    big.displayName = QStringLiteral("Big");
    big.body = QString(30000, QChar(u'x'));  // a data tree in a subnode
    b.addContact(folder, big);
    b.write(path);

    Ndb ndb(path);
    ASSERT_EQ(ndb.ansi(), format == PstFormat::Ansi);
    const QByteArray& file = ndb.bytes();
    const int w = ndb.idSize();
    // Header: the partial CRC over 471 bytes from offset 8, the full one
    // (Unicode only) over 516; bCryptMethod.
    EXPECT_EQ(ndb.u32(4), formatCrc(file.constData() + 8, 471));
    if (!ndb.ansi()) {
        EXPECT_EQ(ndb.u32(524), formatCrc(file.constData() + 8, 516));
    }
    EXPECT_EQ(int(file[ndb.ansi() ? 461 : 513]), int(encoding));

    std::vector<std::uint64_t> pages;
    std::vector<const char*> blocks, nodes;
    ndb.walk(ndb.bbtRoot(), pages, blocks);
    ndb.walk(ndb.nbtRoot(), pages, nodes);
    EXPECT_GE(ndb.page(ndb.nbtRoot()).level, 1);
    for (std::uint64_t ib : pages) {
        const char* p = file.constData() + ib;
        const int t = ndb.pageData();
        ASSERT_EQ(p[t], p[t + 1]);
        const std::uint32_t crc = qFromLittleEndian<std::uint32_t>(p + t + (ndb.ansi() ? 8 : 4));
        EXPECT_EQ(crc, formatCrc(p, t)) << "page at " << ib;
    }
    int dataBlocks = 0;
    for (const char* e : blocks) {
        const std::uint64_t bid = ndb.id(e), ib = ndb.id(e + w);
        const std::uint16_t cb = qFromLittleEndian<std::uint16_t>(e + 2 * w);
        const int trailer = ndb.ansi() ? 12 : 16;
        const qsizetype size = (cb + trailer + 63) / 64 * 64;
        const char* t = file.constData() + ib + size - trailer;
        SCOPED_TRACE(bid);
        EXPECT_EQ(qFromLittleEndian<std::uint16_t>(t), cb);
        const std::uint64_t x = ib ^ bid;
        EXPECT_EQ(qFromLittleEndian<std::uint16_t>(t + 2), std::uint16_t(std::uint16_t(x >> 16) ^ std::uint16_t(x)));
        const std::uint64_t trailerBid = ndb.ansi() ? qFromLittleEndian<std::uint32_t>(t + 4) : ndb.id(t + 8);
        const std::uint32_t crc = qFromLittleEndian<std::uint32_t>(t + (ndb.ansi() ? 8 : 4));
        EXPECT_EQ(trailerBid, bid);
        EXPECT_EQ(crc, formatCrc(file.constData() + ib, cb));
        dataBlocks += (bid & 2) == 0;
    }
    EXPECT_GT(dataBlocks, 400);
    // Texts are stored in the clear only without encoding.
    const QByteArray plain
        = format == PstFormat::Ansi ? QByteArray("Person 123") : QByteArray("P\0e\0r\0s\0o\0n\0 \0001\0002\0003\0", 20);
    EXPECT_EQ(file.contains(plain), encoding == PstEncoding::None);
}

}  // namespace
