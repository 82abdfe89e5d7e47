#include "export/DxlWriter.h"
#include "export/BookValues.h"
#include "common/text/Utf8.h"

#include <QSet>
#include <QStringList>
#include <QTimeZone>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace exporting {

namespace {

// Notes keeps the summary values of a document (those views can show) in
// one buffer of limited size; values past this many bytes are written as
// non-summary items so that the import does not fail on a long comment.
constexpr qint64 SummaryLimit = 32000;

// The DXL release the file is written for, and the DTD of it that Notes and
// Domino 9.0.1 and later keep in their xmlschemas folder.
constexpr char Prolog[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<!DOCTYPE database SYSTEM \"xmlschemas/domino_9_0_1.dtd\">\n"
                          "<database xmlns=\"http://www.lotus.com/dxl\" version=\"9.0\"";

// Julian day of 1 January 1970.
constexpr qint64 JulianDayOfEpoch = 2440588;
constexpr qint64 MsPerDay = 86400000;

bool isForm(const notes::StoredDocument& doc, QLatin1String form)
{
    return doc.form.compare(form, Qt::CaseInsensitive) == 0;
}

// Item names compare without regard to case. `name` is plain ASCII: a
// name of ASCII characters only is compared here, letter by letter, any
// other by Qt's case folding (some characters beyond ASCII fold to ASCII
// letters).
bool isItem(const notes::StoredItem& item, QLatin1String name)
{
    const qsizetype n = name.size();
    if (item.name.size() != n)
        return false;
    const char16_t* a = reinterpret_cast<const char16_t*>(item.name.constData());
    const char* b = name.data();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = a[i];
        if (c >= 0x80)
            return item.name.compare(name, Qt::CaseInsensitive) == 0;
        if (c == char16_t(b[i]))
            continue;
        const char16_t lower = c | 0x20;
        if (lower < u'a' || lower > u'z' || lower != char16_t(b[i] | 0x20))
            return false;
    }
    return true;
}

// Writes into the room of a buffer through a pointer, and cuts the buffer
// to what was written when done: one resize of the buffer per document, not
// one per piece.
class Out {
public:
    explicit Out(QByteArray& buffer)
        : buffer_(buffer)
    {
        const qsizetype used = buffer_.size();
        buffer_.resize(used + Room);
        p_ = buffer_.data() + used;
        end_ = buffer_.data() + buffer_.size();
    }
    ~Out() { buffer_.resize(p_ - buffer_.data()); }
    Out(const Out&) = delete;
    Out& operator=(const Out&) = delete;

    // Room for `n` more bytes.
    void need(qsizetype n)
    {
        if (end_ - p_ < n)
            grow(n);
    }
    // A string literal, without looking for its end.
    template <qsizetype N> void lit(const char (&text)[N]) { bytes(text, N - 1); }
    void bytes(const char* text, qsizetype n)
    {
        need(n);
        std::memcpy(p_, text, std::size_t(n));
        p_ += n;
    }
    void byte(char c)
    {
        need(1);
        *p_++ = c;
    }
    // Where the next byte goes, as an offset in the buffer.
    qsizetype pos() const { return p_ - buffer_.constData(); }
    // Puts `n` bytes at `at`, before what was written since.
    void insert(qsizetype at, const char* text, qsizetype n)
    {
        need(n);
        char* from = buffer_.data() + at;
        std::memmove(from + n, from, std::size_t(p_ - from));
        std::memcpy(from, text, std::size_t(n));
        p_ += n;
    }

    // Appends `s` as XML character data. In an attribute (`value` false),
    // tab, line feed and carriage return are references (a parser would turn
    // them into blanks) and a character XML cannot hold becomes U+FFFD,
    // counted in `replaced`. In an item value, each line break (CR LF, CR or
    // LF) is a <break/> and a character XML cannot hold a <nonxmlchar/>, as
    // Domino writes them.
    void xml(QStringView s, bool value, qint64& replaced);

private:
    static constexpr qsizetype Room = 64 * 1024;

    void grow(qsizetype n)
    {
        const qsizetype used = p_ - buffer_.data();
        buffer_.resize(used + std::max(n, Room));
        p_ = buffer_.data() + used;
        end_ = buffer_.data() + buffer_.size();
    }

