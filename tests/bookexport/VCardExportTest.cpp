// The vCard export read back with the strict reader and every non-empty item
// of every Person and Group document found again, and read by other
// programs' parsers (vobject, Evolution's) where installed, which must read
// every value as the strict reader does; lists whose members all resolve to
// cards; dates parsed back under the locale they were written with.

#include "export/DateText.h"
#include "export/VCardWriter.h"
#include "export/notes/ItemList.h"
#include "tests/bookexport/ExportFixture.h"
#include "tests/bookexport/VCardReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QUrl>

#include <sqlite3.h>

#include <algorithm>

namespace {

using exporting::VCardWriter;
namespace vcard = exporting::vcard;

// One property as [NAME, sorted TYPE values, values], the form
// read_vcards.py prints.
using Reading = QList<QStringList>;
using FileReading = std::vector<std::vector<std::pair<QString, QStringList>>>;

// What the strict reader makes of the file, in that form; X-PELLARO-ITEM
// ("name;value", whose split parsers disagree on) left out.
FileReading strictReading(const VCardFile& file)
{
    FileReading cards;
    for (const VCard& card : file.cards) {
        std::vector<std::pair<QString, QStringList>> props;
        for (const VProperty& p : card.properties) {
            if (p.name == QLatin1String("X-PELLARO-ITEM") || p.name == QLatin1String("BEGIN")
                || p.name == QLatin1String("END"))
                continue;
            QString error;
            QStringList values;
            if (p.name == QLatin1String("N") || p.name == QLatin1String("ADR") || p.name == QLatin1String("ORG"))
                values = splitValue(p.value, ';', &error);
            else if (p.name == QLatin1String("CATEGORIES"))
                values = splitValue(p.value, ',', &error);
            else
                values = QStringList{unescapeText(p.value, &error)};
            QStringList types = p.params.value(QStringLiteral("TYPE"));
            types.sort();
            props.emplace_back(p.name + u'|' + types.join(u','), values);
        }
        std::sort(props.begin(), props.end());
        cards.push_back(std::move(props));
    }
    return cards;
}

// The same file as another parser reads it; empty optional when that parser
// is not installed.
std::optional<FileReading> otherReading(const QString& parser, const QString& path, QString* error)
{
    const QString python = QStringLiteral("/usr/bin/python3");
    if (!QFileInfo::exists(python))
        return std::nullopt;
    QProcess p;
    p.start(python, {QStringLiteral(PELLARO_SOURCE_DIR "/tests/bookexport/read_vcards.py"), parser, path});
    p.waitForFinished(120000);
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 3)
        return std::nullopt;
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = parser + QStringLiteral(" failed: ") + QString::fromUtf8(p.readAllStandardError()).right(1500);
        return FileReading();
    }
    FileReading cards;
    for (const QJsonValue& c : QJsonDocument::fromJson(p.readAllStandardOutput()).array()) {
        std::vector<std::pair<QString, QStringList>> props;
        for (const QJsonValue& prop : c.toArray()) {
            const QJsonArray a = prop.toArray();
            const QString name = a[0].toString();
            if (name == QLatin1String("X-PELLARO-ITEM"))
                continue;
            QStringList types, values;
            for (const QJsonValue& t : a[1].toArray())
                types.append(t.toString());
            for (const QJsonValue& v : a[2].toArray())
                values.append(v.toString());
            props.emplace_back(name + u'|' + types.join(u','), values);
        }
        std::sort(props.begin(), props.end());
        cards.push_back(std::move(props));
    }
    return cards;
}

// Every value the strict reader read is what vobject and Evolution read.
void expectOtherParsersAgree(const QString& path, const VCardFile& strict)
{
    const FileReading mine = strictReading(strict);
    for (const QString& parser : {QStringLiteral("vobject"), QStringLiteral("evolution")}) {
        QString error;
        const auto theirs = otherReading(parser, path, &error);
        if (!theirs) {
            std::fprintf(stderr, "%s not installed: not compared\n", qPrintable(parser));
            continue;
        }
        ASSERT_TRUE(error.isEmpty()) << qPrintable(error);
        ASSERT_EQ(theirs->size(), mine.size()) << qPrintable(parser);
        for (std::size_t i = 0; i < mine.size(); ++i) {
            SCOPED_TRACE((parser + QStringLiteral(" card %1").arg(i)).toStdString());
            EXPECT_EQ((*theirs)[i], mine[i]);
        }
    }
}

