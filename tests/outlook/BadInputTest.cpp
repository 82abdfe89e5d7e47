#include "Fixture.h"
#include "Ndb.h"
#include "source/outlook/Block.h"

#include <libdeflate.h>

#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <tuple>
#include <optional>

using namespace outlook;
using pstwriter::PstBuilder;

namespace {

// Opens the file and reads everything reachable; failures must be
// OutlookError, never anything else.
void readEverything(const QString& path)
{
    RDOStore store = RDOSession::OpenPstFile(path);
    store.Name();
    store.EntryID();
    std::function<void(const RDOFolder&)> walk = [&](const RDOFolder& f) {
        f.Name();
        f.EntryID();
        f.DefaultMessageClass();
        try {
            const qint64 n = f.Items().Count();
            for (qint64 k = 1; k <= n; ++k) {
                try {
                    RDOItem i = f.Items().Item(k);
                    i.MessageClass();
                    i.FirstName();
                    i.Email1Address();
                    i.Body();
                    i.Categories();
                    i.Birthday();
                    i.DLName();
                    for (int m = 1; m <= i.MemberCount(); ++m) {
                        try {
                            i.MemberText(m);
                        } catch (const OutlookError&) {
                        }
                    }
                } catch (const OutlookError&) {
                }
            }
        } catch (const OutlookError&) {
        }
        for (int i = 1; i <= f.FolderCount(); ++i)
            walk(f.Folder(i));
    };
    walk(store.IPMRootFolder());
}

quint64 le64(const QByteArray& bytes, qsizetype at)
{
    quint64 v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | uchar(bytes.at(at + i));
    return v;
}

// Whatever the damage, reading ends in success or OutlookError.
void expectCleanOutcome(const QString& path)
{
    try {
        readEverything(path);
    } catch (const OutlookError&) {
    }
}

// Every value the export reads of every item, keyed by folder path and
// position; an item that fails is left out. A store or folder that fails
// throws.
std::map<QString, QString> valuesByItem(const QString& path)
{
    std::map<QString, QString> out;
    RDOStore store = RDOSession::OpenPstFile(path);
    std::function<void(const RDOFolder&, const QString&)> walk = [&](const RDOFolder& f, const QString& where) {
        const qint64 n = f.Items().Count();
        for (qint64 k = 1; k <= n; ++k) {
            try {
                RDOItem i = f.Items().Item(k);
                QString v = i.MessageClass() + '|' + i.FirstName() + '|' + i.Email1Address() + '|' + i.Body() + '|'
                    + i.Categories() + '|' + i.Birthday().toString(Qt::ISODate) + '|' + i.DLName();
                for (int m = 1; m <= i.MemberCount(); ++m) {
                    try {
                        v += '|' + i.MemberText(m);
                    } catch (const OutlookError&) {
                        // A member that fails only through damage to another item is allowed to.
                        v += QStringLiteral("|-");
                    }
                }
                out[where + '/' + QString::number(k)] = v;
            } catch (const OutlookError& e) {
                EXPECT_EQ(e.cause(), Cause::Damaged) << e.what();
            }
        }
        for (int i = 1; i <= f.FolderCount(); ++i)
            walk(f.Folder(i), where + '/' + f.Folder(i).Name());
    };
    walk(store.IPMRootFolder(), QString());
    return out;
}

}  // namespace