    QByteArray& buffer_;
    char* p_;
    char* end_;
};

bool xmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

// The ASCII characters written as they are: in a value, and in an
// attribute (which also escapes the quote).
struct PlainAscii {
    bool value[128] = {};
    bool attribute[128] = {};
    constexpr PlainAscii()
    {
        for (int c = 0x20; c < 0x80; ++c)
            value[c] = attribute[c] = c != '&' && c != '<' && c != '>';
        attribute[int('"')] = false;
        value[int('\t')] = true;
    }
};
constexpr PlainAscii Plain;

void Out::xml(QStringView s, bool value, qint64& replaced)
{
    const qsizetype n = s.size();
    const char16_t* in = s.utf16();
    const bool* plain = value ? Plain.value : Plain.attribute;
    // Every UTF-16 unit takes at most three bytes; an escape makes room of
    // its own for itself and the rest.
    need(3 * n);
    char* p = p_;
    auto put = [&](const char* text, qsizetype len, qsizetype i) {
        p_ = p;
        need(len + 3 * (n - i));
        p = p_;
        std::memcpy(p, text, std::size_t(len));
        p += len;
    };
    for (qsizetype i = 0; i < n; ++i) {
        // Runs of plain ASCII, the bulk of an address book, four units at a
        // time.
        while (i + 4 <= n) {
            quint64 units;
            if constexpr (std::endian::native == std::endian::little)
                std::memcpy(&units, in + i, 8);
            else
                units = quint64(in[i]) | quint64(in[i + 1]) << 16 | quint64(in[i + 2]) << 32 | quint64(in[i + 3]) << 48;
            if ((units & 0xFF80FF80FF80FF80ull) || !plain[units & 0x7F] || !plain[(units >> 16) & 0x7F]
                || !plain[(units >> 32) & 0x7F] || !plain[units >> 48])
                break;
            // The low byte of each unit, in order.
            const quint64 pairs = (units | units >> 8) & 0x0000FFFF0000FFFFull;
            const quint32 bytes = quint32(pairs | pairs >> 16);
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(p, &bytes, 4);
            } else {
                p[0] = char(in[i]);
                p[1] = char(in[i + 1]);
                p[2] = char(in[i + 2]);
                p[3] = char(in[i + 3]);
            }
            p += 4;
            i += 4;
        }
        if (i >= n)
            break;
        const char16_t u = in[i];
        if (u < 0x80 && plain[u]) {
            *p++ = char(u);
            continue;
        }
        switch (u) {
        case u'&':
            put("&amp;", 5, i);
            continue;
        case u'<':
            put("&lt;", 4, i);
            continue;
        case u'>':
            put("&gt;", 4, i);
            continue;
        case u'"':
            put("&quot;", 6, i);
            continue;
        case u'\t':
            put("&#9;", 4, i);
            continue;
        case u'\r':
        case u'\n':
            if (!value) {
                put(u == u'\r' ? "&#13;" : "&#10;", 5, i);
                continue;
            }
            if (u == u'\r' && i + 1 < n && in[i + 1] == u'\n')
                ++i;
            put("<break/>", 8, i);
            continue;
        default:
            break;
        }
        char32_t c = u;
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(in[i + 1])) {
            c = QChar::surrogateToUcs4(u, in[i + 1]);
            ++i;
        }
        if (!xmlChar(c)) {
            if (value) {
                static constexpr char Hex[] = "0123456789ABCDEF";
                char ref[] = "<nonxmlchar value=\"0000\"/>";
                for (int k = 0; k < 4; ++k)
                    ref[19 + k] = Hex[(u >> (12 - 4 * k)) & 0xF];
                put(ref, sizeof ref - 1, i);
            } else {
                put(Utf8Replacement, 3, i);
                ++replaced;
            }
            continue;
        }
        p = putUtf8CodePoint(p, c);
    }
    p_ = p;
}

void appendTwoDigits(Out& out, int v)
{
    const char digits[2] = {char('0' + v / 10), char('0' + v % 10)};
    out.bytes(digits, 2);
}

