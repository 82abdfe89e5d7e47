#include "export/VCardWriter.h"
#include "export/BookValues.h"
#include "export/PersonFields.h"
#include "common/text/Utf8.h"
#include "common/vector/VectorPaths.h"

#include <QCryptographicHash>
#include <QHash>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace exporting {

namespace {

using Uid = std::array<uchar, 16>;

// ---------------------------------------------------------------- UIDs

// A name-based UUID (RFC 4122 version 5, in the URL name space) of the
// UTF-8 text `prefix` + `name`.
Uid nameUuid(QByteArrayView prefix, QByteArrayView name)
{
    static const QByteArray urlNamespace = QByteArray::fromHex("6ba7b8119dad11d180b400c04fd430c8");
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    sha1.addData(urlNamespace);
    sha1.addData(prefix);
    sha1.addData(name);
    const QByteArrayView hash = sha1.resultView();
    Uid uid;
    std::memcpy(uid.data(), hash.data(), uid.size());
    uid[6] = uchar((uid[6] & 0x0F) | 0x50);
    uid[8] = uchar((uid[8] & 0x3F) | 0x80);
    return uid;
}

int hexValue(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

Uid cardUidBytes(const QString& unid)
{
    Uid uid;
    if (unid.size() == 32) {
        bool isHex = true;
        for (int i = 0; i < 16 && isHex; ++i) {
            const int hi = hexValue(unid[2 * i].unicode()), lo = hexValue(unid[2 * i + 1].unicode());
            isHex = hi >= 0 && lo >= 0;
            uid[std::size_t(i)] = uchar(hi << 4 | lo);
        }
        if (isHex)
            return uid;
    }
    // Not one of our ids: a name-based UUID of it.
    return nameUuid("urn:pellaro:unid:", unid.toUtf8());
}

// 8-4-4-4-12 lower-case hex digits at `p`; returns the end (36 bytes on).
char* putUid(char* p, const Uid& uid)
{
    static const char digits[] = "0123456789abcdef";
    for (std::size_t i = 0; i < uid.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            *p++ = '-';
        *p++ = digits[uid[i] >> 4];
        *p++ = digits[uid[i] & 0xF];
    }
    return p;
}

// ---------------------------------------------------------------- writing

const char ProdId[] = "PRODID:-//Pellaro//Pellaro address book export//EN";

// Length of the UTF-8 sequence that starts at p[i], within n bytes.
qsizetype sequenceLength(const char* p, qsizetype i, qsizetype n)
{
    const auto b = static_cast<unsigned char>(p[i]);
    qsizetype len = 1;
    if ((b & 0xE0) == 0xC0)
        len = 2;
    else if ((b & 0xF0) == 0xE0)
        len = 3;
    else if ((b & 0xF8) == 0xF0)
        len = 4;
    return std::min(len, n - i);
}

// What may not be split by a fold: one character, or a backslash together
// with the character it escapes.
qsizetype unitLength(const char* p, qsizetype i, qsizetype n)
{
    if (p[i] == '\\' && i + 1 < n)
        return 1 + sequenceLength(p, i + 1, n);
    return sequenceLength(p, i, n);
}

// What a text value makes of each ASCII character.
enum AsciiKind : uchar { Plain, Escaped, CarriageReturn, LineFeed, Replaced };
constexpr std::array<AsciiKind, 128> AsciiKinds = [] {
    std::array<AsciiKind, 128> kinds{};
    for (int c = 0; c < 128; ++c)
        kinds[std::size_t(c)] = c < 0x20 || c == 0x7F ? Replaced : Plain;
    kinds['\t'] = Plain;
    kinds['\\'] = kinds[','] = kinds[';'] = Escaped;
    kinds['\r'] = CarriageReturn;
    kinds['\n'] = LineFeed;
    return kinds;
}();

// One card, written straight into the output: each content line escaped
// and folded as it goes, so that no physical line is longer than 75 octets
// (continuation lines start with one blank), never inside a UTF-8 sequence
// or an escape pair, each ended by CRLF.
class Card {
public:
    Card(QByteArray& out, qint64& replaced)
        : out_(out)
        , replaced_(replaced)
    {
        const qsizetype at = out_.size();
        out_.resize(std::max(out_.capacity(), at + 1024));
        p_ = out_.data() + at;
        end_ = out_.data() + out_.size();
        static const char start[] = "BEGIN:VCARD\r\nVERSION:3.0\r\n";
        put(start, sizeof start - 1);
        put(ProdId, sizeof ProdId - 1);
        put("\r\n", 2);
    }
    ~Card() { out_.resize(p_ - out_.data()); }
    Card(const Card&) = delete;
    Card& operator=(const Card&) = delete;

    // Starts a content line: NAME;PARAMS: (`nameAndParams` without colon).
    void start(const char* nameAndParams)
    {
        raw(nameAndParams, qsizetype(std::strlen(nameAndParams)));
        raw(":", 1);
    }
    void endLine()
    {
        need(2);
        *p_++ = '\r';
        *p_++ = '\n';
        column_ = 0;
    }

    // Bytes as they are (a URI, a date: already valid in a value).
    void raw(const char* s, qsizetype n)
    {
        need(2 * n + 8);
        // The most common case first: all of it fits on the line, and no
        // unit is split by a fold anyway.
        if (column_ + n <= 75) {
            std::memcpy(p_, s, std::size_t(n));
            p_ += n;
            column_ += int(n);
            return;
        }
        for (qsizetype i = 0; i < n;) {
            const qsizetype len = unitLength(s, i, n);
            fold(len);
            std::memcpy(p_, s + i, std::size_t(len));
            p_ += len;
            i += len;
        }
    }
    void uid(const Uid& uid)
    {
        char hex[36];
        putUid(hex, uid);
        raw(hex, sizeof hex);
    }

    // A text value with backslash, comma, semicolon and line breaks (CRLF,
    // CR or LF) escaped, as UTF-8. Characters a vCard cannot carry become
    // U+FFFD and are counted.
    void text(QStringView value)
    {
        const qsizetype n = value.size();
        // No unit takes more than three bytes (an escape two, U+FFFD three,
        // a surrogate pair four for two), a fold three per line.
        need(4 * n + 8);
        const char16_t* in = value.utf16();
        char* p = p_;
        int column = column_;
        auto fold = [&](int len) {
            if (column + len > 75) {
                p[0] = '\r';
                p[1] = '\n';
                p[2] = ' ';
                p += 3;
                column = 1;
            }
            column += len;
        };
        auto replace = [&] {
            fold(3);
            p = std::copy_n(Utf8Replacement, 3, p);
            ++replaced_;
        };
        for (qsizetype i = 0; i < n; ++i) {
#ifdef __SSE2__
            // Eight characters at a time while they are plain ASCII and fit
            // on the line ("ascii" in PELLARO_PORTABLE turns it off).
            static const bool vector = VectorPathOn("ascii");
            while (vector && i + 8 <= n && column + 8 <= 75) {
                const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
                // 0x20..0x7E: what is left above 0x5E once 0x20 is taken off.
                const __m128i outside
                    = _mm_subs_epu16(_mm_sub_epi16(units, _mm_set1_epi16(0x20)), _mm_set1_epi16(0x5E));
                const __m128i escaped = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16('\\')),
                                                                  _mm_cmpeq_epi16(units, _mm_set1_epi16(','))),
                                                     _mm_cmpeq_epi16(units, _mm_set1_epi16(';')));
                if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_or_si128(outside, escaped), _mm_setzero_si128())) != 0xFFFF)
                    break;
                _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_packus_epi16(units, units));
                p += 8;
                column += 8;
                i += 8;
            }
            if (i == n)
                break;
