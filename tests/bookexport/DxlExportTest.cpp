// The DXL export validated against Domino's DTD (libxml2's xmllint), read
// back with Qt's XML reader and checked against the book document by
// document: form, universal id and times, every item as Notes keeps it
// (dates, lists, names, line breaks, characters XML cannot hold), the items
// a Notes address book needs, folders; no design notes.

#include "export/DxlWriter.h"
#include "tests/bookexport/ExportFixture.h"

#include <QTimeZone>
#include <QXmlStreamReader>

namespace {

using exporting::DxlWriter;
namespace dxl = exporting::dxl;

struct DxlItem {
    QString name;
    QString kind;  // "text", "textlist", "datetime"
    QStringList values;
    bool summary = true;
    bool names = false;
};

struct DxlNote {
    QString element;
    QString form;
    QString unid;
    QString created;
    QString modified;
    std::vector<DxlItem> items;
    QStringList folders;

    const DxlItem* item(const QString& name) const
    {
        for (const DxlItem& i : items)
            if (i.name == name)
                return &i;
        return nullptr;
    }
};

struct DxlFile {
    QString error;
    QString doctype;
    QHash<QString, QString> database;
    std::vector<DxlNote> notes;
};

const QString DxlNamespace = QStringLiteral("http://www.lotus.com/dxl");

// The text of a <text> element: <break/> a line feed, <nonxmlchar/> its
// character.
QString readText(QXmlStreamReader& xml, QString* error)
{
    QString s;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::Characters) {
            s += xml.text();
        } else if (token == QXmlStreamReader::StartElement) {
            if (xml.name() == QLatin1String("break")) {
                s += u'\n';
            } else if (xml.name() == QLatin1String("nonxmlchar")) {
                bool ok = false;
                s += QChar(char16_t(xml.attributes().value(QLatin1String("value")).toUInt(&ok, 16)));
                if (!ok)
                    *error = QStringLiteral("bad nonxmlchar");
            } else {
                *error = QStringLiteral("unexpected element in text: ") + xml.name().toString();
            }
            xml.skipCurrentElement();
        } else if (token == QXmlStreamReader::EndElement) {
            break;
        }
    }
    return s;
}

DxlFile readDxl(const QByteArray& bytes)
{
    DxlFile file;
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd() && !xml.isStartElement()) {
        xml.readNext();
        if (xml.isDTD())
            file.doctype = xml.text().toString();
    }
    if (xml.name() != QLatin1String("database") || xml.namespaceUri() != DxlNamespace) {
        file.error = QStringLiteral("no DXL database element");
        return file;
    }
    for (const QXmlStreamAttribute& a : xml.attributes())
        file.database.insert(a.name().toString(), a.value().toString());
    while (xml.readNextStartElement()) {
        DxlNote note;
        note.element = xml.name().toString();
        note.form = xml.attributes().value(QLatin1String("form")).toString();
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("noteinfo")) {
                note.unid = xml.attributes().value(QLatin1String("unid")).toString();
                while (xml.readNextStartElement()) {
                    const QStringView kind = xml.name();
                    QString* time = kind == QLatin1String("created") ? &note.created
                        : kind == QLatin1String("modified")          ? &note.modified
                                                                     : nullptr;
                    while (xml.readNextStartElement()) {
                        const QString t = xml.readElementText();
                        if (time)
                            *time = t;
                    }
                }
                continue;
            }
            DxlItem item;
            item.name = xml.attributes().value(QLatin1String("name")).toString();
            item.summary = xml.attributes().value(QLatin1String("summary")) != QLatin1String("false");
            item.names = xml.attributes().value(QLatin1String("names")) == QLatin1String("true");
            while (xml.readNextStartElement()) {
                item.kind = xml.name().toString();
                if (item.kind == QLatin1String("text")) {
                    item.values.append(readText(xml, &file.error));
                } else if (item.kind == QLatin1String("textlist")) {
                    while (xml.readNextStartElement())
                        item.values.append(readText(xml, &file.error));
                } else if (item.kind == QLatin1String("datetime")) {
                    item.values.append(xml.readElementText());
                } else {
                    file.error = QStringLiteral("unexpected value element ") + item.kind;
                    return file;
                }
            }
            if (item.name == DxlWriter::foldersItemName())
                note.folders = item.values;
            else
                note.items.push_back(std::move(item));
        }
        file.notes.push_back(std::move(note));
    }
    if (xml.hasError())
        file.error = xml.errorString() + QStringLiteral(" at line %1").arg(xml.lineNumber());
    return file;
}

