#include "source/outlook/PstReader.h"

#include <QFile>
#include <QtEndian>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace outlook::pff {

namespace {

// Limits beyond which the file is taken to be damaged.
constexpr int kMaxTreeDepth = 16;
constexpr std::size_t kMaxBlockData = 8192 - 16;
constexpr std::uint64_t kMaxNodeData = 64u * 1024 * 1024;
constexpr std::size_t kMaxPages = 8192;  // cached pages: 4 MiB

constexpr std::uint8_t kPageBbt = 0x80;
constexpr std::uint8_t kPageNbt = 0x81;

// The substitution of the "compressible" encoding: encoding maps byte b to
// kEncode[b]; reading undoes it.
constexpr std::uint8_t kEncode[256] = {
    65,  54,  19,  98,  168, 33,  110, 187, 244, 22,  204, 4,   127, 100, 232, 93,  30,  242, 203, 42,  116, 197,
    94,  53,  210, 149, 71,  158, 150, 45,  154, 136, 76,  125, 132, 63,  219, 172, 49,  182, 72,  95,  246, 196,
    216, 57,  139, 231, 35,  59,  56,  142, 200, 193, 223, 37,  177, 32,  165, 70,  96,  78,  156, 251, 170, 211,
    86,  81,  69,  124, 85,  0,   7,   201, 43,  157, 133, 155, 9,   160, 143, 173, 179, 15,  99,  171, 137, 75,
    215, 167, 21,  90,  113, 102, 66,  191, 38,  74,  107, 152, 250, 234, 119, 83,  178, 112, 5,   44,  253, 89,
    58,  134, 126, 206, 6,   235, 130, 120, 87,  199, 141, 67,  175, 180, 28,  212, 91,  205, 226, 233, 39,  79,
    195, 8,   114, 128, 207, 176, 239, 245, 40,  109, 190, 48,  77,  52,  146, 213, 14,  60,  34,  50,  229, 228,
    249, 159, 194, 209, 10,  129, 18,  225, 238, 145, 131, 118, 227, 151, 230, 97,  138, 23,  121, 164, 183, 220,
    144, 122, 92,  140, 2,   166, 202, 105, 222, 80,  26,  17,  147, 185, 82,  135, 88,  252, 237, 29,  55,  73,
    27,  106, 224, 41,  51,  153, 189, 108, 217, 148, 243, 64,  84,  111, 240, 198, 115, 184, 214, 62,  101, 24,
    68,  31,  221, 103, 16,  241, 12,  25,  236, 174, 3,   161, 20,  123, 169, 11,  255, 248, 163, 192, 162, 1,
    247, 46,  188, 36,  104, 117, 13,  254, 186, 47,  181, 208, 218, 61,
};

struct DecodeTable {
    std::uint8_t t[256];
    constexpr DecodeTable() : t{}
    {
        for (int i = 0; i < 256; ++i)
            t[kEncode[i]] = std::uint8_t(i);
    }
};
constexpr DecodeTable kDecode;

[[noreturn]] void damaged(const char* what)
{
    throw OutlookError(std::string("the data file is damaged: ") + what);
}

std::uint16_t u16(const std::uint8_t* p) { return qFromLittleEndian<quint16>(p); }
std::uint32_t u32(const std::uint8_t* p) { return qFromLittleEndian<quint32>(p); }
std::uint64_t u64(const std::uint8_t* p) { return qFromLittleEndian<quint64>(p); }

}  // namespace

namespace {
bool readerEnabled = true;
}

void PstReader::setEnabled(bool enabled) { readerEnabled = enabled; }