#endif
            const char16_t u = in[i];
            if (u < 0x80) {
                switch (AsciiKinds[u]) {
                case Plain:
                    if (column >= 75) {
                        std::memcpy(p, "\r\n ", 3);
                        p += 3;
                        column = 1;
                    }
                    ++column;
                    *p++ = char(u);
                    continue;
                case Escaped:
                    fold(2);
                    *p++ = '\\';
                    *p++ = char(u);
                    continue;
                case CarriageReturn:
                    if (i + 1 < n && in[i + 1] == u'\n')
                        ++i;
                    [[fallthrough]];
                case LineFeed:
                    fold(2);
                    *p++ = '\\';
                    *p++ = 'n';
                    continue;
                default:
                    replace();
                    continue;
                }
            } else if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(in[i + 1])) {
                fold(4);
                p = putUtf8CodePoint(p, QChar::surrogateToUcs4(u, in[i + 1]));
                ++i;
            } else if (QChar::isSurrogate(u)) {
                replace();
            } else {
                fold(u < 0x800 ? 2 : 3);
                p = putUtf8CodePoint(p, u);
            }
        }
        p_ = p;
        column_ = column;
    }

    // NAME:text, unless the text is empty.
    void textLine(const char* nameAndParams, QStringView value)
    {
        if (value.isEmpty())
            return;
        start(nameAndParams);
        text(value);
        endLine();
    }
    // NAME:a;b;c..., unless every part is empty.
    void structured(const char* nameAndParams, std::initializer_list<QStringView> parts, bool evenIfEmpty = false)
    {
        bool any = evenIfEmpty;
        for (const QStringView part : parts)
            any = any || !part.isEmpty();
        if (!any)
            return;
        start(nameAndParams);
        bool first = true;
        for (const QStringView part : parts) {
            if (!first)
                raw(";", 1);
            first = false;
            text(part);
        }
        endLine();
    }
    // An item that has no property of its own: its name and value.
    void extra(QStringView name, QStringView value)
    {
        if (value.isEmpty())
            return;
        start("X-PELLARO-ITEM");
        text(name);
        raw(";", 1);
        text(value);
        endLine();
    }

    void finish()
    {
        put("END:VCARD\r\n", 11);
    }

private:
    void need(qsizetype n)
    {
        if (end_ - p_ < n)
            grow(n);
    }
    void grow(qsizetype n)
    {
        const qsizetype at = p_ - out_.data();
        out_.resize(at);
        out_.reserve(std::max(2 * out_.capacity(), at + n + 4096));
        out_.resize(out_.capacity());
        p_ = out_.data() + at;
        end_ = out_.data() + out_.size();
    }
    void fold(qsizetype len)
    {
        if (column_ + len > 75) {
            std::memcpy(p_, "\r\n ", 3);
            p_ += 3;
            column_ = 1;
        }
        column_ += int(len);
    }
    void put(const char* s, qsizetype n)
    {
        need(n);
        std::memcpy(p_, s, std::size_t(n));
        p_ += n;
    }

    QByteArray& out_;
    qint64& replaced_;
    char* p_;
    char* end_;
    int column_ = 0;
};

