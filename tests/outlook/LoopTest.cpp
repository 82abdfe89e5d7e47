// Folder hierarchies whose parent links in the node B-tree loop; the CRC
// that guards the pages patched here, and the decoding of the blocks.
#include "Fixture.h"

#include "source/outlook/Crc.h"
#include "source/outlook/Encoding.h"
#include "Ndb.h"

#include <QSet>
#include <QtEndian>

#include <functional>

using namespace outlook;

namespace {

// The file format's CRC-32 (reflected 0xEDB88320, no inversion).
quint32 pstCrc(const char* data, qsizetype size)
{
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 crc = 0;
    for (qsizetype i = 0; i < size; ++i)
        crc = table[(crc ^ uchar(data[i])) & 0xFF] ^ (crc >> 8);
    return crc;
}

// Sets the parent of a node in every node B-tree leaf page that lists it.
int setParent(QByteArray& file, quint32 nid, quint32 parent)
{
    int changed = 0;
    for (qsizetype page = 0x4400; page + 512 <= file.size(); page += 512) {
        char* p = file.data() + page;
        if (uchar(p[496]) != 0x81 || uchar(p[497]) != 0x81 || p[491] != 0 || uchar(p[490]) != 32)
            continue;
        const int count = uchar(p[488]);
        for (int i = 0; i < count && i * 32 < 488; ++i) {
            if (qFromLittleEndian<quint32>(p + i * 32) == nid) {
                qToLittleEndian<quint32>(parent, p + i * 32 + 24);
                ++changed;
            }
        }
        qToLittleEndian<quint32>(pstCrc(p, 496), p + 500);
    }
    return changed;
}

}  // namespace

// The reader's CRC comes from a library that folds long runs and finishes
// the rest by table, with the register inverted around it: every length
// around those steps, at every alignment, must give the plain definition's
// value.
TEST(Crc, AgreesWithTheDefinitionAtEveryLengthAndAlignment)
{
    QByteArray bytes(9000, Qt::Uninitialized);
    quint32 seed = 12345;
    for (char& c : bytes)
        c = char((seed = seed * 1103515245u + 12345u) >> 24);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    for (qsizetype offset = 0; offset < 16; ++offset)
        for (qsizetype size = 0; size + offset <= bytes.size(); size += size < 300 ? 1 : 61)
            ASSERT_EQ(pst::crc(data + offset, std::size_t(size)), pstCrc(bytes.constData() + offset, size))
                << "offset " << offset << ", size " << size;
}

TEST_F(StoreTest, LoopingParentLinksEndInAnError)
{
    pstwriter::PstBuilder b;
    auto a = b.addFolder(b.ipmSubtree(), QStringLiteral("A"), QStringLiteral("IPF.Contact"));
    auto bb = b.addFolder(a, QStringLiteral("B"), QStringLiteral("IPF.Contact"));
    auto c = b.addFolder(bb, QStringLiteral("C"), QStringLiteral("IPF.Contact"));
    b.addContact(c, pstwriter::ContactData{});
    QByteArray bytes = readAll(write(b));
    // A below C, which is below B, which is below A.
    ASSERT_EQ(setParent(bytes, a.nid, c.nid), 1);
    const QString path = home.file(QStringLiteral("loop.pst"));
    ASSERT_TRUE(writeAll(path, bytes));

    int visited = 0;
    QSet<QString> seen;
    std::function<void(const RDOFolder&)> walk = [&](const RDOFolder& f) {
        ASSERT_LT(++visited, 100);
        // Folders come from the hierarchy tables; whatever the parent links
        // say, no folder is reached twice.
        EXPECT_FALSE(seen.contains(f.EntryID())) << f.Name();
        seen.insert(f.EntryID());
        for (int i = 1; i <= f.FolderCount(); ++i)
            walk(f.Folder(i));
    };
    try {
        RDOStore store = RDOSession::OpenPstFile(path);
        walk(store.IPMRootFolder());
    } catch (const OutlookError&) {
    }
}

// The reader restores "compressible" blocks 64 bytes at a time where the
// processor can, the rest byte by byte: blocks the writer encoded, of every
// length around those steps, at every alignment, decode to their bytes.
TEST(Encoding, CompressibleBlocksDecodeToTheirBytesAtEveryLengthAndAlignment)
{
    QByteArray bytes(1000, Qt::Uninitialized);
    quint32 seed = 777;
    for (char& c : bytes)
        c = char((seed = seed * 1103515245u + 12345u) >> 24);
    const QByteArray encoded = pstwriter::detail::encodeBlock(pstwriter::PstEncoding::Compressible, 0, bytes);
    ASSERT_NE(encoded, bytes);
    for (qsizetype offset = 0; offset < 8; ++offset) {
        for (qsizetype size = 0; size + offset <= bytes.size(); size += size < 300 ? 1 : 97) {
            QByteArray block = encoded;
            auto* p = reinterpret_cast<std::uint8_t*>(block.data()) + offset;
            pst::decode(pst::CryptMethod::Compressible, 0, p, p, std::size_t(size), pst::Layout::Unicode);
            ASSERT_EQ(block.mid(offset, size), bytes.mid(offset, size)) << "offset " << offset << ", size " << size;
            ASSERT_EQ(block.mid(offset + size), encoded.mid(offset + size)) << "offset " << offset << ", size " << size;
        }
    }
}