std::unique_ptr<PstReader> PstReader::open(const QString& path)
{
    if (!readerEnabled)
        return nullptr;
    const QByteArray local = QFile::encodeName(path);
    const int fd = ::open(local.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<PstReader> r(new PstReader);
    r->fd_ = fd;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    r->fileSize_ = std::uint64_t(st.st_size);
    std::uint8_t h[0x204];
    if (r->fileSize_ < sizeof h || ::pread(fd, h, sizeof h, 0) != ssize_t(sizeof h))
        return nullptr;
    if (std::memcmp(h, "!BDN", 4) != 0 || std::memcmp(h + 8, "SM", 2) != 0)
        return nullptr;
    const std::uint16_t version = u16(h + 10);
    if (version < 23 || version > 35)
        return nullptr;  // ANSI files and 4 KiB-page files are left to libpff
    const std::uint8_t crypt = h[0x201];
    if (crypt > 1)
        return nullptr;  // cyclic encoding is left to libpff
    r->permute_ = crypt == 1;
    r->nbtRoot_ = u64(h + 0xE0);
    r->bbtRoot_ = u64(h + 0xF0);
    return r;
}

PstReader::~PstReader()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void PstReader::readFile(std::uint64_t offset, void* into, std::size_t size)
{
    if (offset > fileSize_ || size > fileSize_ - offset)
        damaged("a reference points past the end of the file");
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd_, static_cast<char*>(into) + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw OutlookError(std::string("cannot read the data file: ") + (n < 0 ? std::strerror(errno) : "end of file"));
        done += std::size_t(n);
    }
}

const PstReader::Page& PstReader::page(std::uint64_t offset, std::uint8_t type)
{
    auto it = pages_.find(offset);
    if (it == pages_.end()) {
        if (pages_.size() >= kMaxPages)
            pages_.clear();
        Page p;
        readFile(offset, p.data(), p.size());
        if (p[496] != type || p[497] != type)
            damaged("a B-tree page is not of its kind");
        it = pages_.emplace(offset, p).first;
    }
    return it->second;
}

PstReader::NodeEntry PstReader::findNode(std::uint32_t nid)
{
    std::uint64_t offset = nbtRoot_;
    int expectedLevel = -1;
    for (int depth = 0; depth < kMaxTreeDepth; ++depth) {
        const Page& p = page(offset, kPageNbt);
        const int count = p[488];
        const int size = p[490];
        const int level = p[491];
        if ((expectedLevel >= 0 && level != expectedLevel) || (level > 0 && size != 24) || (level == 0 && size != 32)
            || count * size > 488)
            damaged("a node B-tree page is inconsistent");
        if (level == 0) {
            // Leaf entries are sorted by node id.
            int lo = 0, hi = count - 1;
            while (lo <= hi) {
                const int mid = (lo + hi) / 2;
                const std::uint8_t* e = p.data() + mid * 32;
                const std::uint32_t key = std::uint32_t(u64(e));
                if (key == nid)
                    return NodeEntry{u64(e + 8), u64(e + 16), u32(e + 24)};
                if (key < nid)
                    lo = mid + 1;
                else
                    hi = mid - 1;
            }
            throw OutlookError(QStringLiteral("the data file has no node %1").arg(nid, 0, 16).toStdString());
        }
        // The last entry whose key is not above the one sought.
        int pick = -1;
        for (int i = 0; i < count; ++i) {
            if (u64(p.data() + i * 24) <= nid)
                pick = i;
            else
                break;
        }
        if (pick < 0)
            throw OutlookError(QStringLiteral("the data file has no node %1").arg(nid, 0, 16).toStdString());
        offset = u64(p.data() + pick * 24 + 16);
        expectedLevel = level - 1;
    }
    damaged("the node B-tree is nested too deeply");
}

PstReader::BlockEntry PstReader::findBlock(std::uint64_t bid)
{
    const std::uint64_t wanted = bid & ~std::uint64_t(1);
    std::uint64_t offset = bbtRoot_;
    int expectedLevel = -1;
    for (int depth = 0; depth < kMaxTreeDepth; ++depth) {
        const Page& p = page(offset, kPageBbt);
        const int count = p[488];
        const int size = p[490];
        const int level = p[491];
        if ((expectedLevel >= 0 && level != expectedLevel) || size != 24 || count * size > 488)
            damaged("a block B-tree page is inconsistent");
        if (level == 0) {
            int lo = 0, hi = count - 1;
            while (lo <= hi) {
                const int mid = (lo + hi) / 2;
                const std::uint8_t* e = p.data() + mid * 24;
                const std::uint64_t key = u64(e) & ~std::uint64_t(1);
                if (key == wanted)
                    return BlockEntry{u64(e + 8), u16(e + 16)};
                if (key < wanted)
                    lo = mid + 1;
                else
                    hi = mid - 1;
            }
            damaged("a block is missing");
        }
        int pick = -1;
        for (int i = 0; i < count; ++i) {
            if ((u64(p.data() + i * 24) & ~std::uint64_t(1)) <= wanted)
                pick = i;
            else
                break;
        }
        if (pick < 0)
            damaged("a block is missing");
        offset = u64(p.data() + pick * 24 + 16);
        expectedLevel = level - 1;
    }
    damaged("the block B-tree is nested too deeply");
}