// "yyyy-MM-dd", and "THH:mm:ss" after it when `withTime`, written to `card`.
void dateValue(Card& card, const BookDate& dt, bool withTime)
{
    int year = 0, month = 0, day = 0;
    dt.date.getDate(&year, &month, &day);
    if (year < 1 || year > 9999) {
        QByteArray value = dt.date.toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
        if (withTime)
            value += 'T' + dt.time.toString(QStringLiteral("HH:mm:ss")).toLatin1();
        card.raw(value.constData(), value.size());
        return;
    }
    char buf[19];
    auto two = [&](char* p, int v) {
        p[0] = char('0' + v / 10);
        p[1] = char('0' + v % 10);
    };
    two(buf, year / 100);
    two(buf + 2, year % 100);
    buf[4] = '-';
    two(buf + 5, month);
    buf[7] = '-';
    two(buf + 8, day);
    buf[10] = 'T';
    two(buf + 11, dt.time.hour());
    buf[13] = ':';
    two(buf + 14, dt.time.minute());
    buf[16] = ':';
    two(buf + 17, dt.time.second());
    card.raw(buf, withTime ? 19 : 10);
}

// The value of URL for a web site, written to `card`; false, and nothing
// written, when the text is no URI. A "www." address gets "http://"; ";",
// ",", blanks and backslashes, which parsers take as separators, are
// percent-encoded.
bool urlLine(Card& card, QStringView s, QByteArray& scratch)
{
    if (s.isEmpty() || s.front().isSpace() || s.back().isSpace())
        return false;
    for (const QChar c : s) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.isSurrogate())
            return false;
    }
    // A scheme: a letter, then letters, digits, "+", "-" or ".", then ":"
    // and something.
    qsizetype colon = 0;
    while (colon < s.size()
           && ((s[colon].isLetter() && s[colon].unicode() < 0x80)
               || (colon > 0 && (s[colon].isDigit() || s[colon] == u'+' || s[colon] == u'-' || s[colon] == u'.'))))
        ++colon;
    const bool www = !(colon > 0 && colon + 1 < s.size() && s[colon] == u':');
    if (www && (!s.startsWith(QLatin1String("www."), Qt::CaseInsensitive) || s.size() <= 4))
        return false;
    // No character takes more than three bytes.
    scratch.resize(7 + 3 * s.size());
    char* p = scratch.data();
    if (www)
        p = std::copy_n("http://", 7, p);
    for (const QChar c : s) {
        const char* code = nullptr;
        switch (c.unicode()) {
        case u';':
            code = "%3B";
            break;
        case u',':
            code = "%2C";
            break;
        case u' ':
            code = "%20";
            break;
        case u'\\':
            code = "%5C";
            break;
        default:
            p = putUtf8CodePoint(p, c.unicode());
            continue;
        }
        p = std::copy_n(code, 3, p);
    }
    card.start("URL");
    card.raw(scratch.constData(), p - scratch.constData());
    card.endLine();
    return true;
}

// Whether `text` is `word`, without regard to case; the case as written is
// tried first.
bool sameWord(QStringView text, QLatin1String word)
{
    return text.size() == word.size() && (text == word || text.compare(word, Qt::CaseInsensitive) == 0);
}

// QStringView::trimmed, with the common case of nothing to trim first.
QStringView trimmed(QStringView s)
{
    if (s.isEmpty() || (s.front().unicode() - 0x21u < 0x5Eu && s.back().unicode() - 0x21u < 0x5Eu))
        return s;
    return s.trimmed();
}

bool isForm(const notes::StoredDocument& doc, QLatin1String form)
{
    return !doc.isDesign && sameWord(doc.form, form);
}

// The parts of a value the book joined with ", " (as splitJoinedList).
void splitJoined(QStringView value, std::vector<QStringView>& parts)
{
    parts.clear();
    const qsizetype n = value.size();
    qsizetype from = 0;
    for (qsizetype i = 0; i + 1 < n; ++i) {
        if (value[i] == u',' && value[i + 1] == u' ') {
            parts.push_back(value.mid(from, i - from));
            from = i + 2;
            ++i;
        }
    }
    parts.push_back(value.mid(from));
}

// ---------------------------------------------------------------- items

// The items of a Person document by slot: "Form", the items of PersonItems
// in their order, "Type".
constexpr int PersonSlotCount = int(PersonItems.size()) + 2;
constexpr int Type = PersonSlotCount - 1;

// The slot of the Person item `name`; a name the table lacks does not compile.
constexpr int personSlot(std::u16string_view name)
{
    for (std::size_t i = 0; i < PersonItems.size(); ++i) {
        if (PersonItems[i].name == name)
            return int(i) + 1;
    }
    throw "not an item of a Person document";
}