// Line breaks as a vCard carries them: one kind only.
QString oneKindOfBreak(QString s)
{
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(u'\r', u'\n');
    return s;
}

// The items of a Person card, by Notes item name, as the documented mapping
// gives them back.
struct PersonBack {
    QHash<QString, QString> items;
    QStringList emails;  // every EMAIL, in order
    QStringList notes;  // every NOTE, in order
    QString error;
};

QString text(const VProperty* p, QString* error)
{
    return p ? unescapeText(p->value, error) : QString();
}

PersonBack readPerson(const VCard& card)
{
    PersonBack b;
    QString* e = &b.error;
    auto put = [&](const char* item, const QString& value) {
        if (!value.isEmpty())
            b.items.insert(QString::fromLatin1(item), value);
    };
    const QStringList n = splitValue(card.first(QStringLiteral("N"))->value, ';', e);
    if (n.size() != 5) {
        b.error = QStringLiteral("N without five parts");
        return b;
    }
    put("LastName", n[0]);
    put("FirstName", n[1]);
    put("MiddleName", n[2]);
    put("Title", n[3]);
    put("Suffix", n[4]);
    if (const VProperty* org = card.first(QStringLiteral("ORG"))) {
        const QStringList parts = splitValue(org->value, ';', e);
        put("CompanyName", parts.value(0));
        put("Department", parts.value(1));
    }
    put("JobTitle", text(card.first(QStringLiteral("TITLE")), e));
    for (const VProperty* p : card.all(QStringLiteral("EMAIL"))) {
        const QString address = unescapeText(p->value, e);
        b.emails.append(address);
        if (p->hasType(QStringLiteral("pref")))
            put("MailAddress", address);
    }
    for (const VProperty* p : card.all(QStringLiteral("TEL"))) {
        const QString number = unescapeText(p->value, e);
        const bool work = p->hasType(QStringLiteral("work")), home = p->hasType(QStringLiteral("home"));
        const bool fax = p->hasType(QStringLiteral("fax"));
        if (work)
            put(fax ? "OfficeFAXPhoneNumber" : "OfficePhoneNumber", number);
        else if (home)
            put(fax ? "HomeFAXPhoneNumber" : "PhoneNumber", number);
        else if (p->hasType(QStringLiteral("cell")))
            put("CellPhoneNumber", number);
        else if (p->hasType(QStringLiteral("pager")))
            put("PhoneNumber_6", number);
    }
    for (const VProperty* p : card.all(QStringLiteral("ADR"))) {
        const QStringList a = splitValue(p->value, ';', e);
        if (a.size() != 7 || !a[0].isEmpty() || !a[1].isEmpty()) {
            b.error = QStringLiteral("ADR without seven parts");
            return b;
        }
        const bool work = p->hasType(QStringLiteral("work"));
        put(work ? "OfficeStreetAddress" : "StreetAddress", a[2]);
        put(work ? "OfficeCity" : "City", a[3]);
        put(work ? "OfficeState" : "State", a[4]);
        put(work ? "OfficeZIP" : "Zip", a[5]);
        put(work ? "OfficeCountry" : "Country", a[6]);
    }
    if (const VProperty* url = card.first(QStringLiteral("URL"))) {
        // Back from the percent-encoding of what parsers take as separators.
        QString site = QString::fromUtf8(url->value);
        for (const auto& [code, c] : {std::pair{"%3B", ";"}, {"%2C", ","}, {"%20", " "}, {"%5C", "\\"}})
            site.replace(QLatin1String(code), QLatin1String(c));
        put("WebSite", site);
    }
    // Dates as ISO text; the test turns them back into the book's form.
    if (const VProperty* p = card.first(QStringLiteral("BDAY")))
        put("Birthday", QString::fromLatin1(p->value));
    if (const VProperty* p = card.first(QStringLiteral("X-MS-ANNIVERSARY")))
        put("Anniversary", QString::fromLatin1(p->value));
    for (const VProperty* p : card.all(QStringLiteral("NOTE")))
        b.notes.append(unescapeText(p->value, e));
    if (const VProperty* p = card.first(QStringLiteral("CATEGORIES")))
        put("Categories", splitValue(p->value, ',', e).join(QStringLiteral(", ")));
    put("Manager", text(card.first(QStringLiteral("X-MS-MANAGER")), e));
    put("Assistant", text(card.first(QStringLiteral("X-MS-ASSISTANT")), e));
    put("Spouse", text(card.first(QStringLiteral("X-MS-SPOUSE")), e));
    put("Children", text(card.first(QStringLiteral("X-MS-CHILD")), e));
    put("Location", text(card.first(QStringLiteral("X-PELLARO-LOCATION")), e));
    for (const VProperty* p : card.all(QStringLiteral("X-PELLARO-ITEM"))) {
        const QStringList nv = splitValue(p->value, ';', e);
        if (nv.size() != 2) {
            b.error = QStringLiteral("X-PELLARO-ITEM without name and value");
            return b;
        }
        b.items.insert(nv[0], nv[1]);
    }
    return b;
}