std::vector<std::uint8_t> PstReader::readBlock(std::uint64_t bid)
{
    const BlockEntry b = findBlock(bid);
    if (b.size > kMaxBlockData)
        damaged("a block is too large");
    std::vector<std::uint8_t> data(b.size);
    readFile(b.offset, data.data(), data.size());
    // Internal blocks (bit 1 of the id) are stored as they are.
    if (permute_ && !(bid & 2))
        for (std::uint8_t& c : data)
            c = kDecode.t[c];
    return data;
}

std::vector<std::vector<std::uint8_t>> PstReader::readNodeBlocks(std::uint64_t bid)
{
    std::vector<std::vector<std::uint8_t>> blocks;
    std::vector<std::uint8_t> first = readBlock(bid);
    if (!(bid & 2)) {
        blocks.push_back(std::move(first));
        return blocks;
    }
    // XBLOCK (level 1) or XXBLOCK (level 2): a list of the data blocks.
    std::uint64_t total = 0;
    auto expand = [&](auto& self, const std::vector<std::uint8_t>& x, int level) -> void {
        if (x.size() < 8 || x[0] != 0x01 || x[1] != level)
            damaged("a data tree block is inconsistent");
        const std::size_t count = u16(x.data() + 2);
        if (8 + count * 8 > x.size())
            damaged("a data tree block is inconsistent");
        if (u32(x.data() + 4) > kMaxNodeData)
            damaged("a node is impossibly large");
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t child = u64(x.data() + 8 + i * 8);
            if (level == 2) {
                if (!(child & 2))
                    damaged("a data tree block is inconsistent");
                self(self, readBlock(child), 1);
            } else {
                if (child & 2)
                    damaged("a data tree block is inconsistent");
                blocks.push_back(readBlock(child));
                total += blocks.back().size();
                if (total > kMaxNodeData)
                    damaged("a node is impossibly large");
            }
        }
    };
    if (first.size() < 2 || (first[1] != 1 && first[1] != 2))
        damaged("a data tree block is inconsistent");
    expand(expand, first, first[1]);
    return blocks;
}

std::vector<std::uint8_t> PstReader::readNodeData(std::uint64_t bid)
{
    std::vector<std::vector<std::uint8_t>> blocks = readNodeBlocks(bid);
    if (blocks.size() == 1)
        return std::move(blocks.front());
    std::vector<std::uint8_t> all;
    for (const auto& b : blocks)
        all.insert(all.end(), b.begin(), b.end());
    return all;
}

std::vector<std::uint8_t> PstReader::readSubnode(std::uint64_t bidSub, std::uint32_t nid)
{
    std::uint64_t bid = bidSub;
    for (int depth = 0; depth < kMaxTreeDepth; ++depth) {
        if (bid == 0)
            damaged("a value refers to a missing subnode");
        const std::vector<std::uint8_t> b = readBlock(bid);
        if (b.size() < 8 || b[0] != 0x02)
            damaged("a subnode block is inconsistent");
        const int level = b[1];
        const std::size_t count = u16(b.data() + 2);
        const std::size_t size = level == 0 ? 24 : 16;
        if (level > 1 || 8 + count * size > b.size())
            damaged("a subnode block is inconsistent");
        if (level == 0) {
            for (std::size_t i = 0; i < count; ++i) {
                const std::uint8_t* e = b.data() + 8 + i * 24;
                if (std::uint32_t(u64(e)) == nid)
                    return readNodeData(u64(e + 8));
            }
            damaged("a value refers to a missing subnode");
        }
        std::uint64_t next = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* e = b.data() + 8 + i * 16;
            if (std::uint32_t(u64(e)) <= nid)
                next = u64(e + 8);
            else
                break;
        }
        bid = next;
    }
    damaged("a subnode tree is nested too deeply");
}