constexpr int FirstName = personSlot(u"FirstName");
constexpr int MiddleName = personSlot(u"MiddleName");
constexpr int LastName = personSlot(u"LastName");
constexpr int Suffix = personSlot(u"Suffix");
constexpr int Title = personSlot(u"Title");
constexpr int MailAddress = personSlot(u"MailAddress");
constexpr int CompanyName = personSlot(u"CompanyName");
constexpr int JobTitle = personSlot(u"JobTitle");
constexpr int OfficeStreetAddress = personSlot(u"OfficeStreetAddress");
constexpr int OfficeCity = personSlot(u"OfficeCity");
constexpr int OfficeZIP = personSlot(u"OfficeZIP");
constexpr int OfficeState = personSlot(u"OfficeState");
constexpr int OfficeCountry = personSlot(u"OfficeCountry");
constexpr int Location = personSlot(u"Location");
constexpr int WebSite = personSlot(u"WebSite");
constexpr int Department = personSlot(u"Department");
constexpr int Manager = personSlot(u"Manager");
constexpr int Assistant = personSlot(u"Assistant");
constexpr int OfficePhoneNumber = personSlot(u"OfficePhoneNumber");
constexpr int OfficeFAXPhoneNumber = personSlot(u"OfficeFAXPhoneNumber");
constexpr int CellPhoneNumber = personSlot(u"CellPhoneNumber");
constexpr int PhoneNumber_6 = personSlot(u"PhoneNumber_6");
constexpr int MiscPhone1 = personSlot(u"MiscPhone1");
constexpr int MiscPhone2 = personSlot(u"MiscPhone2");
constexpr int MiscPhone3 = personSlot(u"MiscPhone3");
constexpr int StreetAddress = personSlot(u"StreetAddress");
constexpr int City = personSlot(u"City");
constexpr int Zip = personSlot(u"Zip");
constexpr int State = personSlot(u"State");
constexpr int Country = personSlot(u"Country");
constexpr int Spouse = personSlot(u"Spouse");
constexpr int Children = personSlot(u"Children");
constexpr int PhoneNumber = personSlot(u"PhoneNumber");
constexpr int HomeFAXPhoneNumber = personSlot(u"HomeFAXPhoneNumber");
constexpr int Birthday = personSlot(u"Birthday");
constexpr int Anniversary = personSlot(u"Anniversary");
constexpr int Comment = personSlot(u"Comment");
constexpr int Categories = personSlot(u"Categories");

QStringList personSlotNames()
{
    QStringList list{QStringLiteral("Form")};
    for (const PersonItem& item : PersonItems)
        list.append(PersonItemName(item));
    list.append(QStringLiteral("Type"));
    return list;
}

enum GroupSlot { GroupForm, ListName, ListDescription, Members, GroupType, GroupSlotCount };
QStringList groupSlotNames()
{
    return {QStringLiteral("Form"), QStringLiteral("ListName"), QStringLiteral("ListDescription"),
            QStringLiteral("Members"), QStringLiteral("Type")};
}

const QString NoValue;

// The items of one document sorted into the known slots of a form; the rest
// (unknown names, and a second item of a known name) kept in order as
// extras. Item names compare without regard to case, as in Notes.
class SortedItems {
public:
    explicit SortedItems(QStringList names)
        : names_(std::move(names))
        , bySlot_(std::size_t(names_.size()), nullptr)
    {
        for (int i = 0; i < names_.size(); ++i) {
            exact_.insert(names_[i], i);
            folded_.insert(names_[i].toCaseFolded(), i);
        }
    }

    void sort(const notes::StoredDocument& doc)
    {
        std::fill(bySlot_.begin(), bySlot_.end(), nullptr);
        extras_.clear();
        for (std::size_t i = 0; i < doc.items.size(); ++i) {
            const notes::StoredItem& item = doc.items[i];
            const int slot = slotOf(i, item.name);
            if (slot >= 0 && !bySlot_[std::size_t(slot)])
                bySlot_[std::size_t(slot)] = &item.value;
            else
                extras_.push_back(&item);
        }
    }
    const QString& operator[](int slot) const
    {
        const QString* v = bySlot_[std::size_t(slot)];
        return v ? *v : NoValue;
    }
    const std::vector<const notes::StoredItem*>& extras() const { return extras_; }
    const QString& name(int slot) const { return names_[slot]; }

private:
    // The documents of a form mostly hold the same items in the same order:
    // the name at the same position in the previous document is tried first.
    int slotOf(std::size_t position, const QString& name)
    {
        if (position < lastNames_.size()) {
            const QString& last = lastNames_[position].first;
            if (last.size() == name.size()
                && std::memcmp(last.constData(), name.constData(), std::size_t(name.size()) * 2) == 0)
                return lastNames_[position].second;
        }
        int slot = exact_.value(name, -1);
        if (slot < 0)
            slot = folded_.value(name.toCaseFolded(), -1);
        if (position >= lastNames_.size())
            lastNames_.resize(position + 1);
        // A copy of its own: the reader reuses the storage of its names.
        lastNames_[position] = {QString(name.constData(), name.size()), slot};
        return slot;
    }

    QStringList names_;
    QHash<QString, int> exact_;
    QHash<QString, int> folded_;
    std::vector<std::pair<QString, int>> lastNames_;
    std::vector<const QString*> bySlot_;
    std::vector<const notes::StoredItem*> extras_;
};

// ---------------------------------------------------------------- members

