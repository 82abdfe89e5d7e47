#include "source/outlook/NameMap.h"

#include "source/outlook/Vocabulary.h"

namespace outlook::pst {

namespace {
QUuid guidFromBytes(const std::uint8_t* p)
{
    return QUuid(u32(p), u16(p + 4), u16(p + 6), p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
}

Span stream(const PropertyBag& bag, std::uint16_t id)
{
    const Property* p = bag.find(id);
    if (!p || p->type != PT_BINARY)
        return {};
    return {reinterpret_cast<const std::uint8_t*>(p->data), p->size};
}
}  // namespace

size_t qHash(const NamedKey& key, size_t seed)
{
    return ::qHash(key.set, seed) ^ ::qHash(key.isString ? key.name : QString(), seed) ^ ::qHash(key.lid, seed);
}

void NameMap::parse(const PropertyBag& map)
{
    ids_.clear();
    const Span guids = stream(map, PidTagNameidStreamGuid), entries = stream(map, PidTagNameidStreamEntry),
               strings = stream(map, PidTagNameidStreamString);
    const std::size_t guidCount = guids.size / 16;
    // NAMEID: dwPropertyID (a number, or an offset into the string stream),
    // then wGuid (N flag in bit 0, GUID index above it), then wPropIdx.
    for (std::size_t at = 0; at + 8 <= entries.size; at += 8) {
        const std::uint8_t* e = entries.data + at;
        const std::uint32_t value = u32(e);
        const std::uint16_t guidAndKind = u16(e + 4);
        const std::uint16_t index = u16(e + 6);
        NamedKey key;
        const std::size_t guidIndex = guidAndKind >> 1;
        if (guidIndex == kNameMapGuidPsMapi)
            key.set = kPsMapi;
        else if (guidIndex == kNameMapGuidPublicStrings)
            key.set = kPsPublicStrings;
        else if (guidIndex >= kNameMapGuidFirstListed && guidIndex - kNameMapGuidFirstListed < guidCount)
            key.set = guidFromBytes(guids.data + 16 * (guidIndex - kNameMapGuidFirstListed));
        else
            continue;
        if (guidAndKind & 1) {
            // A name: a 32-bit length and UTF-16 text in the string stream.
            if (std::size_t(value) + 4 > strings.size)
                continue;
            const std::uint32_t length = u32(strings.data + value);
            if (length > strings.size - value - 4)
                continue;
            key.isString = true;
            key.name = QString(reinterpret_cast<const QChar*>(strings.data + value + 4), qsizetype(length / 2));
            while (!key.name.isEmpty() && key.name.back() == QChar(0))
                key.name.chop(1);
        } else {
            key.lid = value;
        }
        if (index > kLastNamedId - kFirstNamedId)
            continue;
        ids_.insert(key, std::uint16_t(kFirstNamedId + index));
    }
}

std::uint16_t NameMap::id(const QUuid& set, std::uint32_t lid) const
{
    NamedKey key;
    key.set = set;
    key.lid = lid;
    return ids_.value(key, 0);
}

std::uint16_t NameMap::id(const QUuid& set, const QString& name) const
{
    NamedKey key;
    key.set = set;
    key.isString = true;
    key.name = name;
    return ids_.value(key, 0);
}

}  // namespace outlook::pst
