// The DXL export read back with Qt's XML reader and checked against the book
// document by document: form, unid, item names and values in order, folders;
// design notes only when asked; what XML cannot carry.

#include "export/DxlWriter.h"
#include "tests/bookexport/ExportFixture.h"

#include <QXmlStreamReader>

namespace {

struct DxlNote {
    QString element;  // "document" or "note"
    QString form;  // form attribute (documents), class attribute (notes)
    QString unid;
    std::vector<std::pair<QString, QString>> items;
    std::vector<bool> summary;
    QStringList folders;
};

struct DxlFile {
    QString error;
    QHash<QString, QString> database;  // attributes of the root
    std::vector<DxlNote> notes;
};

const QString DxlNamespace = QStringLiteral("http://www.lotus.com/dxl");

DxlFile readDxl(const QByteArray& bytes)
{
    DxlFile file;
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("database") || xml.namespaceUri() != DxlNamespace) {
        file.error = QStringLiteral("no DXL database element");
        return file;
    }
    for (const QXmlStreamAttribute& a : xml.attributes())
        file.database.insert(a.name().toString(), a.value().toString());
    while (xml.readNextStartElement()) {
        DxlNote note;
        note.element = xml.name().toString();
        note.form = xml.attributes()
                        .value(note.element == QLatin1String("note") ? QLatin1String("class") : QLatin1String("form"))
                        .toString();
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("noteinfo")) {
                note.unid = xml.attributes().value(QLatin1String("unid")).toString();
                xml.skipCurrentElement();
                continue;
            }
            if (xml.name() != QLatin1String("item")) {
                file.error = QStringLiteral("unexpected element ") + xml.name().toString();
                return file;
            }
            const QString name = xml.attributes().value(QLatin1String("name")).toString();
            const bool summary = xml.attributes().value(QLatin1String("summary")) == QLatin1String("true");
            QStringList values;
            while (xml.readNextStartElement()) {
                if (xml.name() == QLatin1String("text")) {
                    values.append(xml.readElementText());
                } else if (xml.name() == QLatin1String("textlist")) {
                    while (xml.readNextStartElement())
                        values.append(xml.readElementText());
                } else {
                    file.error = QStringLiteral("unexpected value element ") + xml.name().toString();
                    return file;
                }
            }
            if (name == DxlWriter::foldersItemName()) {
                note.folders = values;
            } else {
                if (values.size() != 1) {
                    file.error = QStringLiteral("item ") + name + QStringLiteral(" without one text");
                    return file;
                }
                note.items.emplace_back(name, values.front());
                note.summary.push_back(summary);
            }
        }
        file.notes.push_back(std::move(note));
    }
    if (xml.hasError())
        file.error = xml.errorString() + QStringLiteral(" at line %1").arg(xml.lineNumber());
    return file;
}

// What the book says a document element holds: every item but the first
// "Form", which is the form attribute.
std::vector<std::pair<QString, QString>> expectedItems(const notes::StoredDocument& d)
{
    std::vector<std::pair<QString, QString>> items;
    bool formSeen = false;
    for (const notes::StoredItem& i : d.items) {
        if (!d.isDesign && !formSeen && i.name.compare(QLatin1String("Form"), Qt::CaseInsensitive) == 0) {
            formSeen = true;
            continue;
        }
        items.emplace_back(i.name, i.value);
    }
    return items;
}

class DxlExport : public ExportFixture {
protected:
    DxlFile exportAndRead(bool withDesign = false, BookExportResult* result = nullptr)
    {
        const QString out = home.file(QStringLiteral("book.dxl"));
        QFile::remove(out);
        const BookExportResult r = exportBook(ExportFormat::Dxl, out, withDesign);
        if (result)
            *result = r;
        return readDxl(readAll(out));
    }
};

}  // namespace