// What a member is known by in the writer: its key (Member::key()) as
// ASCII, or, when not all of it is ASCII, 0xFF and its UTF-16 units. The
// case is folded a code point at a time, as QString::toCaseFolded does,
// without a copy of the text.
void keyBytes(QStringView keyText, QByteArray& key, std::u16string& units)
{
    const qsizetype n = keyText.size();
    const char16_t* s = keyText.utf16();
    key.resize(n);
    char* k = key.data();
    qsizetype i = 0;
    for (; i < n && s[i] < 0x80; ++i)
        k[i] = char(s[i] >= u'A' && s[i] <= u'Z' ? s[i] + 32 : s[i]);
    if (i == n)
        return;
    // Not all ASCII: UTF-16 units, unless the folded text is ASCII after all.
    units.clear();
    bool ascii = true;
    for (qsizetype j = 0; j < n; ++j) {
        char32_t c = s[j];
        if (QChar::isHighSurrogate(s[j]) && j + 1 < n && QChar::isLowSurrogate(s[j + 1])) {
            c = QChar::surrogateToUcs4(s[j], s[j + 1]);
            ++j;
        }
        if (c < 0x80)
            c = c >= u'A' && c <= u'Z' ? c + 32 : c;
        else
            c = QChar::toCaseFolded(c);
        if (QChar::requiresSurrogates(c)) {
            units += QChar::highSurrogate(c);
            units += QChar::lowSurrogate(c);
            ascii = false;
        } else {
            units += char16_t(c);
            ascii = ascii && c < 0x80;
        }
    }
    if (ascii) {
        key.resize(qsizetype(units.size()));
        std::copy(units.begin(), units.end(), key.begin());
        return;
    }
    key.resize(1 + 2 * qsizetype(units.size()));
    key[0] = char(0xFF);
    std::memcpy(key.data() + 1, units.data(), 2 * units.size());
}

// The UTF-8 form of keyBytes' form.
QByteArray keyUtf8(QByteArrayView key)
{
    if (key.isEmpty() || key[0] != char(0xFF))
        return key.toByteArray();
    // The units may not be aligned as char16_t: copied out first.
    std::u16string units(std::size_t(key.size() - 1) / 2, u'\0');
    std::memcpy(units.data(), key.data() + 1, 2 * units.size());
    return QStringView(units).toUtf8();
}

// The members' keys are kept in blocks of this size (or one of its own, for
// a longer key).
constexpr qsizetype KeyBlock = 64 * 1024;

enum MemberFlag : quint32 {
    Claimed = 1,  // uid is a contact's card
    UidKnown = 2,  // uid is the member's own card
    Named = 4,  // a list names it (not by its address alone)
    Written = 8,  // its own card is written
    Pending = 16,  // its address is kept until the list that names it
};

}  // namespace

namespace vcard {

QString cardUid(const QString& unid)
{
    char hex[36];
    putUid(hex, cardUidBytes(unid));
    return QString::fromLatin1(hex, sizeof hex);
}

}  // namespace vcard

struct VCardWriter::Slots {
    SortedItems person{personSlotNames()};
    SortedItems group{groupSlotNames()};
    QByteArray scratch;
};

VCardWriter::VCardWriter(QLocale locale)
    : dates_(std::move(locale))
    , slots_(std::make_unique<Slots>())
{
}

VCardWriter::~VCardWriter() = default;

namespace {

// The two bits of a key's hash in a filter of `bits` bits (a power of two).
std::pair<std::size_t, std::size_t> filterBits(std::size_t hash, std::size_t bits)
{
    return {(hash >> 32) & (bits - 1), std::size_t((quint64(hash) * 0x9E3779B97F4A7C15ull) >> 40) & (bits - 1)};
}

}  // namespace

quint32 VCardWriter::findMember(bool add)
{
    if (table_.empty()) {
        if (!add)
            return None;
        table_.assign(1024, 0);
        filter_.assign(table_.size() / 8, 0);
    }
    const std::size_t hash = qHashBits(key_.constData(), std::size_t(key_.size()), 0);
    // Most keys a contact is looked up by are no member's: a filter of
    // two bits per key, far smaller than the table, tells most of them
    // without a look at the table.
    const auto [bit1, bit2] = filterBits(hash, filter_.size() * 64);
    const bool maybe = (filter_[bit1 / 64] >> (bit1 % 64) & 1) && (filter_[bit2 / 64] >> (bit2 % 64) & 1);
    if (!maybe && !add)
        return None;
    // A slot holds the upper half of the key's hash and the member's index
    // + 1: a key is compared only where the hashes agree.
    const auto tag = quint64(quint32(hash >> 32)) << 32;
    std::size_t mask = table_.size() - 1;
    std::size_t at = hash & mask;
    for (;; at = (at + 1) & mask) {
        const quint64 slot = table_[at];
        if (slot == 0)
            break;
        if (!maybe || (slot & 0xFFFFFFFF00000000) != tag)
            continue;
        const MemberEntry& m = members_[quint32(slot) - 1];
        if (m.keyLength == quint32(key_.size()) && std::memcmp(m.key, key_.constData(), std::size_t(key_.size())) == 0)
            return quint32(slot) - 1;
    }
    if (!add)
        return None;
    const auto index = quint32(members_.size());
    MemberEntry entry;
    entry.key = storeKey();
    entry.keyLength = quint32(key_.size());
    members_.push_back(entry);
    table_[at] = tag | (index + 1);
    filter_[bit1 / 64] |= quint64(1) << (bit1 % 64);
    filter_[bit2 / 64] |= quint64(1) << (bit2 % 64);
    // At most three quarters full; the filter eight bits a slot.
    if (4 * members_.size() > 3 * table_.size()) {
        std::vector<quint64> bigger(2 * table_.size(), 0);
        filter_.assign(bigger.size() / 8, 0);
        mask = bigger.size() - 1;
        for (const quint64 slot : table_) {
            if (slot == 0)
                continue;
            const MemberEntry& m = members_[quint32(slot) - 1];
            const std::size_t h = qHashBits(m.key, m.keyLength, 0);
            std::size_t i = h & mask;
            while (bigger[i] != 0)
                i = (i + 1) & mask;
            bigger[i] = slot;
            const auto [b1, b2] = filterBits(h, filter_.size() * 64);
            filter_[b1 / 64] |= quint64(1) << (b1 % 64);
            filter_[b2 / 64] |= quint64(1) << (b2 % 64);
        }
        table_.swap(bigger);
    }
    return index;
}