// yyyyMMdd of a date with a year of four digits.
void appendDate(Out& out, const QDate& d)
{
    int year = 0, month = 0, day = 0;
    d.getDate(&year, &month, &day);
    appendTwoDigits(out, year / 100);
    appendTwoDigits(out, year % 100);
    appendTwoDigits(out, month);
    appendTwoDigits(out, day);
}

// THHmmss,hh
void appendTime(Out& out, const QTime& t)
{
    out.byte('T');
    appendTwoDigits(out, t.hour());
    appendTwoDigits(out, t.minute());
    appendTwoDigits(out, t.second());
    out.byte(',');
    appendTwoDigits(out, t.msec() / 10);
}

// +hh, or +hhmm where the offset is not whole hours.
void appendZone(Out& out, int offsetSeconds)
{
    out.byte(offsetSeconds < 0 ? '-' : '+');
    const int minutes = std::abs(offsetSeconds) / 60;
    appendTwoDigits(out, minutes / 60);
    if (minutes % 60)
        appendTwoDigits(out, minutes % 60);
}

// A birthday or anniversary as a datetime value: the date alone, or with a
// time of day in the time zone of this machine (the conversion's).
void appendBookDate(Out& out, const BookDate& when)
{
    if (when.time == QTime(0, 0)) {
        out.lit("<datetime>");
        appendDate(out, when.date);
        out.lit("</datetime>");
        return;
    }
    const QDateTime local(when.date, when.time, QTimeZone::systemTimeZone());
    if (local.isDaylightTime())
        out.lit("<datetime dst=\"true\">");
    else
        out.lit("<datetime>");
    appendDate(out, when.date);
    appendTime(out, when.time);
    appendZone(out, local.offsetFromUtc());
    out.lit("</datetime>");
}

// An instant as a datetime value in GMT.
void appendUtc(Out& out, qint64 ms)
{
    qint64 day = ms / MsPerDay;
    qint64 rest = ms % MsPerDay;
    if (rest < 0) {
        rest += MsPerDay;
        --day;
    }
    appendDate(out, QDate::fromJulianDay(day + JulianDayOfEpoch));
    appendTime(out, QTime::fromMSecsSinceStartOfDay(int(rest)));
    out.lit("+00");
}

void appendHex32(Out& out, quint32 v)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    char hex[8];
    for (int k = 0; k < 8; ++k)
        hex[k] = Hex[(v >> (28 - 4 * k)) & 0xF];
    out.bytes(hex, 8);
}

