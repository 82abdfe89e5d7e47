#include "export/DxlWriter.h"
#include "export/BookValues.h"
#include "common/text/Utf8.h"

#include <QSet>
#include <QStringList>
#include <QTimeZone>

#include <concepts>

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

bool isItem(const notes::StoredItem& item, QLatin1String name)
{
    return item.name.size() == name.size() && item.name.compare(name, Qt::CaseInsensitive) == 0;
}

// Appends a string literal without looking for its end.
template <qsizetype N> void lit(QByteArray& out, const char (&text)[N])
{
    const qsizetype at = out.size();
    out.resize(at + N - 1);
    std::memcpy(out.data() + at, text, N - 1);
}

bool xmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

// Appends `s` as XML character data. In an attribute (`value` false), tab,
// line feed and carriage return are references (a parser would turn them
// into blanks) and a character XML cannot hold becomes U+FFFD, counted in
// `replaced`. In an item value, each line break (CR LF, CR or LF) is a
// <break/> and a character XML cannot hold a <nonxmlchar/>, as Domino writes
// them.
void appendXml(QByteArray& out, QStringView s, bool value, qint64& replaced)
{
    const qsizetype n = s.size();
    const char16_t* in = s.utf16();
    // Every UTF-16 unit takes at most three bytes, except the escapes below,
    // which get room of their own.
    constexpr qsizetype Room = 32;
    qsizetype used = out.size();
    out.resize(used + 3 * n + Room);
    char* p = out.data() + used;
    char* end = out.data() + out.size();
    auto put = [&](const char* text, qsizetype len) {
        if (end - p < len + Room) {
            used = p - out.data();
            out.resize(used + 3 * n + len + Room);
            p = out.data() + used;
            end = out.data() + out.size();
        }
        std::memcpy(p, text, std::size_t(len));
        p += len;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = in[i];
        if (u >= 0x20 && u < 0x80) {
            switch (u) {
            case u'&':
                put("&amp;", 5);
                continue;
            case u'<':
                put("&lt;", 4);
                continue;
            case u'>':
                put("&gt;", 4);
                continue;
            case u'"':
                if (!value) {
                    put("&quot;", 6);
                    continue;
                }
                break;
            default:
                break;
            }
            *p++ = char(u);
            continue;
        }
        if (u < 0x20) {
            if (u == u'\r' || u == u'\n') {
                if (!value) {
                    put(u == u'\r' ? "&#13;" : "&#10;", 5);
                    continue;
                }
                if (u == u'\r' && i + 1 < n && in[i + 1] == u'\n')
                    ++i;
                put("<break/>", 8);
                continue;
            }
            if (u == u'\t') {
                if (value)
                    *p++ = '\t';
                else
                    put("&#9;", 4);
                continue;
            }
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
                put(ref, sizeof ref - 1);
            } else {
                put(Utf8Replacement, 3);
                ++replaced;
            }
            continue;
        }
        p = putUtf8CodePoint(p, c);
    }
    out.resize(p - out.data());
}

void appendTwoDigits(QByteArray& out, int v)
{
    out.append(char('0' + v / 10));
    out.append(char('0' + v % 10));
}

// yyyyMMdd of a date with a year of four digits.
void appendDate(QByteArray& out, const QDate& d)
{
    appendTwoDigits(out, d.year() / 100);
    appendTwoDigits(out, d.year() % 100);
    appendTwoDigits(out, d.month());
    appendTwoDigits(out, d.day());
}

// THHmmss,hh
void appendTime(QByteArray& out, const QTime& t)
{
    out.append('T');
    appendTwoDigits(out, t.hour());
    appendTwoDigits(out, t.minute());
    appendTwoDigits(out, t.second());
    out.append(',');
    appendTwoDigits(out, t.msec() / 10);
}

// +hh, or +hhmm where the offset is not whole hours.
void appendZone(QByteArray& out, int offsetSeconds)
{
    out.append(offsetSeconds < 0 ? '-' : '+');
    const int minutes = std::abs(offsetSeconds) / 60;
    appendTwoDigits(out, minutes / 60);
    if (minutes % 60)
        appendTwoDigits(out, minutes % 60);
}

// A birthday or anniversary as a datetime value: the date alone, or with a
// time of day in the time zone of this machine (the conversion's).
void appendBookDate(QByteArray& out, const BookDate& when)
{
    if (when.time == QTime(0, 0)) {
        lit(out, "<datetime>");
        appendDate(out, when.date);
        lit(out, "</datetime>");
        return;
    }
    const QDateTime local(when.date, when.time, QTimeZone::systemTimeZone());
    out.append(local.isDaylightTime() ? "<datetime dst=\"true\">" : "<datetime>");
    appendDate(out, when.date);
    appendTime(out, when.time);
    appendZone(out, local.offsetFromUtc());
    lit(out, "</datetime>");
}