TEST_F(DxlExport, EveryDocumentReadsBackWithItsItemsInOrderAndItsFolders)
{
    for (int seed = 0; seed < 6; ++seed)
        addPerson(awkwardPerson(seed));
    addPerson(PersonFields{});
    addGroup(QStringLiteral(" Team's list, \"A\" "),
             QStringLiteral("'ann@example.com' 'O'Brien' 'Łukasz <l@example.pl>' "), QStringLiteral("line\r\none"));
    addGroup(QStringLiteral("Empty"), QString(), QString());
    addDocument({{QStringLiteral("Form"), QStringLiteral("Memo & <Note>")},
                 {QStringLiteral("Subject \"quoted\" & <angled>"), QStringLiteral("]]> not CDATA")},
                 {QStringLiteral("Body"), QStringLiteral("\tindented\n\n  blank lines kept  \r")},
                 {QStringLiteral("Empty"), QString()}},
                {QStringLiteral("Outlook Contacts"), QStringLiteral("Другая папка & <co>")});
    addDocument({{QStringLiteral("NoForm"), QStringLiteral("a document without a form, in no folder")}}, {});

    BookExportResult result;
    const DxlFile dxl = exportAndRead(false, &result);
    ASSERT_TRUE(dxl.error.isEmpty()) << qPrintable(dxl.error);
    const auto docs = documents();
    EXPECT_EQ(result.exported, qint64(docs.size()));
    EXPECT_EQ(result.replacedCharacters, 0);
    EXPECT_EQ(dxl.database.value(QStringLiteral("replicaid")), notes::BookReader(book).replicaId());
    EXPECT_EQ(dxl.database.value(QStringLiteral("title")), notes::BookReader(book).title());

    ASSERT_EQ(dxl.notes.size(), docs.size());
    for (std::size_t i = 0; i < docs.size(); ++i) {
        const DxlNote& n = dxl.notes[i];
        const notes::StoredDocument& d = docs[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(n.element, QStringLiteral("document"));
        EXPECT_EQ(n.form, d.form);
        EXPECT_EQ(n.unid, d.unid);
        EXPECT_EQ(n.folders, d.folders);
        const auto expected = expectedItems(d);
        ASSERT_EQ(n.items.size(), expected.size());
        for (std::size_t k = 0; k < expected.size(); ++k) {
            EXPECT_EQ(n.items[k].first, expected[k].first);
            EXPECT_EQ(n.items[k].second, expected[k].second) << qPrintable(expected[k].first);
        }
    }
    // Spot checks of what the writers made.
    EXPECT_EQ(dxl.notes[6].items.size(), 39u);  // the empty Person: 38 items and Type
    EXPECT_EQ(dxl.notes[7].form, QStringLiteral("Group"));
    EXPECT_EQ(dxl.notes[7].folders, QStringList{QStringLiteral("Outlook Groups")});
    EXPECT_EQ(dxl.notes[7].items[2].second, QStringLiteral("'ann@example.com' 'O'Brien' 'Łukasz <l@example.pl>' "));
    EXPECT_TRUE(dxl.notes.back().form.isEmpty());
}

TEST_F(DxlExport, DesignNotesOnlyWhenAsked)
{
    addPerson(awkwardPerson(1));
    const auto all = documents(true);
    const auto design = std::count_if(all.begin(), all.end(), [](const auto& d) { return d.isDesign; });
    ASSERT_GT(design, 0);

    const DxlFile plain = exportAndRead(false);
    ASSERT_TRUE(plain.error.isEmpty()) << qPrintable(plain.error);
    ASSERT_EQ(plain.notes.size(), 1u);

    BookExportResult result;
    const DxlFile withDesign = exportAndRead(true, &result);
    ASSERT_TRUE(withDesign.error.isEmpty()) << qPrintable(withDesign.error);
    ASSERT_EQ(withDesign.notes.size(), all.size());
    EXPECT_EQ(result.exported, qint64(all.size()));
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(withDesign.notes[i].element, all[i].isDesign ? QStringLiteral("note") : QStringLiteral("document"));
        EXPECT_EQ(withDesign.notes[i].form, all[i].form);
        EXPECT_EQ(withDesign.notes[i].items, expectedItems(all[i]));
    }
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
    const DxlNote& n = dxl.notes[0];
    for (std::size_t k = 0; k < n.items.size(); ++k) {
        if (n.items[k].first == QLatin1String("Comment")) {
            EXPECT_EQ(n.items[k].second.size(), 50000);
            EXPECT_FALSE(n.summary[k]);
        } else {
            EXPECT_TRUE(n.summary[k]) << qPrintable(n.items[k].first);
        }
    }
}

TEST_F(DxlExport, CharactersXmlCannotHoldBecomeReplacementCharactersAndAreCounted)
{
    PersonFields f;
    f.elotus_FirstName = QStringLiteral("bell\x07") + QChar(0xD800) + QStringLiteral("end");
    f.elotus_LastName = QStringLiteral("pair 😀 kept");
    addPerson(f);
    BookExportResult result;
    const DxlFile dxl = exportAndRead(false, &result);
    ASSERT_TRUE(dxl.error.isEmpty()) << qPrintable(dxl.error);
    EXPECT_EQ(result.replacedCharacters, 2);
    EXPECT_EQ(dxl.notes[0].items[0].second, QStringLiteral("bell\uFFFD\uFFFDend"));
    EXPECT_EQ(dxl.notes[0].items[2].second, QStringLiteral("pair 😀 kept"));
}

TEST_F(DxlExport, EmptyBookIsADatabaseWithoutDocuments)
{
    BookExportResult result;
    const DxlFile dxl = exportAndRead(false, &result);
    ASSERT_TRUE(dxl.error.isEmpty()) << qPrintable(dxl.error);
    EXPECT_TRUE(dxl.notes.empty());
    EXPECT_EQ(result.exported, 0);
    EXPECT_FALSE(dxl.database.value(QStringLiteral("replicaid")).isEmpty());
}
