#include "export/notes/ItemList.h"

#include "common/text/Utf8.h"
#include "export/notes/Notes.h"

#include <cstring>

namespace notes::store {

namespace {

// The item list of a note (see docs/BOOK_FORMAT.md): a format byte, then per
// item a flags byte and the name and value, each as a varint byte length and
// the bytes. Text is UTF-8, or UTF-16LE for a text holding an unpaired
// surrogate, which UTF-8 cannot carry.
constexpr char ItemListFormat = 1;
constexpr unsigned char NameIsUtf16 = 1;
constexpr unsigned char ValueIsUtf16 = 2;

}  // namespace

bool hasUnpairedSurrogate(const QString& s)
{
    const char16_t* p = reinterpret_cast<const char16_t*>(s.constData());
    const qsizetype n = s.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = p[i];
        if (u < 0xD800 || u > 0xDFFF)
            continue;
        if (u <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        return true;
    }
    return false;
}

namespace {

unsigned char* putVarint(unsigned char* out, quint64 v)
{
    while (v >= 0x80) {
        *out++ = static_cast<unsigned char>((v & 0x7F) | 0x80);
        v >>= 7;
    }
    *out++ = static_cast<unsigned char>(v);
    return out;
}

constexpr qsizetype varintSize(quint64 v)
{
    qsizetype n = 1;
    while (v >= 0x80) {
        v >>= 7;
        ++n;
    }
    return n;
}

// The most a text of `n` units takes stored: its length and at most three
// bytes a unit.
constexpr qsizetype maxTextSize(qsizetype n)
{
    return 10 + 3 * n;
}

// Writes a text as UTF-8 with its byte length in front and returns the end;
// nullptr (and nothing usable written) when the text holds an unpaired
// surrogate, which UTF-8 cannot carry. One pass: the bytes go after room for
// a one-byte length and move up in the rare case the length needs more.
unsigned char* putUtf8(unsigned char* out, const char16_t* p, qsizetype n)
{
    unsigned char* const start = out + 1;
    unsigned char* q = start;
    for (qsizetype i = 0; i < n; ++i) {
        // Runs of plain ASCII, four units at a time.
        while (i + 4 <= n && (p[i] | p[i + 1] | p[i + 2] | p[i + 3]) < 0x80) {
            q[0] = static_cast<unsigned char>(p[i]);
            q[1] = static_cast<unsigned char>(p[i + 1]);
            q[2] = static_cast<unsigned char>(p[i + 2]);
            q[3] = static_cast<unsigned char>(p[i + 3]);
            q += 4;
            i += 4;
        }
        if (i >= n)
            break;
        const char32_t u = p[i];
        if (u < 0xD800 || u > 0xDFFF) {
            q = putUtf8CodePoint(q, u);
        } else if (u <= 0xDBFF && i + 1 < n && p[i + 1] >= 0xDC00 && p[i + 1] <= 0xDFFF) {
            q = putUtf8CodePoint(q, 0x10000 + ((u - 0xD800) << 10) + (char32_t(p[i + 1]) - 0xDC00));
            ++i;
        } else {
            return nullptr;
        }
    }
    const quint64 len = quint64(q - start);
    if (len < 0x80) {
        *out = static_cast<unsigned char>(len);
        return q;
    }
    const qsizetype extra = varintSize(len) - 1;
    std::memmove(start + extra, start, std::size_t(len));
    putVarint(out, len);
    return q + extra;
}

// Writes a text as UTF-16LE with its byte length in front.
unsigned char* putUtf16(unsigned char* out, const char16_t* p, qsizetype n)
{
    out = putVarint(out, quint64(n) * 2);
    for (qsizetype i = 0; i < n; ++i) {
        *out++ = static_cast<unsigned char>(p[i] & 0xFF);
        *out++ = static_cast<unsigned char>(p[i] >> 8);
    }
    return out;
}

const char16_t* units(const QString& s)
{
    return reinterpret_cast<const char16_t*>(s.constData());
}

}  // namespace

void encodeItems(const ItemList& items, QByteArray& out)
{
    // Room for the worst case, written in one pass, cut to size.
    qsizetype room = 1;
    for (const auto& [name, value] : items)
        room += 1 + maxTextSize(name.size()) + maxTextSize(value.size());
    out.resize(room);
    unsigned char* const begin = reinterpret_cast<unsigned char*>(out.data());
    unsigned char* p = begin;
    *p++ = ItemListFormat;
    for (const auto& [name, value] : items) {
        unsigned char* const flags = p++;
        *flags = 0;
        unsigned char* end = putUtf8(p, units(name), name.size());
        if (!end) {
            *flags |= NameIsUtf16;
            end = putUtf16(p, units(name), name.size());
        }
        p = end;
        end = putUtf8(p, units(value), value.size());
        if (!end) {
            *flags |= ValueIsUtf16;
            end = putUtf16(p, units(value), value.size());
        }
        p = end;
    }
    out.resize(p - begin);
}

ItemList decodeItems(const void* data, qsizetype size)
{
    ItemList items;
    ItemListReader r(data, size);
    while (!r.atEnd()) {
        QString name, value;
        r.name(name);
        r.value(value);
        items.emplace_back(std::move(name), std::move(value));
    }
    return items;
}

ItemListReader::ItemListReader(const void* data, qsizetype size)
    : p_(static_cast<const unsigned char*>(data))
    , end_(p_ + size)
{
    if (size < 1)
        bad();
    if (*p_++ != ItemListFormat)
        throw NotesError("item list of an unknown format in the address book", Cause::FormatNotRead);
}

void ItemListReader::bad()
{
    throw NotesError("damaged item list in the address book", Cause::Damaged);
}

ItemListReader::Text ItemListReader::text()
{
    quint64 len = 0;
    for (int shift = 0;; shift += 7) {
        if (p_ == end_ || shift > 56)
            bad();
        const unsigned char b = *p_++;
        len |= quint64(b & 0x7F) << shift;
        if (!(b & 0x80))
            break;
    }
    if (len > quint64(end_ - p_))
        bad();
    const Text t{p_, qsizetype(len)};
    p_ += len;
    return t;
}

void ItemListReader::name(QString& out)
{
    if (p_ == end_)
        bad();
    flags_ = *p_++;
    const Text t = text();
    // Notes of one form hold the same names in the same order: a name equal
    // to the one the string holds is left as it is, unwritten, so that a
    // thread reading it keeps it in its cache.
    if (!(flags_ & NameIsUtf16) && out.size() == t.size) {
        const char16_t* held = reinterpret_cast<const char16_t*>(out.constData());
        qsizetype i = 0;
        while (i < t.size && t.bytes[i] < 0x80 && held[i] == t.bytes[i])
            ++i;
        if (i == t.size)
            return;
    }
    assign(out, t, flags_ & NameIsUtf16);
}

void ItemListReader::value(QString& out)
{
    assign(out, text(), flags_ & ValueIsUtf16);
}

void ItemListReader::skipValue()
{
    text();
}

namespace {

// How many bytes from the start are plain ASCII, eight at a time.
qsizetype asciiPrefix(const unsigned char* p, qsizetype n)
{
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 word;
        std::memcpy(&word, p + i, 8);
        if (word & 0x8080808080808080ull)
            break;
    }
    while (i < n && p[i] < 0x80)
        ++i;
    return i;
}

}  // namespace

