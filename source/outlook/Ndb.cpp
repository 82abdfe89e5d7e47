#include "source/outlook/Ndb.h"

#include "source/outlook/Page.h"

#include <QFile>

#include <libdeflate.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstring>
#include <string>

namespace outlook::pst {

void damaged(const char* what)
{
    throw OutlookError(Cause::Damaged, std::string("the data file is damaged: ") + what);
}

namespace {

[[noreturn]] void refuse(const QString& path, Cause cause, const QString& why)
{
    throw OutlookError(cause, (path + QStringLiteral(": ") + why).toStdString());
}

Cause causeOf(int error)
{
    return error == ENOENT || error == ENOTDIR ? Cause::NotFound
        : error == EACCES || error == EPERM    ? Cause::NoPermission
                                               : Cause::Io;
}

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
}

}  // namespace

std::unique_ptr<Ndb> Ndb::open(const QString& path)
{
    const QByteArray local = QFile::encodeName(path);
    // Look before opening: opening a named pipe would wait for a writer.
    struct stat st { };
    if (::stat(local.constData(), &st) != 0)
        refuse(path, causeOf(errno), QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(st.st_mode))
        refuse(path, Cause::NotADataFile, kindOf(st.st_mode) + QStringLiteral(", not an Outlook data file"));
    // O_NONBLOCK keeps a file swapped for a pipe since the look from blocking.
    const int fd = ::open(local.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        refuse(path, causeOf(errno), QString::fromLocal8Bit(std::strerror(errno)));
    std::unique_ptr<Ndb> n(new Ndb);
    n->fd_ = fd;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        refuse(path, Cause::NotADataFile, kindOf(st.st_mode) + QStringLiteral(", not an Outlook data file"));
    n->fileSize_ = std::uint64_t(st.st_size);

    std::uint8_t h[Header::kReadSize] = {};
    const std::size_t size = std::size_t(std::min<std::uint64_t>(n->fileSize_, sizeof h));
    n->readAt(0, h, size);
    n->header_ = Header::parse(h, size, path);
    const std::size_t pageSize = n->header_.geometry.pageSize;
    n->cached_.resize(kCacheBytes / pageSize);
    n->pageShift_ = std::countr_zero(pageSize);
    n->setMask_ = n->cached_.size() / 2 - 1;
    n->cachedBytes_ = std::make_unique<std::uint8_t[]>(kCacheBytes);
    return n;
}

void Ndb::FreeDecompressor::operator()(libdeflate_decompressor* d) const
{
    libdeflate_free_decompressor(d);
}

Ndb::~Ndb()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void Ndb::readAt(std::uint64_t offset, void* into, std::size_t size)
{
    if (offset > fileSize_ || size > fileSize_ - offset)
        damaged("a reference points past the end of the file");
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd_, static_cast<char*>(into) + done, size - done, off_t(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw OutlookError(Cause::Io, std::string("cannot read the data file: ") + std::strerror(errno));
        if (n == 0)
            damaged("the file ends early");
        done += std::size_t(n);
    }
}

const std::uint8_t* Ndb::readRaw(std::uint64_t offset, std::size_t size)
{
    if (offset > fileSize_ || size > fileSize_ - offset)
        damaged("a reference points past the end of the file");
    Window& w = window_;
    const std::uint64_t end = w.start + w.size;
    if (w.size > 0 && offset >= w.start && offset + size <= end)
        return w.bytes.get() + (offset - w.start);
    // Reading on from the window or from the read before (or just past
    // either): the next window.
    const std::uint64_t previousEnd = readEnd_;
    readEnd_ = offset + size;
    const auto readsOn = [offset](std::uint64_t from) { return offset >= from && offset - from < kWindowSize; };
    if (size <= kWindowSize
        && (w.size == 0 || (offset >= w.start && offset < end + kWindowSize) || readsOn(previousEnd))) {
        if (!w.bytes)
            w.bytes = std::make_unique<std::uint8_t[]>(kWindowSize);
        w.size = 0;
        w.start = offset;
        const std::size_t n = std::size_t(std::min<std::uint64_t>(kWindowSize, fileSize_ - offset));
        readAt(offset, w.bytes.get(), n);
        w.size = n;
        return w.bytes.get();
    }
    scratch_.resize(size);
    readAt(offset, scratch_.data(), size);
    return scratch_.data();
}

void Ndb::readPage(std::uint64_t ib, PageType type, std::uint8_t* into)
{
    const std::size_t pageSize = geometry().pageSize;
    const std::size_t runSize = kPagesPerRun * pageSize;
    PageRun& run = pageRuns_[type == kPageNodeBTree ? 0 : 1];
    const bool inOrder = ib == run.nextMiss;
    run.nextMiss = ib + pageSize;
    if (run.size > 0 && ib >= run.start && ib - run.start <= run.size - pageSize) {
        std::memcpy(into, run.bytes.get() + (ib - run.start), pageSize);
        return;
    }
    if (!inOrder || ib > fileSize_ || fileSize_ - ib < runSize) {
        readAt(ib, into, pageSize);
        return;
    }
    if (!run.bytes)
        run.bytes = std::make_unique<std::uint8_t[]>(runSize);
    run.size = 0;
    readAt(ib, run.bytes.get(), runSize);
    run.start = ib;
    run.size = runSize;
    std::memcpy(into, run.bytes.get(), pageSize);
}

const std::uint8_t* Ndb::page(const BlockRef& ref, PageType type)
{
    const std::size_t pageSize = geometry().pageSize;
    // Page sizes and the number of sets are powers of two: shift and mask.
    const std::size_t first = std::size_t((ref.ib >> pageShift_) & setMask_) * 2;
    CachedPage* set = cached_.data() + first;
    int way = -1;
    for (int w = 0; w < 2; ++w)
        if (set[w].ib == ref.ib && set[w].type == type)
            way = w;
    std::uint8_t* bytes = nullptr;
    if (way < 0) {
        way = set[0].usedLast ? 1 : 0;
        CachedPage& slot = set[way];
        bytes = cachedBytes_.get() + (first + std::size_t(way)) * pageSize;
        slot.ib = ~std::uint64_t(0);
        if ((ref.ib & (pageSize - 1)) != 0)
            damaged("a B-tree page is out of place");
        readPage(ref.ib, type, bytes);
        checkPageTrailer(bytes, geometry(), type, ref.bid, ref.ib);
        slot.ib = ref.ib;
        slot.type = type;
    } else {
        bytes = cachedBytes_.get() + (first + std::size_t(way)) * pageSize;
    }
    set[0].usedLast = way == 0;
    set[1].usedLast = way == 1;
    return bytes;
}

const std::uint8_t* Ndb::findEntry(const BTreeKind& tree, std::uint64_t key)
{
    const Layout l = layout();
    BlockRef ref = tree.root;
    int expectedLevel = -1;
    for (int depth = 0; depth < kMaxTreeDepth; ++depth) {
        const std::uint8_t* raw = page(ref, tree.pageType);
        const BTreePage p = parseBTreePage(raw, geometry());
        if ((expectedLevel >= 0 && p.level != expectedLevel)
            || p.entrySize != (p.level == 0 ? tree.leafEntrySize : innerEntrySize(l)))
            damaged((std::string("a ") + tree.name + " B-tree page is inconsistent").c_str());
        if (p.level == 0) {
            int lo = 0, hi = p.count - 1;
            while (lo <= hi) {
                const int mid = (lo + hi) / 2;
                const std::uint8_t* e = p.entries + mid * p.entrySize;
                const std::uint64_t found = wide(e, l) & tree.leafKeyMask;
                if (found == key)
                    return e;
                if (found < key)
                    lo = mid + 1;
                else
                    hi = mid - 1;
            }
            return nullptr;
        }
        // The last entry whose key is not above the one sought.
        int lo = 0, hi = p.count - 1, pick = -1;
        while (lo <= hi) {
            const int mid = (lo + hi) / 2;
            if ((innerKey(p.entries + mid * p.entrySize, l) & tree.innerKeyMask) <= key) {
                pick = mid;
                lo = mid + 1;
            } else {
                hi = mid - 1;
            }
        }
        if (pick < 0)
            return nullptr;
        const std::uint8_t* e = p.entries + pick * p.entrySize;
        ref = {innerBid(e, l), innerIb(e, l)};
        expectedLevel = p.level - 1;
    }
    damaged((std::string("the ") + tree.name + " B-tree is nested too deeply").c_str());
}

std::optional<NodeEntry> Ndb::findNode(std::uint32_t nid)
{
    // Node ids are 32 bits wide; inner keys are compared whole.
    const BTreeKind tree{header_.nodeBTree, kPageNodeBTree,    nodeEntrySize(layout()),
                         0xFFFFFFFFu,       ~std::uint64_t(0), "node"};
    if (const std::uint8_t* e = findEntry(tree, nid))
        return nodeEntry(e, layout());
    return std::nullopt;
}

NodeEntry Ndb::node(std::uint32_t nid)
{
    if (auto n = findNode(nid))
        return *n;
    throw OutlookError(Cause::Damaged, QStringLiteral("the data file has no node %1").arg(nid, 0, 16).toStdString());
}

BlockEntry Ndb::findBlock(std::uint64_t bid)
{
    // Block ids are looked up without their reserved bit 0.
    const BTreeKind tree{header_.blockBTree,          kPageBlockBTree,
                         blockEntrySize(layout()),    blockKey(~std::uint64_t(0)),
                         blockKey(~std::uint64_t(0)), "block"};
    if (const std::uint8_t* e = findEntry(tree, blockKey(bid)))
        return blockEntry(e, geometry());
    damaged("a block is missing");
}

std::size_t Ndb::blockSize(std::uint64_t bid)
{
    return findBlock(bid).cbInflated;
}

Bytes Ndb::readBlock(std::uint64_t bid)
{
    const Geometry& g = geometry();
    const BlockEntry e = findBlock(bid);
    const std::size_t stored = blockSizeOnDisk(e.cb, g);
    if (stored > g.maxBlockSize || e.ib % g.blockAlignment != 0)
        damaged("a block is out of place");
    const std::uint8_t* raw = readRaw(e.ib, stored);
    checkBlockTrailer(raw, stored, e, g);
    // Compressed blocks hold the encoded data deflated: inflate, then decode.
    Bytes b(e.cbInflated);
    if (e.cbInflated != e.cb) {
        if (!decompressor_) {
            decompressor_.reset(libdeflate_alloc_decompressor());
            if (!decompressor_)
                throw OutlookError("cannot inflate a compressed block: out of memory");
        }
        inflateBlock(raw, e, b.data(), decompressor_.get());
        raw = b.data();
    }
    if (!isInternal(bid))
        decode(header_.crypt, bid, raw, b.data(), b.size(), g.layout);
    else if (raw != b.data() && !b.empty())
        std::memcpy(b.data(), raw, b.size());
    return b;
}

std::vector<std::uint64_t> Ndb::dataBlocks(std::uint64_t bid)
{
    if (!isInternal(bid))
        return {bid};
    const DataTreeBlock top = parseDataTreeBlock(readBlock(bid), layout());
    if (top.level == 1) {
        for (std::uint64_t c : top.children)
            if (isInternal(c))
                damaged("a data tree block is inconsistent");
        return top.children;
    }
    std::vector<std::uint64_t> out;
    for (std::uint64_t c : top.children) {
        if (!isInternal(c))
            damaged("a data tree block is inconsistent");
        const DataTreeBlock x = parseDataTreeBlock(readBlock(c), layout());
        if (x.level != 1)
            damaged("a data tree block is inconsistent");
        for (std::uint64_t d : x.children) {
            if (isInternal(d))
                damaged("a data tree block is inconsistent");
            out.push_back(d);
        }
        if (out.size() > kMaxNodeData / 64)
            damaged("a node is impossibly large");
    }
    return out;
}

Bytes Ndb::readData(std::uint64_t bid)
{
    if (!isInternal(bid))
        return readBlock(bid);
    Bytes all;
    for (std::uint64_t b : dataBlocks(bid)) {
        const Bytes part = readBlock(b);
        if (all.size() + part.size() > kMaxNodeData)
            damaged("a node is impossibly large");
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

std::optional<SubnodeEntry> Ndb::findSubnode(std::uint64_t bidSub, std::uint32_t nid)
{
    std::uint64_t bid = bidSub;
    for (int depth = 0; depth < kMaxTreeDepth; ++depth) {
        if (bid == 0)
            return std::nullopt;
        if (!isInternal(bid))
            damaged("a sub-node tree block is inconsistent");
        const SubnodeBlock b = parseSubnodeBlock(readBlock(bid), layout());
        if (b.level == 0) {
            for (const SubnodeEntry& e : b.entries)
                if (e.nid == nid)
                    return e;
            return std::nullopt;
        }
        std::uint64_t next = 0;
        for (const SubnodeEntry& e : b.entries) {
            if (e.nid <= nid)
                next = e.bidData;
            else
                break;
        }
        bid = next;
    }
    damaged("a sub-node tree is nested too deeply");
}

}  // namespace outlook::pst