// Checks one Person document against its card: every non-empty item found.
void expectPersonCard(const notes::StoredDocument& d, const VCard& card)
{
    PersonBack back = readPerson(card);
    ASSERT_TRUE(back.error.isEmpty()) << qPrintable(back.error);
    QString error;
    EXPECT_EQ(unescapeText(card.first(QStringLiteral("UID"))->value, &error), vcard::cardUid(d.unid));
    // One NOTE: the comment, then the dates that read as none.
    EXPECT_LE(back.notes.size(), 1);
    const QString note = back.notes.value(0);
    for (const notes::StoredItem& item : d.items) {
        if (item.value.isEmpty() || item.name == QLatin1String("Form") || item.name == QLatin1String("Type"))
            continue;
        const QString expected = oneKindOfBreak(item.value);
        SCOPED_TRACE(item.name.toStdString());
        if (item.name.startsWith(QLatin1String("MiscPhone"))) {
            // Other e-mail addresses: present, but each one only once.
            EXPECT_TRUE(std::any_of(back.emails.begin(), back.emails.end(),
                                    [&](const QString& a) { return a.trimmed() == expected.trimmed(); }));
            continue;
        }
        if (item.name == QLatin1String("Comment")) {
            EXPECT_TRUE(note.startsWith(expected));
            continue;
        }
        if (item.name == QLatin1String("Birthday") || item.name == QLatin1String("Anniversary")) {
            if (back.items.contains(item.name)) {
                // Back into the book's form under the same locale.
                const QDateTime when = QDateTime::fromString(back.items.value(item.name), Qt::ISODate);
                const QDate day
                    = when.isValid() ? when.date() : QDate::fromString(back.items.value(item.name), Qt::ISODate);
                ASSERT_TRUE(day.isValid()) << qPrintable(back.items.value(item.name));
                QString again = QLocale().toString(day, QLocale::ShortFormat);
                if (when.isValid() && when.time() != QTime(0, 0))
                    again += u' ' + QLocale().toString(when.time(), QLocale::ShortFormat);
                EXPECT_EQ(again, item.value);
            } else {
                EXPECT_TRUE(note.contains(item.name + QStringLiteral(": ") + expected))
                    << "an undated text kept in the note";
            }
            continue;
        }
        EXPECT_EQ(back.items.value(item.name), expected);
    }
    QStringList emails = back.emails;
    emails.removeDuplicates();
    EXPECT_EQ(emails.size(), back.emails.size()) << "an e-mail address repeated";
}

class VCardExport : public ExportFixture {
protected:
    VCardFile exportAndRead(BookExportResult* result = nullptr)
    {
        const QString out = home.file(QStringLiteral("book.vcf"));
        QFile::remove(out);
        const BookExportResult r = exportBook(ExportFormat::VCard, out);
        if (result)
            *result = r;
        VCardFile file = readVCardFile(readAll(out));
        if (file.error.isEmpty())
            expectOtherParsersAgree(out, file);
        return file;
    }
};

}  // namespace