void ItemListReader::assign(QString& out, Text t, bool utf16)
{
    const unsigned char* p = t.bytes;
    const qsizetype n = t.size;
    if (utf16) {
        if (n % 2)
            bad();
        out.resize(n / 2);
        char16_t* q = reinterpret_cast<char16_t*>(out.data());
        for (qsizetype i = 0; i < n / 2; ++i)
            q[i] = char16_t(p[2 * i] | (p[2 * i + 1] << 8));
        return;
    }
    const qsizetype ascii = asciiPrefix(p, n);
    // Decoded into the string's own room where it has enough (reading note
    // after note into the same strings allocates nothing): plain ASCII
    // widened, eight bytes at a time, the rest from the first other byte by
    // the UTF-8 decoder. A text of n bytes takes at most n units.
    const qsizetype room = ascii == n ? n : n + 1;
    if (out.size() != room)
        out.resize(room);
    char16_t* q = reinterpret_cast<char16_t*>(out.data());
    qsizetype i = 0;
    for (; i + 8 <= ascii; i += 8) {
        for (int k = 0; k < 8; ++k)
            q[i + k] = p[i + k];
    }
    for (; i < ascii; ++i)
        q[i] = p[i];
    if (ascii == n)
        return;
    QChar* end = utf8_.appendToBuffer(out.data() + i, QByteArrayView(p + i, n - i));
    out.truncate(end - out.constData());
}

}  // namespace notes::store
