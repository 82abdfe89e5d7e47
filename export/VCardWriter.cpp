#include "export/VCardWriter.h"
#include "export/BookValues.h"
#include "export/PersonFields.h"
#include "common/text/Utf8.h"

#include <QCryptographicHash>
#include <QHash>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace exporting {

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

void appendEscaped(QByteArray& out, QStringView value, qint64* replaced)
{
    const qsizetype n = value.size();
    const char16_t* in = value.utf16();
    // No unit takes more than three bytes: an escape takes two, U+FFFD three,
    // a pair of surrogates four for two units.
    const qsizetype at = out.size();
    out.resize(at + 3 * n);
    char* p = out.data() + at;
    auto utf8 = [&](char32_t c) { p = putUtf8CodePoint(p, c); };
    auto replace = [&] {
        *p++ = char(0xEF);
        *p++ = char(0xBF);
        *p++ = char(0xBD);
        ++*replaced;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = in[i];
        if (u < 0x80) {
            switch (u) {
            case u'\\':
            case u',':
            case u';':
                *p++ = '\\';
                *p++ = char(u);
                continue;
            case u'\r':
                if (i + 1 < n && in[i + 1] == u'\n')
                    ++i;
                [[fallthrough]];
            case u'\n':
                *p++ = '\\';
                *p++ = 'n';
                continue;
            case u'\t':
                *p++ = '\t';
                continue;
            default:
                break;
            }
            if (u < 0x20 || u == 0x7F)
                replace();
            else
                *p++ = char(u);
            continue;
        }
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(in[i + 1])) {
            utf8(QChar::surrogateToUcs4(u, in[i + 1]));
            ++i;
        } else if (QChar::isSurrogate(u)) {
            replace();
        } else {
            utf8(u);
        }
    }
    out.resize(p - out.data());
}

QByteArray escapeText(QStringView value, qint64* replaced)
{
    QByteArray out;
    appendEscaped(out, value, replaced);
    return out;
}

void appendFolded(QByteArray& out, const QByteArray& line)
{
    const char* p = line.constData();
    const qsizetype n = line.size();
    if (n <= 75) {
        out.append(line);
        out.append("\r\n", 2);
        return;
    }
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

namespace {

// A name-based UUID (RFC 4122 version 5, in the URL name space) of `name`.
QString nameUuid(const QString& name)
{
    static const QByteArray urlNamespace = QByteArray::fromHex("6ba7b8119dad11d180b400c04fd430c8");
    QByteArray hash = QCryptographicHash::hash(urlNamespace + name.toUtf8(), QCryptographicHash::Sha1).left(16);
    hash[6] = char((hash[6] & 0x0F) | 0x50);
    hash[8] = char((hash[8] & 0x3F) | 0x80);
    const QString hex = QString::fromLatin1(hash.toHex());
    return hex.left(8) + u'-' + hex.mid(8, 4) + u'-' + hex.mid(12, 4) + u'-' + hex.mid(16, 4) + u'-' + hex.mid(20);
}

// The UID of the card of a list member that is no contact of the book.
QString memberUid(const QString& key)
{
    return nameUuid(QStringLiteral("urn:pellaro:member:") + key);
}

}  // namespace

QString cardUid(const QString& unid)
{
    QString hex = unid.toLower();
    bool isHex = hex.size() == 32;
    for (const QChar c : hex)
        isHex = isHex && ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'));
    if (!isHex) {
        // Not one of our ids: a name-based UUID of it.
        return nameUuid(QStringLiteral("urn:pellaro:unid:") + unid);
    }
    return hex.left(8) + u'-' + hex.mid(8, 4) + u'-' + hex.mid(12, 4) + u'-' + hex.mid(16, 4) + u'-' + hex.mid(20);
}

QByteArray urlValue(const QString& webSite)
{
    const QString s = webSite;
    if (s.isEmpty() || s.front().isSpace() || s.back().isSpace())
        return QByteArray();
    for (const QChar c : s) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || c.isSurrogate())
            return QByteArray();
    }
    // A scheme: a letter, then letters, digits, "+", "-" or ".", then ":"
    // and something.
    qsizetype colon = 0;
    while (colon < s.size()
           && ((s[colon].isLetter() && s[colon].unicode() < 0x80)
               || (colon > 0 && (s[colon].isDigit() || s[colon] == u'+' || s[colon] == u'-' || s[colon] == u'.'))))
        ++colon;
    QString uri;
    if (colon > 0 && colon + 1 < s.size() && s[colon] == u':')
        uri = s;
    else if (s.startsWith(QLatin1String("www."), Qt::CaseInsensitive) && s.size() > 4)
        uri = QStringLiteral("http://") + s;
    else
        return QByteArray();
    QByteArray out;
    for (const char c : uri.toUtf8()) {
        switch (c) {
        case ';':
            out.append("%3B");
            break;
        case ',':
            out.append("%2C");
            break;
        case ' ':
            out.append("%20");
            break;
        case '\\':
            out.append("%5C");
            break;
        default:
            out.append(c);
        }
    }
    return out;
}

}  // namespace vcard