TEST_F(VCardExport, EveryItemOfEveryPersonIsFoundInItsCard)
{
    const int people = int(awkwardValues().size());
    for (int seed = 0; seed < people; ++seed) {
        PersonFields f = awkwardPerson(seed);
        if (seed % 3 == 0) {
            f.elotus_BirthDay = QLocale().toString(QDate(1970 + seed, 1 + seed % 12, 1 + seed), QLocale::ShortFormat);
            f.elotus_Anniversary = QLocale().toString(QDate(2001, 2, 3), QLocale::ShortFormat) + u' '
                + QLocale().toString(QTime(14, 30), QLocale::ShortFormat);
        }
        if (seed % 4 == 1)
            f.elotus_WebPage = QStringLiteral("https://example.com/a,b;c?q=1&r=ü");
        addPerson(f);
    }
    addPerson(PersonFields{});

    BookExportResult result;
    const VCardFile vcf = exportAndRead(&result);
    ASSERT_TRUE(vcf.error.isEmpty()) << qPrintable(vcf.error);
    EXPECT_GT(vcf.foldedLines, 0);
    EXPECT_EQ(result.replacedCharacters, 0);
    const auto docs = documents();
    ASSERT_EQ(vcf.cards.size(), docs.size());
    EXPECT_EQ(result.exported, qint64(docs.size()));
    for (std::size_t i = 0; i < docs.size(); ++i) {
        SCOPED_TRACE(i);
        expectPersonCard(docs[i], vcf.cards[i]);
    }
    // The empty contact still has the two names a card must have, and a name
    // to be shown by.
    QString error;
    EXPECT_EQ(vcf.cards.back().first(QStringLiteral("N"))->value, ";;;;");
    EXPECT_FALSE(unescapeText(vcf.cards.back().first(QStringLiteral("FN"))->value, &error).isEmpty());
}

TEST_F(VCardExport, NameParts)
{
    PersonFields f;
    f.elotus_Title = QStringLiteral("Dr.");
    f.elotus_FirstName = QStringLiteral(" Seán ");
    f.elotus_LastName = QStringLiteral("O'Neill, Jr");
    f.elotus_Company = QStringLiteral("Acme; Sons");
    addPerson(f);
    PersonFields companyOnly;
    companyOnly.elotus_Company = QStringLiteral("Acme Ltd");
    addPerson(companyOnly);

    const VCardFile vcf = exportAndRead();
    ASSERT_TRUE(vcf.error.isEmpty()) << qPrintable(vcf.error);
    ASSERT_EQ(vcf.cards.size(), 2u);
    EXPECT_EQ(vcf.cards[0].first(QStringLiteral("N"))->value, "O'Neill\\, Jr; Seán ;;Dr.;");
    EXPECT_EQ(vcf.cards[0].first(QStringLiteral("FN"))->value, "Dr. Seán O'Neill\\, Jr");
    EXPECT_EQ(vcf.cards[0].first(QStringLiteral("ORG"))->value, "Acme\\; Sons");
    EXPECT_EQ(vcf.cards[1].first(QStringLiteral("FN"))->value, "Acme Ltd");
}