// A bijection of 64-bit numbers that spreads neighbouring ones apart
// (SplitMix64's finaliser).
quint64 mix(quint64 z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

quint64 hashText(const QString& s, quint64 seed)
{
    quint64 h = 0xCBF29CE484222325ull ^ seed;
    for (const QChar c : s) {
        h ^= c.unicode();
        h *= 0x100000001B3ull;
    }
    return mix(h);
}

std::optional<std::pair<quint64, quint64>> bookUnidHalves(const QString& unid)
{
    if (unid.size() != 32)
        return std::nullopt;
    bool ok1 = false, ok2 = false;
    const quint64 first = QStringView(unid).left(16).toULongLong(&ok1, 16);
    const quint64 second = QStringView(unid).mid(16).toULongLong(&ok2, 16);
    if (!ok1 || !ok2)
        return std::nullopt;
    return std::pair{first, second};
}

// Where the ", " that joins the parts of a list starts, from `from` on; -1
// where there is none.
qsizetype separatorAt(QStringView value, qsizetype from)
{
    const char16_t* p = value.utf16();
    const qsizetype n = value.size();
    for (qsizetype i = from; i + 1 < n; ++i) {
        if (p[i] == u',' && p[i + 1] == u' ')
            return i;
    }
    return -1;
}

// One item element being written: the start tag is finished by the value,
// and the summary flag is decided once the value's size is known.
class ItemWriter {
public:
    ItemWriter(Out& out, qint64& summaryBytes, qint64& replaced)
        : out_(out)
        , summaryBytes_(summaryBytes)
        , replaced_(replaced)
    {
    }

    void start(QStringView name, bool names = false)
    {
        out_.lit("<item name=\"");
        out_.xml(name, false, replaced_);
        out_.byte('"');
        if (names)
            out_.lit(" names=\"true\"");
        tagEnd_ = out_.pos();
        out_.byte('>');
    }
    // The start of an item whose name was written before (`tag`, up to the
    // closing quote, with the characters replaced in it).
    void start(const DxlWriter::NameTag& tag)
    {
        out_.bytes(tag.bytes.constData(), tag.bytes.size());
        replaced_ += tag.replaced;
        tagEnd_ = out_.pos();
        out_.byte('>');
    }
    // A text, or "<text/>" for an empty one.
    void text(QStringView value)
    {
        if (value.isEmpty()) {
            out_.lit("<text/>");
            return;
        }
        out_.lit("<text>");
        out_.xml(value, true, replaced_);
        out_.lit("</text>");
    }
    template <typename List> void textList(const List& values)
    {
        if (values.size() == 1) {
            text(values.front());
            return;
        }
        out_.lit("<textlist>");
        for (const auto& v : values)
            text(v);
        out_.lit("</textlist>");
    }
    // A text the book joined from a list with ", ": one text per part.
    void joinedList(QStringView value)
    {
        qsizetype at = separatorAt(value, 0);
        if (at < 0) {
            text(value);
            return;
        }
        out_.lit("<textlist>");
        qsizetype start = 0;
        for (; at >= 0; at = separatorAt(value, start)) {
            text(value.sliced(start, at - start));
            start = at + 2;
        }
        text(value.sliced(start));
        out_.lit("</textlist>");
    }
    Out& out() { return out_; }
    // Ends the item; values past the summary limit are not summary (DXL
    // takes text, dates and names as summary when the flag is left out).
    void finish()
    {
        const qint64 size = out_.pos() - tagEnd_;
        if (summaryBytes_ + size <= SummaryLimit)
            summaryBytes_ += size;
        else
            out_.insert(tagEnd_, " summary=\"false\"", 16);
        out_.lit("</item>\n");
    }

private:
    Out& out_;
    qint64& summaryBytes_;
    qint64& replaced_;
    qsizetype tagEnd_ = 0;
};

// The names Notes finds a contact by, as the contact form makes them: the
// full name from its parts, the name without its middle name, and the mail
// address; the company where the contact has no name. The names are views
// of the document's values and of the joined names kept here.
struct FullNames {
    QString withMiddle;
    QString withoutMiddle;
    std::array<QStringView, 4> names;
    std::size_t count = 0;

    void make(const notes::StoredDocument& doc)
    {
        QStringView first, middle, last, company, mail;
        bool seen[5] = {};
        for (const notes::StoredItem& item : doc.items) {
            int slot = -1;
            switch (item.name.size()) {
            case 8:
                slot = isItem(item, QLatin1String("LastName")) ? 2 : -1;
                break;
            case 9:
                slot = isItem(item, QLatin1String("FirstName")) ? 0 : -1;
                break;
            case 10:
                slot = isItem(item, QLatin1String("MiddleName")) ? 1 : -1;
                break;
            case 11:
                slot = isItem(item, QLatin1String("CompanyName")) ? 3
                    : isItem(item, QLatin1String("MailAddress"))  ? 4
                                                                  : -1;
                break;
            default:
                break;
            }
            if (slot < 0 || seen[slot])
                continue;
            const QStringView v = QStringView(item.value).trimmed();
            // The first item of a name that has a value.
            if (v.isEmpty())
                continue;
            seen[slot] = true;
            (slot == 0 ? first : slot == 1 ? middle : slot == 2 ? last : slot == 3 ? company : mail) = v;
        }
        auto join = [](QString& out, std::initializer_list<QStringView> parts) {
            out.clear();
            for (const QStringView p : parts) {
                if (p.isEmpty())
                    continue;
                if (!out.isEmpty())
                    out.append(u' ');
                out.append(p);
            }
        };
        count = 0;
        auto add = [&](QStringView name) {
            if (name.isEmpty())
                return;
            for (std::size_t i = 0; i < count; ++i)
                if (names[i].compare(name, Qt::CaseInsensitive) == 0)
                    return;
            names[count++] = name;
        };
        join(withMiddle, {first, middle, last});
        add(withMiddle);
        if (!middle.isEmpty()) {
            join(withoutMiddle, {first, last});
            add(withoutMiddle);
        }
        if (count == 0)
            add(company);
        add(mail);
    }
    std::size_t size() const { return count; }
    QStringView front() const { return names[0]; }
    const QStringView* begin() const { return names.data(); }
    const QStringView* end() const { return names.data() + count; }
};

// The universal id a document gets in DXL (see dxl::notesUnid).
void appendNotesUnid(Out& out, const QString& bookUnid, std::optional<qint64> createdMs)
{
    // Our ids are an origin random for each run of the program and a count
    // rising within the run: mixing the count into the origin keeps the
    // halves of two documents apart even when they were made in the same
    // hundredth of a second.
    quint64 file = 0;
    if (const auto halves = bookUnidHalves(bookUnid))
        file = halves->first ^ mix(halves->second);
    else
        file = hashText(bookUnid, 1);
    dxl::TimeDate note;
    if (createdMs) {
        note = dxl::toTimeDate(*createdMs);
    } else {
        const quint64 h = hashText(bookUnid, 2);
        note = {quint32(h), quint32(h >> 32)};
    }
    appendHex32(out, quint32(file >> 32));
    appendHex32(out, quint32(file));
    appendHex32(out, note.innards1);
    appendHex32(out, note.innards0);
}

}  // namespace