const char* VCardWriter::storeKey()
{
    const qsizetype n = key_.size();
    if (n > keyRoom_) {
        keyRoom_ = std::max(KeyBlock, n);
        keyBlocks_.emplace_back(new char[std::size_t(keyRoom_)]);
        keyFree_ = keyBlocks_.back().get();
    }
    char* key = keyFree_;
    std::memcpy(key, key_.constData(), std::size_t(n));
    keyFree_ += n;
    keyRoom_ -= n;
    return key;
}

const std::array<uchar, 16>& VCardWriter::memberUid(quint32 member)
{
    MemberEntry& m = members_[member];
    if (!(m.flags & (Claimed | UidKnown))) {
        m.uid = nameUuid("urn:pellaro:member:", keyUtf8(QByteArrayView(m.key, m.keyLength)));
        m.flags |= UidKnown;
    }
    return m.uid;
}

void VCardWriter::noteList(const notes::StoredDocument& doc)
{
    if (!isForm(doc, QLatin1String("Group")))
        return;
    SortedItems& items = slots_->group;
    items.sort(doc);
    const quint32 ordinal = listsNoted_++;
    const QString& name = items[ListName];
    quint32 nameId = None;
    bool nameIsNew = false;
    if (!name.isEmpty()) {
        const auto it = listNameIds_.constFind(name);
        if (it != listNameIds_.constEnd()) {
            nameId = *it;
        } else {
            nameId = quint32(listNames_.size());
            nameIsNew = true;
            // A copy of its own: the reader reuses the storage of its values.
            listNames_.push_back(QString(name.constData(), name.size()));
            listNameIds_.insert(listNames_.back(), nameId);
        }
    }
    if (!splitMembers(QStringView(items[Members]), parts_))
        return;
    for (const QStringView text : parts_) {
        MemberParts m;
        const quint32 index = listMember(text, m);
        if (index == None)
            continue;
        MemberEntry& entry = members_[index];
        if (!m.name.trimmed().isEmpty())
            entry.flags |= Named;
        // A member once, however often the list names it.
        if (entry.seenInList == ordinal)
            continue;
        entry.seenInList = ordinal;
        if (nameId == None)
            continue;
        if (!nameIsNew) {
            // Another list of the same name may have had it already.
            bool known = false;
            for (quint32 i = entry.firstName; i != None && !known; i = memberships_[i].next)
                known = memberships_[i].name == nameId;
            if (known)
                continue;
        }
        const auto at = quint32(memberships_.size());
        memberships_.push_back({nameId, None});
        if (entry.lastName == None)
            entry.firstName = at;
        else
            memberships_[entry.lastName].next = at;
        entry.lastName = at;
    }
}

bool VCardWriter::writeDocument(QByteArray& out, const notes::StoredDocument& doc)
{
    if (isForm(doc, QLatin1String("Person"))) {
        writePerson(out, doc);
        return true;
    }
    // Its card is written by writeList, once every contact is known.
    return isForm(doc, QLatin1String("Group"));
}

quint32 VCardWriter::listMember(QStringView text, MemberParts& m)
{
    m = parseMemberParts(text);
    const QStringView keyText = m.keyText();
    if (keyText.isEmpty())
        return None;
    keyBytes(keyText, key_, units_);
    return findMember(true);
}

void VCardWriter::claim(QStringView keyText, const std::array<uchar, 16>& uid)
{
    keyBytes(keyText, key_, units_);
    const quint32 index = findMember(false);
    if (index == None)
        return;
    MemberEntry& member = members_[index];
    if (member.flags & Claimed)
        return;
    member.flags |= Claimed;
    member.uid = uid;
    for (quint32 i = member.firstName; i != None; i = memberships_[i].next)
        cardLists_.push_back(memberships_[i].name);
}