TEST_F(VCardExport, ListsAreGroupsWhoseEveryMemberResolvesToACard)
{
    PersonFields ann;
    ann.elotus_FirstName = QStringLiteral("Ann");
    ann.elotus_LastName = QStringLiteral("Smith");
    ann.elotus_Email = QStringLiteral("ann@example.com");
    ann.elotus_Categories = QStringLiteral("Friends");
    addPerson(ann);
    PersonFields jane;
    jane.elotus_FirstName = QStringLiteral("Jane");
    jane.elotus_LastName = QStringLiteral("O'Brien");
    addPerson(jane);
    PersonFields bob;
    bob.elotus_FirstName = QStringLiteral("Bob");
    bob.elotus_Email = QStringLiteral("bob@example.com");
    bob.elotus_OtherEmail2 = QStringLiteral("bob@work.example.com");
    addPerson(bob);
    const QString team = QStringLiteral("Team, \"A\"; B");
    addGroup(team,
             QStringLiteral("'Ann Smith <ann@example.com>' 'Jane O'Brien' 'x, y; z' '' 'Ωμέγα <o@example.gr>' "
                            "'ANN@example.com' 'bob@work.example.com' "),
             QStringLiteral("first line\r\nsecond"));
    addGroup(QStringLiteral("Other"), QStringLiteral("'o@example.gr' 'New Person <new@example.com>' "), QString());
    addGroup(QStringLiteral("Nobody"), QString(), QString());
    addGroup(QStringLiteral("Not quoted"), QStringLiteral("Ann, Bob"), QString());

    BookExportResult result;
    const VCardFile vcf = exportAndRead(&result);
    ASSERT_TRUE(vcf.error.isEmpty()) << qPrintable(vcf.error);
    EXPECT_EQ(result.exported, 7);
    // The contacts, then each list followed by a card for each of its members
    // that is no contact and has none yet: Team, "x, y; z", o@example.gr (in
    // two lists, one card), Other, new@, Nobody, Not quoted.
    ASSERT_EQ(vcf.cards.size(), 10u);
    QString error;
    QHash<QString, const VCard*> byUid;
    for (const VCard& card : vcf.cards)
        byUid.insert(unescapeText(card.first(QStringLiteral("UID"))->value, &error), &card);
    ASSERT_EQ(byUid.size(), 10);
    auto fn = [&](const VCard* card) { return unescapeText(card->first(QStringLiteral("FN"))->value, &error); };
    auto categories = [&](const VCard* card) {
        const VProperty* p = card->first(QStringLiteral("CATEGORIES"));
        return p ? splitValue(p->value, ',', &error) : QStringList();
    };
    auto members = [&](const VCard& list) {
        QStringList names;
        for (const VProperty* p : list.all(QStringLiteral("X-ADDRESSBOOKSERVER-MEMBER"))) {
            EXPECT_TRUE(p->value.startsWith("urn:uuid:")) << p->value.constData();
            const VCard* card = byUid.value(QString::fromLatin1(p->value.mid(9)));
            EXPECT_NE(card, nullptr) << "a member that resolves to no card: " << p->value.constData();
            names.append(card ? fn(card) : QString());
        }
        return names;
    };

    const VCard& teamCard = vcf.cards[3];
    EXPECT_EQ(teamCard.first(QStringLiteral("X-ADDRESSBOOKSERVER-KIND"))->value, "group");
    EXPECT_EQ(fn(&teamCard), team);
    EXPECT_EQ(unescapeText(teamCard.first(QStringLiteral("NOTE"))->value, &error),
              QStringLiteral("first line\nsecond"));
    // In order, each once: contacts by their card, others by cards of their own.
    EXPECT_EQ(members(teamCard),
              (QStringList{QStringLiteral("Ann Smith"), QStringLiteral("Jane O'Brien"), QStringLiteral("x, y; z"),
                           QStringLiteral("Ωμέγα"), QStringLiteral("Bob")}));
    EXPECT_EQ(members(vcf.cards[6]), (QStringList{QStringLiteral("Ωμέγα"), QStringLiteral("New Person")}));
    EXPECT_TRUE(members(vcf.cards[8]).isEmpty());
    EXPECT_EQ(unescapeText(vcf.cards[9].first(QStringLiteral("X-PELLARO-MEMBERS"))->value, &error),
              QStringLiteral("Ann, Bob"));

    // Every member's card names its lists.
    EXPECT_EQ(categories(&vcf.cards[0]), (QStringList{QStringLiteral("Friends"), team}));
    EXPECT_EQ(categories(&vcf.cards[1]), QStringList{team});
    EXPECT_EQ(categories(&vcf.cards[2]), QStringList{team});
    const VCard& omega = vcf.cards[5];
    EXPECT_EQ(fn(&omega), QStringLiteral("Ωμέγα"));
    EXPECT_EQ(unescapeText(omega.first(QStringLiteral("EMAIL"))->value, &error), QStringLiteral("o@example.gr"));
    EXPECT_EQ(categories(&omega), (QStringList{team, QStringLiteral("Other")}));
    EXPECT_EQ(vcf.cards[4].first(QStringLiteral("EMAIL")), nullptr);
    EXPECT_TRUE(error.isEmpty()) << qPrintable(error);
}