namespace {

using vcard::appendEscaped;
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
// The slots by name as written, and by name in folded case.
struct SlotIndex {
    QHash<QString, int> exact;
    QHash<QString, int> folded;
};

const SlotIndex& slotIndex(const QStringList& names)
{
    static QHash<const QStringList*, SlotIndex> indexes;
    auto it = indexes.find(&names);
    if (it == indexes.end()) {
        SlotIndex index;
        for (int i = 0; i < names.size(); ++i) {
            index.exact.insert(names[i], i);
            index.folded.insert(names[i].toCaseFolded(), i);
        }
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
        const SlotIndex& index = slotIndex(names);
        for (const notes::StoredItem& item : doc.items) {
            int slot = index.exact.value(item.name, -1);
            if (slot < 0)
                slot = index.folded.value(item.name.toCaseFolded(), -1);
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
    // Appends to `out`; `line` is room for one content line at a time.
    Card(QByteArray& out, QByteArray& line, qint64& replaced)
        : out_(out)
        , line_(line)
        , replaced_(replaced)
    {
        static const QByteArray start = [] {
            QByteArray b;
            appendFolded(b, "BEGIN:VCARD");
            appendFolded(b, "VERSION:3.0");
            appendFolded(b, ProdId);
            return b;
        }();
        out_.append(start);
    }

    QByteArray text(const QString& value) { return escapeText(value, &replaced_); }

    // NAME:value with the value as it is (already escaped, or a URI).
    void raw(const char* nameAndParams, const QByteArray& value)
    {
        start(nameAndParams);
        line_.append(value);
        appendFolded(out_, line_);
    }
    // NAME:text, unless the text is empty.
    void textLine(const char* nameAndParams, const QString& value)
    {
        if (value.isEmpty())
            return;
        start(nameAndParams);
        appendEscaped(line_, value, &replaced_);
        appendFolded(out_, line_);
    }
    // NAME:a;b;c..., unless every part is empty.
    void structured(const char* nameAndParams, std::initializer_list<QString> parts, bool evenIfEmpty = false)
    {
        bool any = evenIfEmpty;
        for (const QString& part : parts)
            any = any || !part.isEmpty();
        if (!any)
            return;
        start(nameAndParams);
        bool first = true;
        for (const QString& part : parts) {
            if (!first)
                line_.append(';');
            first = false;
            appendEscaped(line_, part, &replaced_);
        }
        appendFolded(out_, line_);
    }
    // An item that has no property of its own: its name and value.
    void extra(const QString& name, const QString& value)
    {
        if (value.isEmpty())
            return;
        start("X-PELLARO-ITEM");
        appendEscaped(line_, name, &replaced_);
        line_.append(';');
        appendEscaped(line_, value, &replaced_);
        appendFolded(out_, line_);
    }

    void finish() { out_.append("END:VCARD\r\n", 11); }

private:
    void start(const char* nameAndParams)
    {
        line_.resize(0);
        line_.append(nameAndParams);
        line_.append(':');
    }

    QByteArray& out_;
    QByteArray& line_;
    qint64& replaced_;
};

// The name a card is shown by: the name, else the company, else an e-mail
// address, else a telephone number.
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
    for (int slot : {CompanyName, MailAddress, MiscPhone1, MiscPhone2, MiscPhone3, OfficePhoneNumber, CellPhoneNumber,
                     PhoneNumber, PhoneNumber_6, OfficeFAXPhoneNumber, HomeFAXPhoneNumber}) {
        const QString v = items.value(slot).trimmed();
        if (!v.isEmpty())
            return v;
    }
    return QStringLiteral("(no name)");
}

QByteArray dateValue(const BookDate& dt, bool* withTime)
{
    *withTime = dt.time != QTime(0, 0);
    const QByteArray day = dt.date.toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
    if (*withTime)
        return day + 'T' + dt.time.toString(QStringLiteral("HH:mm:ss")).toLatin1();
    return day;
}

bool isForm(const notes::StoredDocument& doc, QLatin1String form)
{
    return !doc.isDesign && doc.form.compare(form, Qt::CaseInsensitive) == 0;
}

// CATEGORIES:a,b,... of the parts, each once, in order.
void categoriesLine(Card& card, const QStringList& parts)
{
    QByteArray list;
    QSet<QString> seen;
    for (const QString& part : parts) {
        if (part.isEmpty() || seen.contains(part))
            continue;
        seen.insert(part);
        if (!list.isEmpty())
            list.append(',');
        list.append(card.text(part));
    }
    if (!list.isEmpty())
        card.raw("CATEGORIES", list);
}

}  // namespace

VCardWriter::VCardWriter(QLocale locale)
    : dates_(std::move(locale))
{
}

void VCardWriter::noteList(const notes::StoredDocument& doc)
{
    if (!isForm(doc, QLatin1String("Group")))
        return;
    List list;
    list.doc = doc;
    const SortedItems items(doc, groupSlotNames());
    list.name = items.value(ListName);
    const auto members = splitMembers(items.value(Members));
    list.listForm = members.has_value();
    QSet<int> inList;
    for (const QString& text : members.value_or(QStringList())) {
        Member m = parseMember(text);
        const QString key = m.key();
        if (key.isEmpty())
            continue;
        auto it = memberByKey_.find(key);
        if (it == memberByKey_.end()) {
            it = memberByKey_.insert(key, int(members_.size()));
            members_.push_back({key, m.name.trimmed(), m.address.trimmed(), QString(), QStringList()});
        }
        MemberEntry& entry = members_[std::size_t(*it)];
        if (entry.name.isEmpty())
            entry.name = m.name.trimmed();
        // A member once, however often the list names it.
        if (inList.contains(*it))
            continue;
        inList.insert(*it);
        list.members.push_back(*it);
        if (!list.name.isEmpty() && !entry.lists.contains(list.name))
            entry.lists.append(list.name);
    }
    // The members are kept as members; their text is not needed again.
    if (list.listForm) {
        for (notes::StoredItem& item : list.doc.items)
            if (item.name.compare(QLatin1String("Members"), Qt::CaseInsensitive) == 0)
                item.value = QString();
    }
    lists_.push_back(std::move(list));
}

bool VCardWriter::writeDocument(QByteArray& out, const notes::StoredDocument& doc)
{
    if (isForm(doc, QLatin1String("Person"))) {
        writePerson(out, doc);
        return true;
    }
    // Its card is written by finish(), once every contact is known.
    return isForm(doc, QLatin1String("Group"));
}

void VCardWriter::finish(QByteArray& out, const std::function<void()>& afterCard)
{
    for (; listsWritten_ < qsizetype(lists_.size()); ++listsWritten_) {
        writeGroup(out, lists_[std::size_t(listsWritten_)]);
        if (afterCard)
            afterCard();
    }
    for (const MemberEntry& member : members_) {
        if (member.contactUid.isEmpty()) {
            writeMember(out, member);
            if (afterCard)
                afterCard();
        }
    }
    lists_.clear();
    members_.clear();
    memberByKey_.clear();
}

void VCardWriter::writePerson(QByteArray& out, const notes::StoredDocument& doc)
{
    const SortedItems items(doc, personSlotNames());
    auto v = [&](int slot) { return items.value(slot); };
    Card card(out, line_, replaced_);
    const QString uid = vcard::cardUid(doc.unid);
    const QString fn = formattedName(items);

    card.textLine("UID", uid);
    card.structured("N", {v(LastName), v(FirstName), v(MiddleName), v(Title), v(Suffix)}, true);
    card.raw("FN", card.text(fn));
    // No empty unit after the name: parsers drop it.
    if (v(Department).isEmpty())
        card.textLine("ORG", v(CompanyName));
    else
        card.structured("ORG", {v(CompanyName), v(Department)});
    card.textLine("TITLE", v(JobTitle));

    // The lists this contact is a member of: by one of its addresses, or by
    // its name for a member the list holds by name only. A member is the
    // first contact found for it.
    QStringList lists;
    auto claim = [&](const QString& key) {
        const auto it = memberByKey_.constFind(key);
        if (it == memberByKey_.constEnd())
            return;
        MemberEntry& member = members_[std::size_t(*it)];
        if (!member.contactUid.isEmpty())
            return;
        member.contactUid = uid;
        lists += member.lists;
    };
    if (!memberByKey_.isEmpty())
        claim(fn.toCaseFolded());

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
        if (!memberByKey_.isEmpty())
            claim(address.trimmed().toCaseFolded());
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
    if (const QByteArray url = vcard::urlValue(web); !url.isEmpty())
        card.raw("URL", url);
    else
        card.extra(QStringLiteral("WebSite"), web);

    // Dates that do not read back as dates go into the note.
    QString note = v(Comment);
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
        if (const auto when = dates_.read(t)) {
            bool withTime = false;
            const QByteArray value = dateValue(*when, &withTime);
            card.raw(withTime ? d.propertyWithTime : d.property, value);
        } else {
            if (!note.isEmpty())
                note += u'\n';
            note += personSlotNames()[d.slot] + QStringLiteral(": ") + t;
        }
    }
    card.textLine("NOTE", note);

