#include "export/VCardWriter.h"
#include "export/DateText.h"
#include "export/PersonFields.h"
#include "export/Utf8.h"

#include <QHash>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace vcard {

namespace {

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

}  // namespace

QByteArray escapeText(QStringView value, qint64* replaced)
{
    QByteArray out;
    out.reserve(value.size() + 8);
    const qsizetype n = value.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = value[i].unicode();
        if (u < 0x80) {
            switch (u) {
            case u'\\':
                out.append("\\\\");
                continue;
            case u',':
                out.append("\\,");
                continue;
            case u';':
                out.append("\\;");
                continue;
            case u'\r':
                if (i + 1 < n && value[i + 1] == u'\n')
                    ++i;
                out.append("\\n");
                continue;
            case u'\n':
                out.append("\\n");
                continue;
            case u'\t':
                out.append('\t');
                continue;
            default:
                break;
            }
            if (u < 0x20 || u == 0x7F) {
                out.append(Utf8Replacement);
                ++*replaced;
            } else {
                out.append(char(u));
            }
            continue;
        }
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(value[i + 1].unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(u, value[i + 1].unicode()));
            ++i;
        } else if (QChar::isSurrogate(u)) {
            out.append(Utf8Replacement);
            ++*replaced;
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

void appendFolded(QByteArray& out, const QByteArray& line)
{
    const char* p = line.constData();
    const qsizetype n = line.size();
    qsizetype pos = 0;
    qsizetype limit = 75;  // octets on this physical line, after the fold blank
    while (n - pos > limit) {
        qsizetype cut = pos;
        while (cut < n) {
            const qsizetype unit = unitLength(p, cut, n);
            if (cut + unit - pos > limit)
                break;
            cut += unit;
        }
        out.append(p + pos, cut - pos);
        out.append("\r\n ");
        pos = cut;
        limit = 74;
    }
    out.append(p + pos, n - pos);
    out.append("\r\n");
}

std::optional<QDateTime> parseBookDate(const QString& text, const QLocale& locale)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return std::nullopt;
    // Books are written with the short date form and a four-digit year;
    // older ones may hold the form's own two-digit year.
    const QString dateFormat = locale.dateFormat(QLocale::ShortFormat);
    const QString fullYear = FullYearDateFormat(locale);

    auto parseDate = [&](const QString& s) -> QDate {
        QDate d = locale.toDate(s, fullYear);
        if (d.isValid() || fullYear == dateFormat)
            return d;
        d = locale.toDate(s, dateFormat);
        if (!d.isValid()) {
            // Two-digit years are read in the 1900s, which has no 29 February
            // of year 00; 2000 had one.
            if (s == locale.toString(QDate(2000, 2, 29), dateFormat))
                return QDate(2000, 2, 29);
            return d;
        }
        // The latest century that does not put the date in the future.
        const QDate today = QDate::currentDate();
        while (d.addYears(100) <= today)
            d = d.addYears(100);
        return d;
    };

    auto parseTime = [&](const QString& s) -> QTime {
        const std::array<QString, 4> formats
            = {locale.timeFormat(QLocale::ShortFormat), locale.timeFormat(QLocale::LongFormat),
               QStringLiteral("H:mm:ss"), QStringLiteral("H:mm")};
        for (const QString& f : formats) {
            const QTime tm = locale.toTime(s, f);
            if (tm.isValid())
                return tm;
        }
        // The long form ends in a time zone name, which the parser does not
        // take back: drop it from both.
        QString longFormat = locale.timeFormat(QLocale::LongFormat);
        const qsizetype zone = s.lastIndexOf(u' ');
        if (longFormat.endsWith(QLatin1String(" t")) && zone > 0) {
            longFormat.chop(2);
            return locale.toTime(s.left(zone), longFormat);
        }
        return QTime();
    };

    const QDate dateOnly = parseDate(t);
    if (dateOnly.isValid())
        return QDateTime(dateOnly, QTime(0, 0));
    // Date, one blank, time. The date part may hold blanks itself.
    for (qsizetype i = t.lastIndexOf(u' '); i > 0; i = t.lastIndexOf(u' ', i - 1)) {
        const QDate d = parseDate(t.left(i));
        if (!d.isValid())
            continue;
        const QTime tm = parseTime(t.mid(i + 1));
        if (tm.isValid())
            return QDateTime(d, tm);
    }
    return std::nullopt;
}