// The lists are read again for their cards, after the contacts': a member
// is still one card, with the first name any list gives it and the address
// it was first given with, and every card of a member names all its lists.
TEST_F(VCardExport, MembersOfSeveralListsResolveOnceWithTheirFirstNameAndAddress)
{
    PersonFields ann;
    ann.elotus_FirstName = QStringLiteral("Ann");
    ann.elotus_LastName = QStringLiteral("Smith");
    ann.elotus_Email = QStringLiteral("ann@example.com");
    addPerson(ann);
    PersonFields other;  // the same address: the first contact is the member
    other.elotus_FirstName = QStringLiteral("Ann");
    other.elotus_LastName = QStringLiteral("Other");
    other.elotus_Email = QStringLiteral("ANN@example.com");
    addPerson(other);
    // Carl and Kate are first given by address alone, and named by a later
    // list; Dora is named by the second mention in the same list. The second
    // "Alpha" is another list of the same name. Kate's second address and
    // Émile's are the first ones in another case (U+212A folds to "k").
    addGroup(QStringLiteral("Alpha"),
             QStringLiteral("'carl@EXAMPLE.com' 'ann@example.com' 'dora@example.com' 'Dora <dora@example.com>' "
                            "'kate@example.com' "),
             QString());
    addGroup(QStringLiteral("Beta"),
             QStringLiteral("'Carl Jones <carl@example.com>' 'Ann Smith' 'Kate <\u212Aate@example.com>' "), QString());
    addGroup(QStringLiteral("Alpha"), QStringLiteral("'ann@example.com' 'Émile <ÉMILE@exämple.com>' "), QString());
    addGroup(QStringLiteral("Gamma"), QStringLiteral("'émile@exÄmple.com' "), QString());

    const VCardFile vcf = exportAndRead();
    ASSERT_TRUE(vcf.error.isEmpty()) << qPrintable(vcf.error);
    QString error;
    auto fn = [&](const VCard& card) { return unescapeText(card.first(QStringLiteral("FN"))->value, &error); };
    auto value = [&](const VCard& card, const char* name) {
        const VProperty* p = card.first(QString::fromLatin1(name));
        return p ? unescapeText(p->value, &error) : QString();
    };
    auto categories = [&](const VCard& card) {
        const VProperty* p = card.first(QStringLiteral("CATEGORIES"));
        return p ? splitValue(p->value, ',', &error) : QStringList();
    };
    QStringList order;
    QHash<QString, const VCard*> byUid;
    for (const VCard& card : vcf.cards) {
        order.append(fn(card));
        byUid.insert(value(card, "UID"), &card);
    }
    // Each list's card, then the members that get their card with it.
    EXPECT_EQ(order,
              (QStringList{QStringLiteral("Ann Smith"), QStringLiteral("Ann Other"), QStringLiteral("Alpha"),
                           QStringLiteral("Dora"), QStringLiteral("Beta"), QStringLiteral("Carl Jones"),
                           QStringLiteral("Kate"), QStringLiteral("Alpha"), QStringLiteral("Émile"),
                           QStringLiteral("Gamma")}));
    ASSERT_EQ(byUid.size(), vcf.cards.size());
    auto members = [&](int list) {
        QStringList names;
        for (const VProperty* p : vcf.cards[std::size_t(list)].all(QStringLiteral("X-ADDRESSBOOKSERVER-MEMBER"))) {
            const VCard* card = byUid.value(QString::fromLatin1(p->value.mid(9)));
            names.append(card ? fn(*card) : QStringLiteral("(unresolved)"));
        }
        return names;
    };
    EXPECT_EQ(members(2),
              (QStringList{QStringLiteral("Carl Jones"), QStringLiteral("Ann Smith"), QStringLiteral("Dora"),
                           QStringLiteral("Kate")}));
    EXPECT_EQ(members(4),
              (QStringList{QStringLiteral("Carl Jones"), QStringLiteral("Ann Smith"), QStringLiteral("Kate")}));
    EXPECT_EQ(members(7), (QStringList{QStringLiteral("Ann Smith"), QStringLiteral("Émile")}));
    EXPECT_EQ(members(9), QStringList{QStringLiteral("Émile")});

    const QStringList alphaBeta{QStringLiteral("Alpha"), QStringLiteral("Beta")};
    // By its name first, then by its address.
    EXPECT_EQ(categories(vcf.cards[0]), (QStringList{QStringLiteral("Beta"), QStringLiteral("Alpha")}));
    EXPECT_TRUE(categories(vcf.cards[1]).isEmpty());
    EXPECT_EQ(value(vcf.cards[3], "EMAIL"), QStringLiteral("dora@example.com"));
    EXPECT_EQ(categories(vcf.cards[3]), QStringList{QStringLiteral("Alpha")});
    EXPECT_EQ(value(vcf.cards[5], "EMAIL"), QStringLiteral("carl@EXAMPLE.com"));
    EXPECT_EQ(categories(vcf.cards[5]), alphaBeta);
    EXPECT_EQ(value(vcf.cards[6], "EMAIL"), QStringLiteral("kate@example.com"));
    EXPECT_EQ(categories(vcf.cards[6]), alphaBeta);
    EXPECT_EQ(value(vcf.cards[8], "EMAIL"), QStringLiteral("ÉMILE@exämple.com"));
    EXPECT_EQ(categories(vcf.cards[8]), (QStringList{QStringLiteral("Alpha"), QStringLiteral("Gamma")}));
    EXPECT_TRUE(error.isEmpty()) << qPrintable(error);
}