QString oneKindOfBreak(QString s)
{
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(u'\r', u'\n');
    return s;
}

class DxlExport : public ExportFixture {
protected:
    DxlFile exportAndRead(BookExportResult* result = nullptr)
    {
        const QString out = home.file(QStringLiteral("book.dxl"));
        QFile::remove(out);
        const BookExportResult r = exportBook(ExportFormat::Dxl, out);
        if (result)
            *result = r;
        expectValidDxl(out);
        return readDxl(readAll(out));
    }
};

}  // namespace

TEST(NotesTimes, TimeDateAndUniversalIdHaveTheLayoutNotesDocuments)
{
    // The example of the C API's documentation: 10 December 1996, 19:49:04
    // GMT is Julian day 2,450,428 and 0x006CDCC0 hundredths.
    const qint64 ms = QDateTime(QDate(1996, 12, 10), QTime(19, 49, 4), QTimeZone::utc()).toMSecsSinceEpoch();
    const dxl::TimeDate t = dxl::toTimeDate(ms);
    EXPECT_EQ(t.innards0, 0x006CDCC0u);
    EXPECT_EQ(t.innards1 & 0xFFFFFF, 2450428u);
    EXPECT_EQ(t.innards1 >> 24, 0u);  // GMT, no daylight saving time
    EXPECT_EQ(dxl::utcDateTime(ms + 520), QByteArray("19961210T194904,52+00"));

    // The second half is the creation time; ids made in the same hundredth
    // of a second stay apart, and one document always gets the same id.
    const QString a = QStringLiteral("0123456789ABCDEF")
        + QStringLiteral("%1").arg(quint64(ms) * 10000, 16, 16, QChar(u'0')).toUpper();
    const QString b = QStringLiteral("0123456789ABCDEF")
        + QStringLiteral("%1").arg(quint64(ms) * 10000 + 1, 16, 16, QChar(u'0')).toUpper();
    const QString ua = dxl::notesUnid(a, ms);
    const QString ub = dxl::notesUnid(b, ms);
    EXPECT_EQ(ua.size(), 32);
    EXPECT_EQ(ua.mid(16),
              QStringLiteral("%1%2").arg(t.innards1, 8, 16, QChar(u'0')).arg(t.innards0, 8, 16, QChar(u'0')).toUpper());
    EXPECT_EQ(ua.mid(16), ub.mid(16));
    EXPECT_NE(ua, ub);
    EXPECT_EQ(ua, dxl::notesUnid(a, ms));
    // An id of another form gets an id all the same.
    EXPECT_EQ(dxl::notesUnid(QStringLiteral("not hex"), std::nullopt).size(), 32);
}