void VCardWriter::writePerson(QByteArray& out, const notes::StoredDocument& doc)
{
    SortedItems& v = slots_->person;
    v.sort(doc);
    Card card(out, replaced_);
    const Uid uid = cardUidBytes(doc.unid);

    // The name a card is shown by: the name, else the company, else an
    // e-mail address, else a telephone number.
    QString& fn = text_;
    fn.resize(0);
    for (int slot : {Title, FirstName, MiddleName, LastName, Suffix}) {
        const QStringView part = trimmed(v[slot]);
        if (part.isEmpty())
            continue;
        if (!fn.isEmpty())
            fn.append(u' ');
        fn.append(part);
    }
    if (fn.isEmpty()) {
        for (int slot : {CompanyName, MailAddress, MiscPhone1, MiscPhone2, MiscPhone3, OfficePhoneNumber,
                         CellPhoneNumber, PhoneNumber, PhoneNumber_6, OfficeFAXPhoneNumber, HomeFAXPhoneNumber}) {
            const QStringView value = trimmed(v[slot]);
            if (!value.isEmpty()) {
                fn.append(value);
                break;
            }
        }
    }
    if (fn.isEmpty())
        fn.append(QLatin1String("(no name)"));

    card.start("UID");
    card.uid(uid);
    card.endLine();
    card.structured("N", {v[LastName], v[FirstName], v[MiddleName], v[Title], v[Suffix]}, true);
    card.start("FN");
    card.text(fn);
    card.endLine();
    // No empty unit after the name: parsers drop it.
    if (v[Department].isEmpty())
        card.textLine("ORG", v[CompanyName]);
    else
        card.structured("ORG", {v[CompanyName], v[Department]});
    card.textLine("TITLE", v[JobTitle]);

    // The lists this contact is a member of: by one of its addresses, or by
    // its name for a member the list holds by name only. A member is the
    // first contact found for it.
    cardLists_.clear();
    const bool anyMembers = !members_.empty();
    if (anyMembers)
        claim(fn, uid);

    // E-mail: the first address, then the other addresses not given yet.
    QStringView addresses[4];
    int given = 0;
    for (int slot : {MailAddress, MiscPhone1, MiscPhone2, MiscPhone3}) {
        const QString& address = v[slot];
        const QStringView bare = trimmed(address);
        if (bare.isEmpty()) {
            if (!address.isEmpty())
                card.extra(v.name(slot), address);
            continue;
        }
        if (std::find(addresses, addresses + given, bare) != addresses + given)
            continue;
        addresses[given++] = bare;
        if (anyMembers)
            claim(bare, uid);
        card.textLine(slot == MailAddress ? "EMAIL;TYPE=internet,pref" : "EMAIL;TYPE=internet", address);
    }

    card.textLine("TEL;TYPE=work,voice", v[OfficePhoneNumber]);
    card.textLine("TEL;TYPE=work,fax", v[OfficeFAXPhoneNumber]);
    card.textLine("TEL;TYPE=cell,voice", v[CellPhoneNumber]);
    card.textLine("TEL;TYPE=pager", v[PhoneNumber_6]);
    card.textLine("TEL;TYPE=home,voice", v[PhoneNumber]);
    card.textLine("TEL;TYPE=home,fax", v[HomeFAXPhoneNumber]);

    // Post office box and extended address are not kept apart in the book.
    card.structured("ADR;TYPE=work",
                    {QStringView(), QStringView(), v[OfficeStreetAddress], v[OfficeCity], v[OfficeState], v[OfficeZIP],
                     v[OfficeCountry]});
    card.structured("ADR;TYPE=home",
                    {QStringView(), QStringView(), v[StreetAddress], v[City], v[State], v[Zip], v[Country]});

    if (!urlLine(card, v[WebSite], slots_->scratch))
        card.extra(u"WebSite", v[WebSite]);

    // Dates that do not read back as dates go into the note.
    struct DateItem {
        int slot;
        const char* property;
        const char* propertyWithTime;
    };
    int undated[2];
    int undatedCount = 0;
    for (const DateItem& d : {DateItem{Birthday, "BDAY", "BDAY;VALUE=date-time"},
                              DateItem{Anniversary, "X-MS-ANNIVERSARY", "X-MS-ANNIVERSARY;VALUE=date-time"}}) {
        const QString& t = v[d.slot];
        if (t.isEmpty())
            continue;
        if (const auto when = dates_.read(t)) {
            const bool withTime = when->time != QTime(0, 0);
            card.start(withTime ? d.propertyWithTime : d.property);
            dateValue(card, *when, withTime);
            card.endLine();
        } else {
            undated[undatedCount++] = d.slot;
        }
    }
    if (undatedCount == 0) {
        card.textLine("NOTE", v[Comment]);
    } else {
        QString note = v[Comment];
        for (int i = 0; i < undatedCount; ++i) {
            if (!note.isEmpty())
                note += u'\n';
            note += v.name(undated[i]) + QStringLiteral(": ") + v[undated[i]];
        }
        card.textLine("NOTE", note);
    }

    // CATEGORIES: the categories (the book holds them as one text joined
    // with ", "), then the lists the contact is in; each once, in order.
    parts_.clear();
    if (!v[Categories].isEmpty())
        splitJoined(v[Categories], parts_);
    bool anyCategory = false;
    auto category = [&](QStringView part) {
        if (!anyCategory)
            card.start("CATEGORIES");
        else
            card.raw(",", 1);
        anyCategory = true;
        card.text(part);
    };
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        if (!parts_[i].isEmpty()
            && std::find(parts_.begin(), parts_.begin() + qsizetype(i), parts_[i]) == parts_.begin() + qsizetype(i))
            category(parts_[i]);
    }
    if (!cardLists_.empty()) {
        listUsed_.resize(listNames_.size());
        for (const quint32 id : cardLists_) {
            if (listUsed_[id])
                continue;
            listUsed_[id] = true;
            const QString& list = listNames_[id];
            if (std::find(parts_.begin(), parts_.end(), QStringView(list)) == parts_.end())
                category(list);
        }
        for (const quint32 id : cardLists_)
            listUsed_[id] = false;
    }
    if (anyCategory)
        card.endLine();

    card.textLine("X-MS-MANAGER", v[Manager]);
    card.textLine("X-MS-ASSISTANT", v[Assistant]);
    card.textLine("X-MS-SPOUSE", v[Spouse]);
    card.textLine("X-MS-CHILD", v[Children]);
    card.textLine("X-PELLARO-LOCATION", v[Location]);

    // Form is "Person" (this card); a Type of another value is kept.
    const QString& type = v[Type];
    if (!type.isEmpty() && !sameWord(type, QLatin1String("Person")))
        card.extra(u"Type", type);
    for (const notes::StoredItem* item : v.extras())
        card.extra(item->name, item->value);

    card.finish();
}