void appendHex32(QByteArray& out, quint32 v)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    for (int k = 0; k < 8; ++k)
        out.append(Hex[(v >> (28 - 4 * k)) & 0xF]);
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

// One item element being written: the start tag is finished by the value,
// and the summary flag is decided once the value's size is known.
class ItemWriter {
public:
    ItemWriter(QByteArray& out, qint64& summaryBytes, qint64& replaced)
        : out_(out)
        , summaryBytes_(summaryBytes)
        , replaced_(replaced)
    {
    }

    void start(QStringView name, bool names = false)
    {
        lit(out_, "<item name=\"");
        appendXml(out_, name, false, replaced_);
        out_.append('"');
        if (names)
            lit(out_, " names=\"true\"");
        tagEnd_ = out_.size();
        out_.append('>');
    }
    // A text, or "<text/>" for an empty one.
    void text(QStringView value)
    {
        if (value.isEmpty()) {
            lit(out_, "<text/>");
            return;
        }
        lit(out_, "<text>");
        appendXml(out_, value, true, replaced_);
        lit(out_, "</text>");
    }
    void textList(const QStringList& values)
    {
        if (values.size() == 1) {
            text(values.front());
            return;
        }
        lit(out_, "<textlist>");
        for (const QString& v : values)
            text(v);
        lit(out_, "</textlist>");
    }
    QByteArray& out() { return out_; }
    // Ends the item; values past the summary limit are not summary (DXL
    // takes text, dates and names as summary when the flag is left out).
    void finish()
    {
        const qint64 size = out_.size() - tagEnd_;
        if (summaryBytes_ + size <= SummaryLimit)
            summaryBytes_ += size;
        else
            out_.insert(tagEnd_, " summary=\"false\"");
        lit(out_, "</item>\n");
    }

private:
    QByteArray& out_;
    qint64& summaryBytes_;
    qint64& replaced_;
    qsizetype tagEnd_ = 0;
};

// The names Notes finds a contact by, as the contact form makes them: the
// full name from its parts, the name without its middle name, and the mail
// address; the company where the contact has no name.
QStringList fullNames(const notes::StoredDocument& doc)
{
    QString first, middle, last, company, mail;
    for (const notes::StoredItem& item : doc.items) {
        QString* slot = nullptr;
        if (isItem(item, QLatin1String("FirstName")))
            slot = &first;
        else if (isItem(item, QLatin1String("MiddleName")))
            slot = &middle;
        else if (isItem(item, QLatin1String("LastName")))
            slot = &last;
        else if (isItem(item, QLatin1String("CompanyName")))
            slot = &company;
        else if (isItem(item, QLatin1String("MailAddress")))
            slot = &mail;
        if (slot && slot->isEmpty())
            *slot = item.value.trimmed();
    }
    auto join = [](std::initializer_list<QString> parts) {
        QStringList kept;
        for (const QString& p : parts)
            if (!p.isEmpty())
                kept.append(p);
        return kept.join(u' ');
    };
    QStringList names;
    auto add = [&](const QString& name) {
        if (!name.isEmpty() && !names.contains(name, Qt::CaseInsensitive))
            names.append(name);
    };
    add(join({first, middle, last}));
    add(join({first, last}));
    if (names.isEmpty())
        add(company);
    add(mail);
    return names;
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

std::optional<qint64> createdFromBookUnid(const QString& bookUnid)
{
    const auto halves = bookUnidHalves(bookUnid);
    if (!halves)
        return std::nullopt;
    const qint64 ms = qint64(halves->second / 10000);
    // From 1990 to 2200: anything else is no time of ours.
    if (ms < 631152000000LL || ms > 7258118400000LL)
        return std::nullopt;
    return ms;
}

QString notesUnid(const QString& bookUnid, std::optional<qint64> createdMs)
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
    TimeDate note;
    if (createdMs) {
        note = toTimeDate(*createdMs);
    } else {
        const quint64 h = hashText(bookUnid, 2);
        note = {quint32(h), quint32(h >> 32)};
    }
    QByteArray hex;
    hex.reserve(32);
    appendHex32(hex, quint32(file >> 32));
    appendHex32(hex, quint32(file));
    appendHex32(hex, note.innards1);
    appendHex32(hex, note.innards0);
    return QString::fromLatin1(hex);
}

QByteArray utcDateTime(qint64 ms)
{
    qint64 day = ms / MsPerDay;
    qint64 rest = ms % MsPerDay;
    if (rest < 0) {
        rest += MsPerDay;
        --day;
    }
    QByteArray out;
    out.reserve(24);
    appendDate(out, QDate::fromJulianDay(day + JulianDayOfEpoch));
    appendTime(out, QTime::fromMSecsSinceStartOfDay(int(rest)));
    lit(out, "+00");
    return out;
}

}  // namespace dxl