    // The book holds the categories as one text joined with ", "; the lists
    // the contact is in follow.
    const QString categories = v(Categories);
    categoriesLine(card, (categories.isEmpty() ? QStringList() : splitJoinedList(categories)) + lists);

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

    card.finish();
}

void VCardWriter::writeGroup(QByteArray& out, const List& list)
{
    const SortedItems items(list.doc, groupSlotNames());
    Card card(out, line_, replaced_);
    const QString name = list.name;

    card.textLine("UID", vcard::cardUid(list.doc.unid));
    card.raw("X-ADDRESSBOOKSERVER-KIND", "group");
    card.structured("N", {name, QString(), QString(), QString(), QString()}, true);
    card.raw("FN", card.text(name.trimmed().isEmpty() ? QStringLiteral("(no name)") : name));
    card.textLine("NOTE", items.value(ListDescription));

    for (const int m : list.members) {
        const MemberEntry& member = members_[std::size_t(m)];
        const QString uid = member.contactUid.isEmpty() ? vcard::memberUid(member.key) : member.contactUid;
        card.raw("X-ADDRESSBOOKSERVER-MEMBER", "urn:uuid:" + uid.toLatin1());
    }
    if (!list.listForm)
        card.textLine("X-PELLARO-MEMBERS", items.value(Members));

    const QString type = items.value(GroupType);
    if (!type.isEmpty() && type.compare(QLatin1String("Group"), Qt::CaseInsensitive) != 0)
        card.extra(QStringLiteral("Type"), type);
    for (const notes::StoredItem* item : items.extras)
        card.extra(item->name, item->value);

    card.finish();
}

void VCardWriter::writeMember(QByteArray& out, const MemberEntry& member)
{
    Card card(out, line_, replaced_);
    card.textLine("UID", vcard::memberUid(member.key));
    // The name as one text: which of its words is the family name is not
    // known.
    card.structured("N", {QString(), member.name, QString(), QString(), QString()}, true);
    card.raw("FN", card.text(member.name.isEmpty() ? member.address : member.name));
    if (isMailAddress(member.address))
        card.textLine("EMAIL;TYPE=internet,pref", member.address);
    else
        card.textLine("NOTE", member.address);
    categoriesLine(card, member.lists);
    card.finish();
}

}  // namespace exporting