TEST_F(VCardExport, OtherDocumentsAreLeftOutAndUnknownItemsKept)
{
    addDocument({{QStringLiteral("Form"), QStringLiteral("Memo")}, {QStringLiteral("Subject"), QStringLiteral("x")}},
                {});
    addDocument({{QStringLiteral("Form"), QStringLiteral("Person")},
                 {QStringLiteral("LastName"), QStringLiteral("Doe")},
                 {QStringLiteral("ShortName"), QStringLiteral("jdoe; j,d")},
                 {QStringLiteral("Type"), QStringLiteral("Person")}},
                {});
    // A list with a second "Members" item, which only another program's
    // book can hold (ours replace an item of the same name): kept as an
    // item, not taken for the members.
    addDocument({{QStringLiteral("Form"), QStringLiteral("Group")}}, {});
    {
        QByteArray items;
        notes::store::encodeItems({{QStringLiteral("Form"), QStringLiteral("Group")},
                                   {QStringLiteral("ListName"), QStringLiteral("Team")},
                                   {QStringLiteral("Members"), QStringLiteral("'Ann <ann@example.com>' ")},
                                   {QStringLiteral("MEMBERS"), QStringLiteral("second")}},
                                  items);
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(book).constData(), &db), SQLITE_OK);
        sqlite3_stmt* update = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "UPDATE notes SET items=?1 WHERE note_id=(SELECT max(note_id) FROM notes)", -1,
                                     &update, nullptr),
                  SQLITE_OK);
        sqlite3_bind_blob(update, 1, items.constData(), int(items.size()), SQLITE_STATIC);
        EXPECT_EQ(sqlite3_step(update), SQLITE_DONE);
        sqlite3_finalize(update);
        sqlite3_close(db);
    }
    BookExportResult result;
    const VCardFile vcf = exportAndRead(&result);
    ASSERT_TRUE(vcf.error.isEmpty()) << qPrintable(vcf.error);
    EXPECT_EQ(result.exported, 2);
    EXPECT_EQ(result.leftOut, 1);
    ASSERT_EQ(vcf.cards.size(), 3u);  // the contact, the list, its member
    expectPersonCard(documents()[1], vcf.cards[0]);
    const auto extras = vcf.cards[1].all(QStringLiteral("X-PELLARO-ITEM"));
    ASSERT_EQ(extras.size(), 1u);
    EXPECT_EQ(extras[0]->value, QStringLiteral("MEMBERS;second"));
    EXPECT_EQ(vcf.cards[1].all(QStringLiteral("X-ADDRESSBOOKSERVER-MEMBER")).size(), 1u);
}

TEST_F(VCardExport, ControlCharactersAndBrokenPairsAreReplacedAndCounted)
{
    PersonFields f;
    f.elotus_FirstName = QStringLiteral("a\x01") + QChar(0xDC00) + QStringLiteral("b\x7F");
    addPerson(f);
    BookExportResult result;
    const VCardFile vcf = exportAndRead(&result);
    ASSERT_TRUE(vcf.error.isEmpty()) << qPrintable(vcf.error);
    EXPECT_EQ(result.replacedCharacters, 6);  // three in N, three in FN
    QString error;
    EXPECT_EQ(splitValue(vcf.cards[0].first(QStringLiteral("N"))->value, ';', &error)[1],
              QStringLiteral("a\uFFFD\uFFFDb\uFFFD"));
}

TEST_F(VCardExport, EmptyBookGivesAnEmptyFile)
{
    addDocument({{QStringLiteral("Form"), QStringLiteral("Memo")}}, {});
    const QString out = home.file(QStringLiteral("empty.vcf"));
    const BookExportResult r = exportBook(ExportFormat::VCard, out);
    EXPECT_EQ(r.exported, 0);
    EXPECT_TRUE(QFileInfo::exists(out));
    EXPECT_EQ(QFileInfo(out).size(), 0);
}

// ---------------------------------------------------------------- dates