namespace dxl {

TimeDate toTimeDate(qint64 ms)
{
    qint64 day = ms / MsPerDay;
    qint64 rest = ms % MsPerDay;
    if (rest < 0) {
        rest += MsPerDay;
        --day;
    }
    // Zone and daylight-saving bits stay 0: the time is kept in GMT.
    return {quint32(rest / 10), quint32((day + JulianDayOfEpoch) & 0xFFFFFF)};
}

QString notesUnid(const QString& bookUnid, std::optional<qint64> createdMs)
{
    QByteArray hex;
    {
        Out out(hex);
        appendNotesUnid(out, bookUnid, createdMs);
    }
    return QString::fromLatin1(hex);
}

QByteArray utcDateTime(qint64 ms)
{
    QByteArray text;
    {
        Out out(text);
        appendUtc(out, ms);
    }
    return text;
}

}  // namespace dxl

DxlWriter::DxlWriter(QLocale locale)
    : dates_(std::move(locale))
{
}

void DxlWriter::begin(QByteArray& buffer, const Database& db)
{
    Out out(buffer);
    out.lit(Prolog);
    if (!db.replicaId.isEmpty()) {
        out.lit(" replicaid=\"");
        out.xml(db.replicaId, false, replaced_);
        out.byte('"');
    }
    if (!db.title.isEmpty()) {
        out.lit(" title=\"");
        out.xml(db.title, false, replaced_);
        out.byte('"');
    }
    out.lit(">\n");
}

namespace {

// A Group's members as a names list.
void writeGroupMembers(ItemWriter& item, const QString& members)
{
    const auto list = splitMembers(members);
    if (!list) {
        // Not the list form: kept as the book has it.
        item.start(u"Members");
        item.text(members);
        item.finish();
        return;
    }
    // Each member by what Notes can mail to: its address, else its name.
    QStringList names;
    QSet<QString> seen;
    for (const QString& text : *list) {
        const Member m = parseMember(text);
        QString name = isMailAddress(m.address) ? m.address : m.name.trimmed();
        if (name.isEmpty())
            name = m.address.trimmed();
        if (name.isEmpty())
            continue;
        const QString key = name.toCaseFolded();
        if (seen.contains(key))
            continue;
        seen.insert(key);
        names.append(name);
    }
    item.start(u"Members", true);
    if (names.isEmpty())
        item.text(QString());
    else
        item.textList(names);
    item.finish();
}

}  // namespace