std::uint32_t PstReader::parentOf(std::uint32_t nid) { return findNode(nid).parent; }

PropertyBag PstReader::readProperties(std::uint32_t nid)
{
    const NodeEntry node = findNode(nid);
    const std::vector<std::vector<std::uint8_t>> blocks = readNodeBlocks(node.bidData);

    // The heap over the node's blocks: an allocation is named by block and index.
    auto allocation = [&](std::uint32_t hid) -> std::pair<const std::uint8_t*, std::size_t> {
        if (hid == 0)
            return {nullptr, 0};
        if (hid & 0x1F)
            damaged("a heap reference is not a heap reference");
        const std::size_t block = hid >> 16;
        const std::size_t index = (hid >> 5) & 0x7FF;
        if (block >= blocks.size() || index == 0)
            damaged("a heap reference points nowhere");
        const std::vector<std::uint8_t>& b = blocks[block];
        if (b.size() < 2)
            damaged("a heap block is too short");
        const std::size_t map = u16(b.data());
        if (map + 4 > b.size())
            damaged("a heap block map is out of place");
        const std::size_t allocs = u16(b.data() + map);
        if (index > allocs || map + 4 + (allocs + 1) * 2 > b.size())
            damaged("a heap reference points nowhere");
        const std::size_t from = u16(b.data() + map + 4 + (index - 1) * 2);
        const std::size_t to = u16(b.data() + map + 4 + index * 2);
        if (from > to || to > map)
            damaged("a heap allocation is out of place");
        return {b.data() + from, to - from};
    };

    if (blocks.empty() || blocks[0].size() < 12 || blocks[0][2] != 0xEC)
        damaged("a node is not a heap");
    if (blocks[0][3] != 0xBC)
        damaged("a node is not a property context");
    const auto [bth, bthSize] = allocation(u32(blocks[0].data() + 4));
    if (bthSize < 8 || bth[0] != 0xB5 || bth[1] != 2 || bth[2] != 6)
        damaged("a property context has no valid B-tree header");
    const int levels = bth[3];

    PropertyBag bag;
    auto leaf = [&](const std::uint8_t* rec) {
        Property p;
        p.id = u16(rec);
        p.type = u16(rec + 2);
        const std::uint32_t value = u32(rec + 4);
        switch (p.type) {
        case PT_SHORT:
            p.data = QByteArray(reinterpret_cast<const char*>(rec + 4), 2);
            break;
        case PT_BOOLEAN:
            p.data = QByteArray(reinterpret_cast<const char*>(rec + 4), 1);
            break;
        case PT_LONG:
        case 0x0004:  // PT_FLOAT
        case 0x000A:  // PT_ERROR
            p.data = QByteArray(reinterpret_cast<const char*>(rec + 4), 4);
            break;
        default:
            if (value == 0) {
                break;  // an empty value
            } else if ((value & 0x1F) == 0) {
                const auto [data, size] = allocation(value);
                p.data = QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
            } else {
                const std::vector<std::uint8_t> v = readSubnode(node.bidSub, value);
                p.data = QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
            }
            break;
        }
        bag.add(std::move(p));
    };
    // Intermediate records could name the same allocation over and over;
    // the walk gives up long before that multiplies into real work.
    std::size_t visits = 0;
    auto walk = [&](auto& self, std::uint32_t hid, int level) -> void {
        if (++visits > 65536)
            damaged("a property context loops back on itself");
        const auto [data, size] = allocation(hid);
        if (level == 0) {
            for (std::size_t at = 0; at + 8 <= size; at += 8)
                leaf(data + at);
            return;
        }
        for (std::size_t at = 0; at + 6 <= size; at += 6)
            self(self, u32(data + at + 2), level - 1);
    };
    if (levels > 8)
        damaged("a property context is nested too deeply");
    walk(walk, u32(bth + 4), levels);
    return bag;
}

}  // namespace outlook::pff