TEST_F(DxlExport, EveryDocumentReadsBackAsNotesKeepsIt)
{
    for (int seed = 0; seed < 6; ++seed) {
        PersonFields f = awkwardPerson(seed);
        if (seed % 2 == 0) {
            f.elotus_BirthDay = QStringLiteral("7/12/1980");
            f.elotus_Anniversary = QStringLiteral("2/3/2001 2:30 PM");
        }
        addPerson(f);
    }
    PersonFields plain;
    plain.elotus_FirstName = QStringLiteral("Ann");
    plain.elotus_MiddleName = QStringLiteral("B.");
    plain.elotus_LastName = QStringLiteral("Cole");
    plain.elotus_Email = QStringLiteral("ann@example.com");
    plain.elotus_Categories = QStringLiteral("Business, Customers");
    plain.elotus_Childern = QStringLiteral("Tom, Kim");
    plain.elotus_BirthDay = QStringLiteral("sometime in May");
    plain.elotus_Comments = QStringLiteral("line one\r\nline two\nthree\rfour");
    addPerson(plain);
    addPerson(PersonFields{});
    addDocument({{QStringLiteral("Form"), QStringLiteral("Memo & <Note>")},
                 {QStringLiteral("Subject \"quoted\" & <angled>"), QStringLiteral("]]> not CDATA")},
                 {QStringLiteral("Empty"), QString()}},
                {QStringLiteral("Outlook Contacts"), QStringLiteral("Другая папка & <co>")});
    addDocument({{QStringLiteral("NoForm"), QStringLiteral("a document without a form, in no folder")}}, {});

    BookExportResult result;
    const DxlFile dxl = exportAndRead(&result);
    ASSERT_TRUE(dxl.error.isEmpty()) << qPrintable(dxl.error);
    EXPECT_TRUE(dxl.doctype.contains(QLatin1String("SYSTEM \"xmlschemas/domino_9_0_1.dtd\"")))
        << qPrintable(dxl.doctype);
    const auto docs = documents();
    EXPECT_EQ(result.exported, qint64(docs.size()));
    EXPECT_EQ(result.replacedCharacters, 0);
    EXPECT_EQ(dxl.database.value(QStringLiteral("replicaid")), notes::BookReader(book).replicaId());
    // Nothing of this machine: no path of the book.
    EXPECT_FALSE(dxl.database.contains(QStringLiteral("path")));
    EXPECT_FALSE(readAll(home.file(QStringLiteral("book.dxl"))).contains(QFile::encodeName(home.path())));

    const qint64 julianToday = QDate::currentDate().toJulianDay();
    ASSERT_EQ(dxl.notes.size(), docs.size());
    for (std::size_t i = 0; i < docs.size(); ++i) {
        const DxlNote& n = dxl.notes[i];
        const notes::StoredDocument& d = docs[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(n.element, QStringLiteral("document"));
        EXPECT_EQ(n.form, d.form);
        EXPECT_EQ(n.unid, dxl::notesUnid(d.unid, d.created));
        // Made today (in GMT, give or take the date line of the test run).
        EXPECT_LE(std::abs(qint64(n.unid.mid(18, 6).toUInt(nullptr, 16)) - julianToday), 1);
        EXPECT_TRUE(n.created.startsWith(QDateTime::currentDateTimeUtc().date().toString(QStringLiteral("yyyyMMdd"))))
            << qPrintable(n.created);
        EXPECT_EQ(n.created, QString::fromLatin1(dxl::utcDateTime(d.created)));
        EXPECT_EQ(n.modified, QString::fromLatin1(dxl::utcDateTime(d.modified)));
        EXPECT_EQ(n.folders, d.folders);
        const bool person = d.form == QLatin1String("Person");
        bool formSeen = false;
        std::size_t k = 0;
        for (const notes::StoredItem& item : d.items) {
            if (!formSeen && item.name == QLatin1String("Form")) {
                formSeen = true;
                continue;
            }
            ASSERT_LT(k, n.items.size());
            const DxlItem& back = n.items[k++];
            EXPECT_EQ(back.name, item.name);
            EXPECT_TRUE(back.summary);
            if (person && (item.name == QLatin1String("Categories") || item.name == QLatin1String("Children"))) {
                EXPECT_EQ(back.values, item.value.split(QStringLiteral(", "))) << qPrintable(item.name);
            } else if (person && (item.name == QLatin1String("Birthday") || item.name == QLatin1String("Anniversary"))
                       && item.value.contains(u'/')) {
                EXPECT_EQ(back.kind, QStringLiteral("datetime"));
            } else {
                EXPECT_EQ(back.kind, QStringLiteral("text"));
                EXPECT_EQ(back.values, QStringList{oneKindOfBreak(item.value)}) << qPrintable(item.name);
            }
        }
        if (person && i != 7) {
            ASSERT_NE(n.item(QStringLiteral("FullName")), nullptr);
            EXPECT_TRUE(n.item(QStringLiteral("FullName"))->names);
        }
    }
    // Dates as Notes keeps them; text that is no date stays text.
    EXPECT_EQ(dxl.notes[0].item(QStringLiteral("Birthday"))->values, QStringList{QStringLiteral("19800712")});
    const QDateTime local(QDate(2001, 2, 3), QTime(14, 30));
    const int offset = local.offsetFromUtc();
    const QString zone
        = QStringLiteral("%1%2").arg(QChar(offset < 0 ? u'-' : u'+')).arg(std::abs(offset) / 3600, 2, 10, QChar(u'0'))
        + (std::abs(offset) % 3600 ? QStringLiteral("%1").arg(std::abs(offset) % 3600 / 60, 2, 10, QChar(u'0'))
                                   : QString());
    EXPECT_EQ(dxl.notes[0].item(QStringLiteral("Anniversary"))->values,
              QStringList{QStringLiteral("20010203T143000,00") + zone});
    const DxlNote& ann = dxl.notes[6];
    EXPECT_EQ(ann.item(QStringLiteral("Birthday"))->kind, QStringLiteral("text"));
    EXPECT_EQ(ann.item(QStringLiteral("Birthday"))->values, QStringList{QStringLiteral("sometime in May")});
    EXPECT_EQ(ann.item(QStringLiteral("Comment"))->values,
              QStringList{QStringLiteral("line one\nline two\nthree\nfour")});
    EXPECT_EQ(
        ann.item(QStringLiteral("FullName"))->values,
        (QStringList{QStringLiteral("Ann B. Cole"), QStringLiteral("Ann Cole"), QStringLiteral("ann@example.com")}));
    // The empty contact has no name to be found by.
    EXPECT_EQ(dxl.notes[7].item(QStringLiteral("FullName")), nullptr);
    EXPECT_TRUE(dxl.notes.back().form.isEmpty());
}

TEST_F(DxlExport, GroupsAreNamesListsNotesCanMailTo)
{
    addGroup(QStringLiteral(" Team's list, \"A\" "),
             QStringLiteral("'ann@example.com' 'Bob Jones' 'Łukasz <l@example.pl>' 'ANN@example.com' "
                            "'Bob Jones' 'Eve </o=Org/ou=Site/cn=Recipients/cn=eve>' "),
             QStringLiteral("line\r\none"));
    addGroup(QStringLiteral("Empty"), QString(), QString());
    addDocument({{QStringLiteral("Form"), QStringLiteral("Group")},
                 {QStringLiteral("ListName"), QStringLiteral("Odd")},
                 {QStringLiteral("Members"), QStringLiteral("not the quoted form")},
                 {QStringLiteral("GroupType"), QStringLiteral("1")}},
                {});

    const DxlFile dxl = exportAndRead();
    ASSERT_TRUE(dxl.error.isEmpty()) << qPrintable(dxl.error);
    ASSERT_EQ(dxl.notes.size(), 3u);
    const DxlNote& team = dxl.notes[0];
    EXPECT_EQ(team.form, QStringLiteral("Group"));
    EXPECT_EQ(team.item(QStringLiteral("ListName"))->values, QStringList{QStringLiteral(" Team's list, \"A\" ")});
    EXPECT_EQ(team.item(QStringLiteral("ListDescription"))->values, QStringList{QStringLiteral("line\none")});
    const DxlItem* members = team.item(QStringLiteral("Members"));
    ASSERT_NE(members, nullptr);
    EXPECT_TRUE(members->names);
    // Each member once, by its address where it has one Notes can mail to.
    EXPECT_EQ(members->values,
              (QStringList{QStringLiteral("ann@example.com"), QStringLiteral("Bob Jones"),
                           QStringLiteral("l@example.pl"), QStringLiteral("Eve")}));
    EXPECT_EQ(team.item(QStringLiteral("GroupType"))->values, QStringList{QStringLiteral("0")});
    EXPECT_EQ(team.item(QStringLiteral("Type"))->values, QStringList{QStringLiteral("Group")});
    EXPECT_EQ(team.folders, QStringList{QStringLiteral("Outlook Groups")});

    const DxlItem* none = dxl.notes[1].item(QStringLiteral("Members"));
    EXPECT_TRUE(none->names);
    EXPECT_EQ(none->values, QStringList{QString()});
    // A members text of another form is kept whole; a group type is kept.
    EXPECT_EQ(dxl.notes[2].item(QStringLiteral("Members"))->values, QStringList{QStringLiteral("not the quoted form")});
    EXPECT_FALSE(dxl.notes[2].item(QStringLiteral("Members"))->names);
    EXPECT_EQ(dxl.notes[2].item(QStringLiteral("GroupType"))->values, QStringList{QStringLiteral("1")});
}

TEST_F(DxlExport, LongValuesStayWholeButLeaveTheSummary)
{
    PersonFields f;
    f.elotus_FirstName = QStringLiteral("Ann");
    f.elotus_Comments = QStringLiteral("0123456789").repeated(5000);
    f.elotus_Categories = QStringLiteral("Business");
    addPerson(f);
    const DxlFile dxl = exportAndRead();
    ASSERT_TRUE(dxl.error.isEmpty()) << qPrintable(dxl.error);
    ASSERT_EQ(dxl.notes.size(), 1u);
    for (const DxlItem& item : dxl.notes[0].items) {
        if (item.name == QLatin1String("Comment")) {
            EXPECT_EQ(item.values.front().size(), 50000);
            EXPECT_FALSE(item.summary);
        } else {
            EXPECT_TRUE(item.summary) << qPrintable(item.name);
        }
    }
}

TEST_F(DxlExport, CharactersXmlCannotHoldAreKeptAsNonXmlChars)
{
    PersonFields f;
    f.elotus_FirstName = QStringLiteral("bell\x07") + QChar(0xD800) + QStringLiteral("end") + QChar(0xFFFF);
    f.elotus_LastName = QStringLiteral("pair 😀 kept");
    addPerson(f);
    addDocument({{QStringLiteral("Form"), QStringLiteral("Odd")}, {QStringLiteral("Na\x01me"), QStringLiteral("x")}},
                {});
    BookExportResult result;
    const DxlFile dxl = exportAndRead(&result);
    ASSERT_TRUE(dxl.error.isEmpty()) << qPrintable(dxl.error);
    EXPECT_EQ(dxl.notes[0].item(QStringLiteral("FirstName"))->values, QStringList{f.elotus_FirstName});
    EXPECT_EQ(dxl.notes[0].item(QStringLiteral("LastName"))->values, QStringList{f.elotus_LastName});
    // An item name cannot hold one: it is replaced and counted.
    EXPECT_EQ(result.replacedCharacters, 1);
    EXPECT_NE(dxl.notes[1].item(QStringLiteral("Na\uFFFDme")), nullptr);
}

TEST_F(DxlExport, EmptyBookIsADatabaseWithoutDocumentsAndNoDesign)
{
    const auto all = documents(true);
    ASSERT_GT(std::count_if(all.begin(), all.end(), [](const auto& d) { return d.isDesign; }), 0);
    BookExportResult result;
    const DxlFile dxl = exportAndRead(&result);
    ASSERT_TRUE(dxl.error.isEmpty()) << qPrintable(dxl.error);
    // The book's forms and views are no Notes design: they would replace a
    // working database's forms with empty ones.
    EXPECT_TRUE(dxl.notes.empty());
    EXPECT_EQ(result.exported, 0);
    EXPECT_FALSE(dxl.database.value(QStringLiteral("replicaid")).isEmpty());
}