DxlWriter::DxlWriter(QLocale locale)
    : dates_(std::move(locale))
{
}

void DxlWriter::begin(QByteArray& out, const Database& db)
{
    lit(out, Prolog);
    if (!db.replicaId.isEmpty()) {
        lit(out, " replicaid=\"");
        appendXml(out, db.replicaId, false, replaced_);
        out.append('"');
    }
    if (!db.title.isEmpty()) {
        lit(out, " title=\"");
        appendXml(out, db.title, false, replaced_);
        out.append('"');
    }
    lit(out, ">\n");
}

void DxlWriter::writeGroupMembers(QByteArray& out, const QString& members, qint64& summaryBytes)
{
    ItemWriter item(out, summaryBytes, replaced_);
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

bool DxlWriter::writeDocument(QByteArray& out, const notes::StoredDocument& doc)
{
    if (doc.isDesign)
        return false;
    const bool person = isForm(doc, QLatin1String("Person"));
    const bool group = isForm(doc, QLatin1String("Group"));

    lit(out, "<document");
    const notes::StoredItem* formItem = nullptr;
    for (const notes::StoredItem& item : doc.items) {
        if (isItem(item, QLatin1String("Form"))) {
            formItem = &item;
            lit(out, " form=\"");
            appendXml(out, item.value, false, replaced_);
            out.append('"');
            break;
        }
    }
    lit(out, ">\n<noteinfo unid=\"");
    // The reader hands out no times of a document: its creation time comes
    // from its universal id, and the time of its last change is not known.
    const std::optional<qint64> created = dxl::createdFromBookUnid(doc.unid);
    out.append(dxl::notesUnid(doc.unid, created).toLatin1());
    lit(out, "\">");
    if (created) {
        lit(out, "<created><datetime>");
        out.append(dxl::utcDateTime(*created));
        lit(out, "</datetime></created>");
    }
    lit(out, "</noteinfo>\n");

    qint64 summaryBytes = 0;
    bool hasFullName = false;
    bool hasGroupType = false;
    bool membersDone = false;
    for (const notes::StoredItem& item : doc.items) {
        if (&item == formItem)
            continue;
        ItemWriter w(out, summaryBytes, replaced_);
        if (person) {
            hasFullName = hasFullName || isItem(item, QLatin1String("FullName"));
            if (isItem(item, QLatin1String("Birthday")) || isItem(item, QLatin1String("Anniversary"))) {
                if (const auto when = dates_.read(item.value)) {
                    w.start(item.name);
                    appendBookDate(out, *when);
                    w.finish();
                    continue;
                }
            } else if (isItem(item, QLatin1String("Categories")) || isItem(item, QLatin1String("Children"))) {
                w.start(item.name);
                w.textList(splitJoinedList(item.value));
                w.finish();
                continue;
            }
        } else if (group) {
            hasGroupType = hasGroupType || isItem(item, QLatin1String("GroupType"));
            if (!membersDone && isItem(item, QLatin1String("Members"))) {
                writeGroupMembers(out, item.value, summaryBytes);
                membersDone = true;
                continue;
            }
        }
        w.start(item.name);
        w.text(item.value);
        w.finish();
    }

    if (person && !hasFullName) {
        const QStringList names = fullNames(doc);
        if (!names.isEmpty()) {
            ItemWriter w(out, summaryBytes, replaced_);
            w.start(u"FullName", true);
            w.textList(names);
            w.finish();
        }
    }
    if (group && !hasGroupType) {
        // A multi-purpose group ("0"), the kind Notes makes by default: the
        // address book lists it with the groups it can mail to.
        ItemWriter w(out, summaryBytes, replaced_);
        w.start(u"GroupType");
        w.text(u"0");
        w.finish();
    }

    if (!doc.folders.isEmpty()) {
        // Not summary: the filing agent reads it from the document.
        lit(out, "<item name=\"");
        appendXml(out, foldersItemName(), false, replaced_);
        lit(out, "\" summary=\"false\">");
        if (doc.folders.size() > 1)
            lit(out, "<textlist>");
        for (const QString& folder : doc.folders) {
            lit(out, "<text>");
            appendXml(out, folder, true, replaced_);
            lit(out, "</text>");
        }
        if (doc.folders.size() > 1)
            lit(out, "</textlist>");
        lit(out, "</item>\n");
    }
    lit(out, "</document>\n");
    return true;
}

void DxlWriter::end(QByteArray& out)
{
    lit(out, "</database>\n");
}

}  // namespace exporting