class BadInputTest : public StoreTest {
protected:
    // With 4 KiB pages, blocks compressed, and the empty rest of the last
    // allocation interval cut off (the reader does not need it).
    QByteArray sample(bool largePages = false)
    {
        PstBuilder b;
        b.setEncoding(pstwriter::PstEncoding::Compressible);
        if (largePages) {
            b.setFormat(pstwriter::PstFormat::Unicode4K);
            b.setCompressBlocks(true);
        }
        auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
        auto sub = b.addFolder(contacts, QStringLiteral("Sub"), QStringLiteral("IPF.Contact"));
        pstwriter::ItemHandle first;
        for (int i = 0; i < 40; ++i) {
            pstwriter::ContactData c;
            c.givenName = QStringLiteral("Name %1").arg(i);
            c.email1Address = QStringLiteral("n%1@example.org").arg(i);
            c.body = QString(300, QLatin1Char('x'));
            c.bodyAsRtfOnly = i % 2;
            c.categories = QStringList{QStringLiteral("A"), QStringLiteral("B")};
            auto h = b.addContact(i % 3 ? contacts : sub, c);
            if (i == 0)
                first = h;
        }
        pstwriter::DistListData l;
        l.name = QStringLiteral("List");
        l.members = {pstwriter::DistListMember::reference(first, 1), pstwriter::DistListMember::dangling()};
        b.addDistList(contacts, l);
        QByteArray bytes = readAll(write(b, QStringLiteral("sample.pst")));
        if (largePages) {
            qsizetype used = bytes.size();
            while (used > 0 && bytes[used - 1] == '\0')
                --used;
            bytes.truncate((used + 4095) / 4096 * 4096);
        }
        return bytes;
    }
    // Flips bits of `good` one at a time: an item fails or reads as before.
    void flipBits(const QByteArray& good);
};

// The cause OpenPstFile gives for `path`.
static std::optional<Cause> openingCause(const QString& path)
{
    try {
        RDOSession::OpenPstFile(path);
    } catch (const OutlookError& e) {
        return e.cause();
    }
    return std::nullopt;
}

TEST_F(BadInputTest, ZeroLengthAndRandomBytesAreNotDataFiles)
{
    const QString empty = home.file(QStringLiteral("empty.pst"));
    ASSERT_TRUE(writeAll(empty, QByteArray()));
    EXPECT_EQ(openingCause(empty), Cause::NotADataFile);

    QRandomGenerator rng(42);
    for (int size : {1, 100, 512, 4096, 100000}) {
        QByteArray bytes(size, '\0');
        for (char& c : bytes)
            c = char(rng.bounded(256));
        const QString path = home.file(QStringLiteral("random.pst"));
        ASSERT_TRUE(writeAll(path, bytes));
        EXPECT_EQ(openingCause(path), Cause::NotADataFile) << size;
    }
    // The right signature in front of noise.
    QByteArray fake = QByteArray("!BDN") + QByteArray(600, '\x11');
    const QString path = home.file(QStringLiteral("fake.pst"));
    ASSERT_TRUE(writeAll(path, fake));
    EXPECT_EQ(openingCause(path), Cause::NotADataFile);
    EXPECT_EQ(openingCause(home.file(QStringLiteral("missing.pst"))), Cause::NotFound);
    EXPECT_EQ(openingCause(home.path()), Cause::NotADataFile);  // a folder
    ASSERT_TRUE(QFile::setPermissions(empty, QFileDevice::Permissions()));
    if (::geteuid() != 0) {
        EXPECT_EQ(openingCause(empty), Cause::NoPermission);
    }
}