void VCardWriter::writeList(QByteArray& out, const notes::StoredDocument& doc)
{
    if (!isForm(doc, QLatin1String("Group")))
        return;
    SortedItems& items = slots_->group;
    items.sort(doc);
    // Ordinals of their own, after those of the first reading.
    const quint32 ordinal = listsNoted_ + listsWritten_++;

    occurrences_.clear();
    const bool listForm = splitMembers(QStringView(items[Members]), parts_);
    if (listForm) {
        for (const QStringView text : parts_) {
            MemberParts m;
            // Only a list that changed since the first reading adds one.
            const quint32 index = listMember(text, m);
            if (index == None)
                continue;
            MemberEntry& entry = members_[index];
            const bool first = entry.seenInList != ordinal;
            entry.seenInList = ordinal;
            occurrences_.push_back({index, m.name.trimmed(), m.address.trimmed(), first});
        }
    }

    {
        Card card(out, replaced_);
        const QString& name = items[ListName];
        card.start("UID");
        card.uid(cardUidBytes(doc.unid));
        card.endLine();
        card.start("X-ADDRESSBOOKSERVER-KIND");
        card.raw("group", 5);
        card.endLine();
        card.structured("N", {name, QStringView(), QStringView(), QStringView(), QStringView()}, true);
        card.start("FN");
        card.text(QStringView(name).trimmed().isEmpty() ? QStringView(u"(no name)") : QStringView(name));
        card.endLine();
        card.textLine("NOTE", items[ListDescription]);
        // In order, each once.
        for (const Occurrence& o : occurrences_) {
            if (!o.firstInList)
                continue;
            card.start("X-ADDRESSBOOKSERVER-MEMBER");
            card.raw("urn:uuid:", 9);
            card.uid(memberUid(o.member));
            card.endLine();
        }
        if (!listForm)
            card.textLine("X-PELLARO-MEMBERS", items[Members]);
        const QString& type = items[GroupType];
        if (!type.isEmpty() && !sameWord(type, QLatin1String("Group")))
            card.extra(u"Type", type);
        for (const notes::StoredItem* item : items.extras())
            card.extra(item->name, item->value);
        card.finish();
    }

    // A member that is no contact gets its card once, with its first name and
    // the address it was first given with: where the list that names it first
    // came after one that gave its address alone, the address waits for it.
    for (const Occurrence& o : occurrences_) {
        MemberEntry& entry = members_[o.member];
        if (entry.flags & (Claimed | Written))
            continue;
        if (!o.name.isEmpty()) {
            const auto pending = pendingAddress_.constFind(o.member);
            if (pending != pendingAddress_.constEnd()) {
                writeMember(out, o.member, o.name, *pending);
                pendingAddress_.erase(pending);
            } else {
                writeMember(out, o.member, o.name, o.address);
            }
        } else if (!(entry.flags & Named)) {
            writeMember(out, o.member, QStringView(), o.address);
        } else if (!(entry.flags & Pending)) {
            pendingAddress_.insert(o.member, o.address.toString());
            entry.flags |= Pending;
        }
    }
}

void VCardWriter::finish(QByteArray& out)
{
    for (auto it = pendingAddress_.cbegin(); it != pendingAddress_.cend(); ++it)
        writeMember(out, it.key(), QStringView(), it.value());
    pendingAddress_.clear();
}

void VCardWriter::writeMember(QByteArray& out, quint32 member, QStringView name, QStringView address)
{
    const Uid uid = memberUid(member);
    MemberEntry& entry = members_[member];
    entry.flags |= Written;
    Card card(out, replaced_);
    card.start("UID");
    card.uid(uid);
    card.endLine();
    // The name as one text: which of its words is the family name is not
    // known.
    card.structured("N", {QStringView(), name, QStringView(), QStringView(), QStringView()}, true);
    card.start("FN");
    card.text(name.isEmpty() ? address : name);
    card.endLine();
    if (isMailAddress(address))
        card.textLine("EMAIL;TYPE=internet,pref", address);
    else
        card.textLine("NOTE", address);
    bool any = false;
    for (quint32 i = entry.firstName; i != None; i = memberships_[i].next) {
        if (any)
            card.raw(",", 1);
        else
            card.start("CATEGORIES");
        any = true;
        card.text(listNames_[memberships_[i].name]);
    }
    if (any)
        card.endLine();
    card.finish();
}

}  // namespace exporting