TEST(BookDates, ReadBackUnderTheLocaleTheyWereWrittenWith)
{
    const std::vector<QLocale> locales
        = {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German, QLocale::Germany),
           QLocale(QLocale::Japanese, QLocale::Japan),       QLocale(QLocale::Czech, QLocale::CzechRepublic),
           QLocale(QLocale::Arabic, QLocale::Egypt),         QLocale::c()};
    const std::vector<QDate> days
        = {QDate(1980, 7, 12), QDate(2000, 2, 29), QDate(2004, 2, 29), QDate(1999, 12, 31), QDate(2001, 1, 1)};
    for (const QLocale& l : locales) {
        for (const QDate& day : days) {
            SCOPED_TRACE((l.name() + u' ' + day.toString(Qt::ISODate)).toStdString());
            const QString text = l.toString(day, QLocale::ShortFormat);
            const auto parsed = exporting::parseBookDate(text, l);
            ASSERT_TRUE(parsed.has_value()) << qPrintable(text);
            // The form the book is written in now, read the quick way.
            exporting::BookDateReader reader(l);
            const auto quick = reader.read(l.toString(day, FullYearDateFormat(l)));
            ASSERT_TRUE(quick.has_value());
            EXPECT_EQ(quick->date, day);
            EXPECT_EQ(quick->time, QTime(0, 0));
            EXPECT_EQ(reader.read(text)->date, day);
            EXPECT_EQ(parsed->date(), day);
            EXPECT_EQ(parsed->time(), QTime(0, 0));
            for (const QTime& t : {QTime(14, 30), QTime(0, 5), QTime(23, 59)}) {
                const QString withTime = text + u' ' + l.toString(t, QLocale::ShortFormat);
                const auto p = exporting::parseBookDate(withTime, l);
                ASSERT_TRUE(p.has_value()) << qPrintable(withTime);
                EXPECT_EQ(*p, QDateTime(day, t));
            }
        }
        EXPECT_FALSE(exporting::parseBookDate(QStringLiteral("sometime in May"), l).has_value());
        EXPECT_FALSE(exporting::parseBookDate(QString(), l).has_value());
    }
}

TEST(BookDates, TwoDigitYearsAreTheLatestThatIsNotInTheFuture)
{
    const QLocale us(QLocale::English, QLocale::UnitedStates);
    ASSERT_EQ(us.dateFormat(QLocale::ShortFormat).count(u'y'), 2);
    const QDate today = QDate::currentDate();
    const QDate lastYear = today.addYears(-1);
    EXPECT_EQ(exporting::parseBookDate(us.toString(lastYear, QLocale::ShortFormat), us)->date(), lastYear);
    const QDate nextYear = today.addYears(1);
    EXPECT_EQ(exporting::parseBookDate(us.toString(nextYear, QLocale::ShortFormat), us)->date(),
              nextYear.addYears(-100));
    // A four-digit year is taken as written.
    EXPECT_EQ(exporting::parseBookDate(QStringLiteral("7/12/1931"), us)->date(), QDate(1931, 7, 12));
}

TEST(BookDates, CardsUnderAnotherLocale)
{
    const QLocale de(QLocale::German, QLocale::Germany);
    notes::StoredDocument d;
    d.form = QStringLiteral("Person");
    d.items = {{QStringLiteral("Form"), QStringLiteral("Person")},
               {QStringLiteral("Birthday"), QStringLiteral("12.07.80")},
               {QStringLiteral("Anniversary"), QStringLiteral("03.02.01 14:30")},
               {QStringLiteral("Type"), QStringLiteral("Person")}};
    QByteArray out;
    ASSERT_TRUE(VCardWriter(de).writeDocument(out, d));
    EXPECT_TRUE(out.contains("\r\nBDAY:1980-07-12\r\n")) << out.constData();
    EXPECT_TRUE(out.contains("\r\nX-MS-ANNIVERSARY;VALUE=date-time:2001-02-03T14:30:00\r\n")) << out.constData();
    // The same texts mean nothing under the US form: kept as notes.
    out.clear();
    ASSERT_TRUE(VCardWriter(QLocale(QLocale::English, QLocale::UnitedStates)).writeDocument(out, d));
    EXPECT_TRUE(out.contains("\r\nNOTE:Birthday: 12.07.80\\nAnniversary: 03.02.01 14:30\r\n")) << out.constData();
    EXPECT_FALSE(out.contains("BDAY"));
}