// What is not a regular file is refused at once, saying what it is: a
// named pipe is never opened (that would wait for a writer).
TEST_F(BadInputTest, SourcesThatAreNotRegularFilesAreRefusedAtOnce)
{
    const QString fifo = home.file(QStringLiteral("pipe.pst"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    auto refusal = [](const QString& path) {
        try {
            RDOSession::OpenPstFile(path);
        } catch (const OutlookError& e) {
            return QString::fromUtf8(e.what());
        }
        return QString();
    };
    EXPECT_TRUE(refusal(fifo).contains(QStringLiteral("named pipe"))) << refusal(fifo);
    EXPECT_TRUE(refusal(home.path()).contains(QStringLiteral("folder"))) << refusal(home.path());
    EXPECT_TRUE(refusal(QStringLiteral("/dev/null")).contains(QStringLiteral("device")));
}

// An offline folder file of the same layout reads like a .pst; its
// password property is not a password (Outlook keeps none in .ost files).
// A file whose version names a layout its structures do not have is
// damaged; an unknown version is refused by name.
TEST_F(BadInputTest, OfflineFilesReadAndUnreadVariantsAreNamed)
{
    PstBuilder b;
    b.setKind(pstwriter::PstKind::Ost);
    b.setPassword(QStringLiteral("not a password in an .ost"));
    auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    pstwriter::ContactData c;
    c.givenName = QStringLiteral("Offline");
    b.addContact(contacts, c);
    const QString ost = write(b, QStringLiteral("mail.ost"));
    RDOStore store = RDOSession::OpenPstFile(ost);
    EXPECT_EQ(child(store.IPMRootFolder(), QStringLiteral("Contacts")).Items().Item(1).FirstName(),
              QStringLiteral("Offline"));

    // The version says 4 KiB pages, the pages are of 512 bytes: damaged. A
    // version past those known is refused by name.
    QByteArray bytes = readAll(ost);
    const QString relabelled = home.file(QStringLiteral("relabelled.ost"));
    for (const auto& [version, cause, says] : {std::tuple<quint16, Cause, const char*>{36, Cause::Damaged, "damaged"},
                                               {38, Cause::FormatNotRead, "unknown version (38)"}}) {
        qToLittleEndian<quint16>(version, bytes.data() + 10);
        qToLittleEndian<quint32>(pstwriter::detail::pstCrc(bytes.constData() + 8, 471), bytes.data() + 4);
        qToLittleEndian<quint32>(pstwriter::detail::pstCrc(bytes.constData() + 8, 516), bytes.data() + 524);
        ASSERT_TRUE(writeAll(relabelled, bytes));
        try {
            readEverything(relabelled);
            ADD_FAILURE() << "read a file of version " << version;
        } catch (const OutlookError& e) {
            EXPECT_EQ(e.cause(), cause) << e.what();
            EXPECT_NE(std::string(e.what()).find(says), std::string::npos) << e.what();
        }
    }
}

TEST_F(BadInputTest, TruncatedFilesFailCleanly)
{
    const QByteArray good = sample();
    const QString path = home.file(QStringLiteral("cut.pst"));
    for (qsizetype cut : {qsizetype(0x200), qsizetype(0x4400), good.size() / 4, good.size() / 2, good.size() * 3 / 4,
                          good.size() - 512, good.size() - 1}) {
        ASSERT_TRUE(writeAll(path, good.left(cut)));
        expectCleanOutcome(path);
    }
}

TEST_F(BadInputTest, DamagedBTreePagesFailCleanly)
{
    // Where the entries end and the count and level sit: 512-byte pages
    // (a count of one byte) and 4 KiB pages (a count of two).
    struct Page {
        bool large;
        int entries, count, level;
    };
    for (const Page geometry : {Page{false, 488, 488, 491}, Page{true, 4056, 4056, 4061}}) {
        const QByteArray good = sample(geometry.large);
        // The header's references to the node and block B-tree root pages.
        const quint64 nbt = le64(good, 0xE0);
        const quint64 bbt = le64(good, 0xF0);
        const QString path = home.file(QStringLiteral("btree.pst"));
        for (quint64 page : {nbt, bbt}) {
            ASSERT_LT(page + quint64(geometry.entries), quint64(good.size()));
            for (int variant = 0; variant < 3; ++variant) {
                QByteArray bad = good;
                char* p = bad.data() + page;
                if (variant == 0)
                    std::fill(p, p + geometry.entries, '\xFF');  // entries overwritten
                else if (variant == 1)
                    std::fill(p + geometry.count, p + geometry.count + (geometry.large ? 2 : 1),
                              '\xFF');  // impossible entry count
                else
                    p[geometry.level] = char(0x7F);  // impossible tree depth
                ASSERT_TRUE(writeAll(path, bad));
                try {
                    readEverything(path);
                    ADD_FAILURE() << "read a damaged B-tree page, variant " << variant;
                } catch (const OutlookError& e) {
                    EXPECT_EQ(e.cause(), Cause::Damaged) << e.what();
                }
            }
        }
    }
}

TEST_F(BadInputTest, FlippedBitsFailTheirItemAndNeverChangeAValue)
{
    for (bool largePages : {false, true})
        flipBits(sample(largePages));
}

void BadInputTest::flipBits(const QByteArray& good)
{
    SCOPED_TRACE(testing::Message() << good.size() << " bytes");
    const QString path = home.file(QStringLiteral("flipped.pst"));
    ASSERT_TRUE(writeAll(path, good));
    const std::map<QString, QString> original = valuesByItem(path);
    ASSERT_EQ(original.size(), 41u);
    QRandomGenerator rng(7);
    int failures = 0, flips = 0;
    while (flips < 300) {
        // A single bit in a used byte beyond the header.
        const qsizetype at = 0x200 + qsizetype(rng.bounded(quint32(good.size() - 0x200)));
        if (good[at] == 0)
            continue;
        ++flips;
        QByteArray bad = good;
        bad[at] = char(bad[at] ^ (1 << rng.bounded(8)));
        ASSERT_TRUE(writeAll(path, bad));
        std::map<QString, QString> now;
        try {
            now = valuesByItem(path);
        } catch (const OutlookError&) {
            ++failures;  // the store or its folder tree fails: nothing read at all
            continue;
        }
        for (const auto& [key, values] : now) {
            const auto it = original.find(key);
            ASSERT_NE(it, original.end()) << "offset " << at << ": " << key;
            // Equal, except that a list member may fail ("-") when the item
            // it refers to is the damaged one.
            const QStringList a = values.split('|'), b = it->second.split('|');
            ASSERT_EQ(a.size(), b.size()) << "offset " << at << ": " << values << " / " << it->second;
            for (qsizetype f = 0; f < a.size(); ++f)
                EXPECT_TRUE(a[f] == b[f] || (f >= 7 && a[f] == QStringLiteral("-")))
                    << "offset " << at << ": " << a[f] << " / " << b[f];
        }
        if (now.size() < original.size())
            ++failures;
    }
    EXPECT_GT(failures, 0);
}

TEST_F(BadInputTest, AbsurdFolderCountsAreNotBelieved)
{
    PstBuilder b;
    auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addContact(contacts, pstwriter::ContactData{});
    // The folder claims two billion items and subfolders.
    for (std::uint16_t tag : {std::uint16_t(0x3602), std::uint16_t(0x3603), std::uint16_t(0x3617)}) {
        pstwriter::ExtraProperty p;
        p.lid = tag;
        p.type = 0x0003;
        p.integer = 0x7FFFFFFF;
        b.addFolderProperty(contacts, p);
    }
    RDOFolder f = child(RDOSession::OpenPstFile(write(b)).IPMRootFolder(), QStringLiteral("Contacts"));
    EXPECT_EQ(f.Items().Count(), 1);
    EXPECT_EQ(f.FolderCount(), 0);
    EXPECT_NO_THROW(f.Items().Item(1));
    EXPECT_THROW(f.Items().Item(2), OutlookError);
}

TEST(CompressedBlock, InflatesToItsSizeOrFails)
{
    QByteArray plain;
    for (int i = 0; i < 200; ++i)
        plain += QByteArray::number(i) + ' ';
    const QByteArray stored = qCompress(plain, 9).mid(4);  // a zlib stream without Qt's size prefix
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    const auto inflate = [&](const QByteArray& bytes, int size) {
        pst::BlockEntry e;
        e.cb = std::uint16_t(bytes.size());
        e.cbInflated = std::uint16_t(size);
        QByteArray out(size, '\0');
        pst::inflateBlock(reinterpret_cast<const std::uint8_t*>(bytes.constData()), e,
                          reinterpret_cast<std::uint8_t*>(out.data()), d);
        return out;
    };
    EXPECT_EQ(inflate(stored, int(plain.size())), plain);
    // Shorter or longer than the entry says, or damaged behind a good check value.
    QByteArray bad = stored;
    bad[bad.size() / 2] = char(bad[bad.size() / 2] ^ 0x10);
    for (const auto& [bytes, size] :
         {std::pair{stored, int(plain.size()) + 1}, {stored, int(plain.size()) - 1}, {bad, int(plain.size())}}) {
        try {
            inflate(bytes, size);
            ADD_FAILURE() << "inflated to " << size;
        } catch (const OutlookError& e) {
            EXPECT_EQ(e.cause(), Cause::Damaged) << e.what();
        }
    }
    libdeflate_free_decompressor(d);
}