bool DxlWriter::writeDocument(QByteArray& buffer, const notes::StoredDocument& doc)
{
    if (doc.isDesign)
        return false;
    const bool person = isForm(doc, QLatin1String("Person"));
    const bool group = isForm(doc, QLatin1String("Group"));

    Out out(buffer);
    out.lit("<document");
    const notes::StoredItem* formItem = nullptr;
    for (const notes::StoredItem& item : doc.items) {
        if (isItem(item, QLatin1String("Form"))) {
            formItem = &item;
            out.lit(" form=\"");
            out.xml(item.value, false, replaced_);
            out.byte('"');
            break;
        }
    }
    out.lit(">\n<noteinfo unid=\"");
    // A book not written by us may lack the times (0).
    const std::optional<qint64> created = doc.created > 0 ? std::optional(doc.created) : std::nullopt;
    appendNotesUnid(out, doc.unid, created);
    out.lit("\">");
    if (created) {
        out.lit("<created><datetime>");
        appendUtc(out, *created);
        out.lit("</datetime></created>");
    }
    if (doc.modified > 0) {
        out.lit("<modified><datetime>");
        appendUtc(out, doc.modified);
        out.lit("</datetime></modified>");
    }
    out.lit("</noteinfo>\n");

    // Documents of one form hold the same items in the same order: the start
    // tag of the item at each position is kept from one to the next.
    auto startItem = [&](ItemWriter& w, std::size_t position, const QString& name) {
        if (position >= nameTags_.size())
            nameTags_.resize(position + 1);
        NameTag& tag = nameTags_[position];
        const bool same = tag.name.size() == name.size() && !tag.bytes.isEmpty()
            && std::memcmp(tag.name.constData(), name.constData(), std::size_t(name.size()) * sizeof(QChar)) == 0;
        if (!same) {
            tag.name = name;
            tag.bytes.resize(0);
            Out out(tag.bytes);
            out.lit("<item name=\"");
            tag.replaced = 0;
            out.xml(name, false, tag.replaced);
            out.byte('"');
        }
        w.start(tag);
    };

    qint64 summaryBytes = 0;
    bool hasFullName = false;
    bool hasGroupType = false;
    bool membersDone = false;
    ItemWriter w(out, summaryBytes, replaced_);
    for (std::size_t position = 0; position < doc.items.size(); ++position) {
        const notes::StoredItem& item = doc.items[position];
        if (&item == formItem)
            continue;
        if (person) {
            hasFullName = hasFullName || isItem(item, QLatin1String("FullName"));
            if (isItem(item, QLatin1String("Birthday")) || isItem(item, QLatin1String("Anniversary"))) {
                if (const auto when = item.value.isEmpty() ? std::nullopt : dates_.read(item.value)) {
                    startItem(w, position, item.name);
                    appendBookDate(out, *when);
                    w.finish();
                    continue;
                }
            } else if (isItem(item, QLatin1String("Categories")) || isItem(item, QLatin1String("Children"))) {
                startItem(w, position, item.name);
                w.joinedList(item.value);
                w.finish();
                continue;
            }
        } else if (group) {
            hasGroupType = hasGroupType || isItem(item, QLatin1String("GroupType"));
            if (!membersDone && isItem(item, QLatin1String("Members"))) {
                writeGroupMembers(w, item.value);
                membersDone = true;
                continue;
            }
        }
        startItem(w, position, item.name);
        w.text(item.value);
        w.finish();
    }

    if (person && !hasFullName) {
        FullNames names;
        names.make(doc);
        if (names.size() > 0) {
            w.start(u"FullName", true);
            w.textList(names);
            w.finish();
        }
    }
    if (group && !hasGroupType) {
        // A multi-purpose group ("0"), the kind Notes makes by default: the
        // address book lists it with the groups it can mail to.
        w.start(u"GroupType");
        w.text(u"0");
        w.finish();
    }

    if (!doc.folders.isEmpty()) {
        // Not summary: the filing agent reads it from the document.
        out.lit("<item name=\"");
        out.xml(foldersItemName(), false, replaced_);
        out.lit("\" summary=\"false\">");
        if (doc.folders.size() > 1)
            out.lit("<textlist>");
        for (const QString& folder : doc.folders) {
            out.lit("<text>");
            out.xml(folder, true, replaced_);
            out.lit("</text>");
        }
        if (doc.folders.size() > 1)
            out.lit("</textlist>");
        out.lit("</item>\n");
    }
    out.lit("</document>\n");
    return true;
}

void DxlWriter::end(QByteArray& buffer)
{
    Out out(buffer);
    out.lit("</database>\n");
}

}  // namespace exporting
