#include "source/outlook/Property.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace outlook::pst {

namespace {

QString decodeUtf16(const char* data, qsizetype size)
{
    if (size % 2 != 0)
        throw OutlookError(Cause::Damaged, "a Unicode text value has an odd number of bytes");
    return QString(reinterpret_cast<const QChar*>(data), size / 2);
}

// MAPI strings carry no terminator of their own; some writers add one anyway.
void dropTerminators(QString& text)
{
    qsizetype n = text.size();
    while (n > 0 && text.at(n - 1) == QChar(0))
        --n;
    text.truncate(n);
}

struct TextSpan {
    const char* data;
    qsizetype size;
};

// The values of a multi-valued property of variable size: a count, the
// offset of each value, then the values.
std::vector<TextSpan> splitMultiValue(const Property& p)
{
    std::vector<TextSpan> values;
    if (p.size == 0)
        return values;
    const auto* d = reinterpret_cast<const std::uint8_t*>(p.data);
    if (p.size < 4)
        throw OutlookError(Cause::Damaged, "a multi-valued property is damaged");
    const std::uint32_t count = u32(d);
    if (count > (p.size - 4) / 4)
        throw OutlookError(Cause::Damaged, "a multi-valued property has an impossible count");
    values.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t from = u32(d + 4 + 4 * i);
        const std::uint32_t to = i + 1 < count ? u32(d + 8 + 4 * i) : p.size;
        if (from < 4 + 4 * count || from > to || to > p.size)
            throw OutlookError(Cause::Damaged, "a multi-valued property is damaged");
        values.push_back({p.data + from, qsizetype(to - from)});
    }
    return values;
}

// A list of Unicode texts joined with ", ", each without its terminators,
// made in one piece: a contact's children and categories are read this way.
QString joinedUnicode(const Property& p)
{
    const std::vector<TextSpan> values = splitMultiValue(p);
    auto units = [](const TextSpan& v) {
        if (v.size % 2 != 0)
            throw OutlookError(Cause::Damaged, "a Unicode text value has an odd number of bytes");
        // Values need not be aligned for char16_t: looked at byte by byte.
        qsizetype n = v.size / 2;
        while (n > 0 && v.data[2 * n - 1] == 0 && v.data[2 * n - 2] == 0)
            --n;
        return n;
    };
    qsizetype total = 0;
    for (const TextSpan& v : values)
        total += units(v);
    if (values.empty())
        return QString();
    constexpr char16_t Separator[] = u", ";
    total += 2 * qsizetype(values.size() - 1);
    QString text(total, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) {
            *out++ = Separator[0];
            *out++ = Separator[1];
        }
        const qsizetype n = units(values[i]);
        std::memcpy(out, values[i].data, std::size_t(n) * 2);
        out += n;
    }
    return text;
}

bool isText(std::uint16_t type)
{
    return type == PT_UNICODE || type == PT_STRING8;
}
bool isTextList(std::uint16_t type)
{
    return type == PT_MV_UNICODE || type == PT_MV_STRING8;
}

}  // namespace

const Property* PropertyBag::find(std::uint16_t id) const
{
    if (id == 0)
        return nullptr;
    const auto it = std::lower_bound(props_.begin(), props_.end(), id,
                                     [](const Property& p, std::uint16_t key) { return p.id < key; });
    return it != props_.end() && it->id == id ? &*it : nullptr;
}

void PropertyBag::sort()
{
    // A property context's B-tree keeps them sorted already.
    if (std::is_sorted(props_.begin(), props_.end(), [](const Property& a, const Property& b) { return a.id < b.id; }))
        return;
    std::stable_sort(props_.begin(), props_.end(), [](const Property& a, const Property& b) { return a.id < b.id; });
}

QString toText(const Property& p, int codepage)
{
    QString text;
    if (p.type == PT_UNICODE)
        text = decodeUtf16(p.data, p.size);
    else if (p.type == PT_STRING8)
        text = decodeCodepage(p.data, p.size, codepage);
    else if (p.type == PT_MV_UNICODE)
        return joinedUnicode(p);
    else if (isTextList(p.type))
        return toTexts(p, codepage).join(QStringLiteral(", "));
    else
        return QString();
    dropTerminators(text);
    return text;
}

QStringList toTexts(const Property& p, int codepage)
{
    QStringList texts;
    if (isText(p.type)) {
        texts.push_back(toText(p, codepage));
        return texts;
    }
    if (!isTextList(p.type))
        return texts;
    for (const TextSpan& v : splitMultiValue(p)) {
        QString text = p.type == PT_MV_UNICODE ? decodeUtf16(v.data, v.size) : decodeCodepage(v.data, v.size, codepage);
        dropTerminators(text);
        texts.push_back(text);
    }
    return texts;
}

std::vector<QByteArray> toBinaries(const Property& p)
{
    if (p.type == PT_BINARY)
        return {p.bytes()};
    std::vector<QByteArray> out;
    if (p.type == PT_MV_BINARY)
        for (const TextSpan& v : splitMultiValue(p))
            out.emplace_back(v.data, v.size);
    return out;
}

std::optional<std::int64_t> toInteger(const Property& p)
{
    const auto* d = reinterpret_cast<const std::uint8_t*>(p.data);
    switch (p.type) {
    case PT_SHORT:
        if (p.size >= 2)
            return std::int16_t(u16(d));
        break;
    case PT_LONG:
        if (p.size >= 4)
            return std::int32_t(u32(d));
        break;
    case PT_BOOLEAN:
        if (p.size >= 1)
            return d[0] != 0;
        break;
    case PT_I8:
        if (p.size >= 8)
            return std::int64_t(u64(d));
        break;
    default:
        break;
    }
    return std::nullopt;
}

std::optional<QDateTime> toUtcTime(const Property& p)
{
    if (p.type != PT_SYSTIME || p.size != 8)
        return std::nullopt;
    const std::uint64_t ticks = u64(reinterpret_cast<const std::uint8_t*>(p.data));
    // 100-nanosecond ticks since 1601-01-01 UTC.
    constexpr qint64 kTicksPerMs = 10000;
    constexpr qint64 kEpochDelta = 11644473600000LL;  // ms from 1601 to 1970
    if (ticks > std::uint64_t(std::numeric_limits<qint64>::max()))
        return std::nullopt;
    const qint64 ms = qint64(ticks / kTicksPerMs) - kEpochDelta;
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

}  // namespace outlook::pst