std::optional<QStringList> splitMembers(const QString& members)
{
    if (members.isEmpty())
        return QStringList();
    if (members.size() < 3 || !members.startsWith(u'\'') || !members.endsWith(QLatin1String("' ")))
        return std::nullopt;
    return members.mid(1, members.size() - 3).split(QStringLiteral("' '"));
}

}  // namespace vcard

namespace {

using vcard::appendFolded;
using vcard::escapeText;

const char ProdId[] = "PRODID:-//Pellaro//Pellaro address book export//EN";

// The items of a Person document by slot: "Form", the items of PersonItems
// in their order, "Type".
constexpr int PersonSlotCount = int(PersonItems.size()) + 2;
constexpr int Form = 0;
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

const QStringList& personSlotNames()
{
    static const QStringList names = [] {
        QStringList list{QStringLiteral("Form")};
        for (const PersonItem& item : PersonItems)
            list.append(PersonItemName(item));
        list.append(QStringLiteral("Type"));
        return list;
    }();
    return names;
}

enum GroupSlot { GroupForm, ListName, ListDescription, Members, GroupType, GroupSlotCount };
const QStringList& groupSlotNames()
{
    static const QStringList names
        = {QStringLiteral("Form"), QStringLiteral("ListName"), QStringLiteral("ListDescription"),
           QStringLiteral("Members"), QStringLiteral("Type")};
    return names;
}

// Item names compare without regard to case, as in Notes.
const QHash<QString, int>& slotIndex(const QStringList& names)
{
    static QHash<const QStringList*, QHash<QString, int>> indexes;
    auto it = indexes.find(&names);
    if (it == indexes.end()) {
        QHash<QString, int> index;
        for (int i = 0; i < names.size(); ++i)
            index.insert(names[i].toCaseFolded(), i);
        it = indexes.insert(&names, index);
    }
    return *it;
}

// The items of one document sorted into the known slots; the rest (unknown
// names, and a second item of a known name) kept in order as extras.
struct SortedItems {
    std::vector<const QString*> bySlot;
    std::vector<const notes::StoredItem*> extras;

    SortedItems(const notes::StoredDocument& doc, const QStringList& names)
        : bySlot(std::size_t(names.size()), nullptr)
    {
        const QHash<QString, int>& index = slotIndex(names);
        for (const notes::StoredItem& item : doc.items) {
            const int slot = index.value(item.name.toCaseFolded(), -1);
            if (slot >= 0 && !bySlot[std::size_t(slot)])
                bySlot[std::size_t(slot)] = &item.value;
            else
                extras.push_back(&item);
        }
    }
    QString value(int slot) const
    {
        const QString* v = bySlot[std::size_t(slot)];
        return v ? *v : QString();
    }
};

// One card being built.
class Card {
public:
    explicit Card(qint64& replaced)
        : replaced_(replaced)
    {
        appendFolded(bytes_, "BEGIN:VCARD");
        appendFolded(bytes_, "VERSION:3.0");
        appendFolded(bytes_, ProdId);
    }

    QByteArray text(const QString& value) { return escapeText(value, &replaced_); }

    // NAME:value with the value as it is (already escaped, or a URI).
    void raw(const char* nameAndParams, const QByteArray& value)
    {
        QByteArray line(nameAndParams);
        line.append(':');
        line.append(value);
        appendFolded(bytes_, line);
    }
    // NAME:text, unless the text is empty.
    void textLine(const char* nameAndParams, const QString& value)
    {
        if (!value.isEmpty())
            raw(nameAndParams, text(value));
    }
    // NAME:a;b;c..., unless every part is empty.
    void structured(const char* nameAndParams, std::initializer_list<QString> parts, bool evenIfEmpty = false)
    {
        bool any = false;
        QByteArray value;
        bool first = true;
        for (const QString& part : parts) {
            if (!first)
                value.append(';');
            first = false;
            any = any || !part.isEmpty();
            value.append(text(part));
        }
        if (any || evenIfEmpty)
            raw(nameAndParams, value);
    }
    // An item that has no property of its own: its name and value.
    void extra(const QString& name, const QString& value)
    {
        if (value.isEmpty())
            return;
        QByteArray v = text(name);
        v.append(';');
        v.append(text(value));
        raw("X-PELLARO-ITEM", v);
    }

