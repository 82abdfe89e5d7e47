#include "source/outlook/PropertyContext.h"

#include "source/outlook/Heap.h"

namespace outlook::pst {

namespace {
// Types whose value sits in the record itself, with its size there.
std::size_t inlineSize(std::uint16_t type)
{
    switch (type) {
    case PT_SHORT:
        return 2;
    case PT_BOOLEAN:
        return 1;
    case PT_LONG:
    case PT_FLOAT:
    case PT_ERROR:
        return 4;
    default:
        return 0;
    }
}
}  // namespace

PropertyBag readPropertyContext(Ndb& ndb, std::uint32_t nid)
{
    return readPropertyContext(ndb, ndb.node(nid));
}

PropertyBag readPropertyContext(Ndb& ndb, const NodeEntry& node)
{
    Heap heap(ndb, node.bidData, kHeapPropertyContext);
    HeapBTree tree(heap, heap.userRoot());
    if (tree.keySize() != 2 || tree.dataSize() != 6)
        damaged("a property context has an impossible record size");

    PropertyBag bag;
    bag.reserve(96);  // more than an item usually has: one allocation
    std::vector<Bytes>& large = bag.storage();
    large.reserve(4);
    tree.forEach([&](const std::uint8_t* rec) {
        // PC record: wPropId, wPropType, dwValueHnid.
        if (bag.size() >= kMaxProperties)
            damaged("an item has an impossible number of properties");
        Property p;
        p.id = u16(rec);
        p.type = u16(rec + 2);
        const std::uint32_t hnid = u32(rec + 4);
        if (const std::size_t n = inlineSize(p.type)) {
            p.data = reinterpret_cast<const char*>(rec + 4);
            p.size = std::uint32_t(n);
        } else if (hnid == 0) {
            // An empty value.
        } else if ((hnid & 0x1F) == 0) {
            const Span s = heap.allocation(hnid);
            p.data = reinterpret_cast<const char*>(s.data);
            p.size = std::uint32_t(s.size);
        } else {
            // A sub-node of the node holds the value.
            const auto sub = ndb.findSubnode(node.bidSub, hnid);
            if (!sub)
                damaged("a value refers to a missing sub-node");
            large.push_back(ndb.readData(sub->bidData));
            p.data = reinterpret_cast<const char*>(large.back().data());
            p.size = std::uint32_t(large.back().size());
        }
        bag.add(p);
    });
    // The spans point into the heap's blocks and the large values: the bag
    // keeps both.
    heap.handBlocksTo(bag.storage());
    bag.sort();
    return bag;
}

}  // namespace outlook::pst