    QByteArray finish()
    {
        appendFolded(bytes_, "END:VCARD");
        return std::move(bytes_);
    }

private:
    qint64& replaced_;
    QByteArray bytes_;
};

// Whether a URI value can carry the text unchanged: no control characters
// (line breaks in particular) and no blanks at its ends.
bool fitsUri(const QString& s)
{
    if (s.isEmpty() || s.front().isSpace() || s.back().isSpace())
        return false;
    for (const QChar c : s) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.isSurrogate())
            return false;
    }
    return true;
}

bool isMailAddress(const QString& s)
{
    static const QRegularExpression address(QStringLiteral(R"(^[^\s@<>()\[\],;:"]+@[^\s@<>()\[\],;:"]+$)"));
    return address.match(s).hasMatch();
}

QByteArray mailtoUri(const QString& address)
{
    return "mailto:" + QUrl::toPercentEncoding(address, "@!$&'*+=-._~");
}

QString formattedName(const SortedItems& items)
{
    QStringList parts;
    for (int slot : {Title, FirstName, MiddleName, LastName, Suffix}) {
        const QString part = items.value(slot).trimmed();
        if (!part.isEmpty())
            parts.append(part);
    }
    if (!parts.isEmpty())
        return parts.join(u' ');
    for (int slot : {CompanyName, MailAddress, MiscPhone1, MiscPhone2, MiscPhone3}) {
        const QString v = items.value(slot).trimmed();
        if (!v.isEmpty())
            return v;
    }
    return QString();
}

QByteArray dateValue(const QDateTime& dt, bool* withTime)
{
    *withTime = dt.time() != QTime(0, 0);
    if (*withTime)
        return dt.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1();
    return dt.date().toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
}

}  // namespace

VCardWriter::VCardWriter(QLocale locale)
    : locale_(std::move(locale))
{
}

bool VCardWriter::writeDocument(QByteArray& out, const notes::StoredDocument& doc)
{
    if (doc.isDesign)
        return false;
    if (doc.form.compare(QLatin1String("Person"), Qt::CaseInsensitive) == 0) {
        writePerson(out, doc);
        return true;
    }
    if (doc.form.compare(QLatin1String("Group"), Qt::CaseInsensitive) == 0) {
        writeGroup(out, doc);
        return true;
    }
    return false;
}

void VCardWriter::writePerson(QByteArray& out, const notes::StoredDocument& doc)
{
    const SortedItems items(doc, personSlotNames());
    auto v = [&](int slot) { return items.value(slot); };
    Card card(replaced_);

    card.textLine("UID", doc.unid);
    card.structured("N", {v(LastName), v(FirstName), v(MiddleName), v(Title), v(Suffix)}, true);
    card.raw("FN", card.text(formattedName(items)));
    card.structured("ORG", {v(CompanyName), v(Department)});
    card.textLine("TITLE", v(JobTitle));

    // E-mail: the first address, then the other addresses not given yet.
    QStringList addresses;
    for (int slot : {MailAddress, MiscPhone1, MiscPhone2, MiscPhone3}) {
        const QString address = v(slot);
        if (address.trimmed().isEmpty()) {
            if (!address.isEmpty())
                card.extra(personSlotNames()[slot], address);
            continue;
        }
        if (addresses.contains(address.trimmed()))
            continue;
        addresses.append(address.trimmed());
        card.textLine(slot == MailAddress ? "EMAIL;TYPE=internet,pref" : "EMAIL;TYPE=internet", address);
    }

    card.textLine("TEL;TYPE=work,voice", v(OfficePhoneNumber));
    card.textLine("TEL;TYPE=work,fax", v(OfficeFAXPhoneNumber));
    card.textLine("TEL;TYPE=cell,voice", v(CellPhoneNumber));
    card.textLine("TEL;TYPE=pager", v(PhoneNumber_6));
    card.textLine("TEL;TYPE=home,voice", v(PhoneNumber));
    card.textLine("TEL;TYPE=home,fax", v(HomeFAXPhoneNumber));

    // Post office box and extended address are not kept apart in the book.
    card.structured(
        "ADR;TYPE=work",
        {QString(), QString(), v(OfficeStreetAddress), v(OfficeCity), v(OfficeState), v(OfficeZIP), v(OfficeCountry)});
    card.structured("ADR;TYPE=home", {QString(), QString(), v(StreetAddress), v(City), v(State), v(Zip), v(Country)});

    const QString web = v(WebSite);
    if (fitsUri(web))
        card.raw("URL", web.toUtf8());
    else
        card.extra(QStringLiteral("WebSite"), web);

    // Dates that do not read back as dates are kept as notes.
    QStringList unreadDates;
    struct DateItem {
        int slot;
        const char* property;
        const char* propertyWithTime;
    };
    for (const DateItem& d : {DateItem{Birthday, "BDAY", "BDAY;VALUE=date-time"},
                              DateItem{Anniversary, "X-MS-ANNIVERSARY", "X-MS-ANNIVERSARY;VALUE=date-time"}}) {
        const QString t = v(d.slot);
        if (t.isEmpty())
            continue;
        if (const auto when = vcard::parseBookDate(t, locale_)) {
            bool withTime = false;
            const QByteArray value = dateValue(*when, &withTime);
            card.raw(withTime ? d.propertyWithTime : d.property, value);
        } else {
            unreadDates.append(personSlotNames()[d.slot] + QStringLiteral(": ") + t);
        }
    }

    card.textLine("NOTE", v(Comment));
    for (const QString& note : unreadDates)
        card.textLine("NOTE", note);

    // The book holds the categories as one text joined with ", ".
    const QString categories = v(Categories);
    if (!categories.isEmpty()) {
        QByteArray list;
        const QStringList parts = categories.split(QStringLiteral(", "));
        for (qsizetype i = 0; i < parts.size(); ++i) {
            if (i)
                list.append(',');
            list.append(card.text(parts[i]));
        }
        card.raw("CATEGORIES", list);
    }

    card.textLine("X-MS-MANAGER", v(Manager));
    card.textLine("X-MS-ASSISTANT", v(Assistant));
    card.textLine("X-MS-SPOUSE", v(Spouse));
    card.textLine("X-MS-CHILD", v(Children));
    card.textLine("X-PELLARO-LOCATION", v(Location));

    // Form is "Person" (this card); a Type of another value is kept.
    const QString type = v(Type);
    if (!type.isEmpty() && type.compare(QLatin1String("Person"), Qt::CaseInsensitive) != 0)
        card.extra(QStringLiteral("Type"), type);
    for (const notes::StoredItem* item : items.extras)
        card.extra(item->name, item->value);

    out.append(card.finish());
}

void VCardWriter::writeGroup(QByteArray& out, const notes::StoredDocument& doc)
{
    const SortedItems items(doc, groupSlotNames());
    Card card(replaced_);
    const QString name = items.value(ListName);

    card.textLine("UID", doc.unid);
    card.raw("X-ADDRESSBOOKSERVER-KIND", "group");
    card.structured("N", {name, QString(), QString(), QString(), QString()}, true);
    card.raw("FN", card.text(name));
    card.textLine("NOTE", items.value(ListDescription));

    const QString members = items.value(Members);
    if (const auto list = vcard::splitMembers(members)) {
        for (const QString& member : *list) {
            if (isMailAddress(member))
                card.raw("X-ADDRESSBOOKSERVER-MEMBER", mailtoUri(member));
            else
                card.raw("X-PELLARO-MEMBER", card.text(member));
        }
    } else {
        card.textLine("X-PELLARO-MEMBERS", members);
    }

    const QString type = items.value(GroupType);
    if (!type.isEmpty() && type.compare(QLatin1String("Group"), Qt::CaseInsensitive) != 0)
        card.extra(QStringLiteral("Type"), type);
    for (const notes::StoredItem* item : items.extras)
        card.extra(item->name, item->value);

    out.append(card.finish());
}
