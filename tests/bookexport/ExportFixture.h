#pragma once
// A test address book filled by the document writers (and, for documents
// the writers never make, by the store directly), the values that are hard
// to carry through XML and vCard, and running the export on it.

#include "common/values/ProgramValues.h"
#include "export/BookExport.h"
#include "export/DocumentWriters.h"
#include "export/notes/BookReader.h"
#include "export/notes/Notes.h"
#include "tests/support/TempDir.h"
#include "tests/support/RecordingView.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include "tests/support/PrintQt.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using exporting::BookExportError;
using exporting::BookExportOptions;
using exporting::BookExportResult;
using exporting::ExportBook;
using exporting::ExportFormat;

// Values that break careless escaping, encoding or folding.
inline QStringList awkwardValues()
{
    QStringList v = {
        QStringLiteral("Smith, John; Jr."),
        QStringLiteral("O'Brien \"Bob\" 'the builder'"),
        QStringLiteral("line one\r\nline two\nline three\rline four"),
        QStringLiteral("back\\slash and \\n and \\, as typed"),
        QStringLiteral("Иванов Пётр Сергеевич"),
        QStringLiteral("山田太郎 株式会社"),
        QStringLiteral("محمد عبد الله"),
        QStringLiteral("🎉 party 👍 time"),
        QString(200, u'x'),
        QString(200, QChar(0xE9)),  // é, two octets
        QStringLiteral("漢字").repeated(100),  // three octets each
        QStringLiteral("😀").repeated(100),  // four octets each
        QStringLiteral("  leading and trailing  "),
        QStringLiteral("a,b;c\\d:e\"f'g<h>&i"),
        QStringLiteral("tab\there"),
    };
    // ASCII runs of every length around a fold, then wide characters.
    for (int k = 60; k <= 76; ++k)
        v.append(QString(k, u'y') + QStringLiteral("é漢😀").repeated(10));
    return v;
}

// A DXL file is valid against the DTD Notes and Domino ship, by libxml2's
// xmllint. Skipped, with a word, where the DTD or xmllint is not at hand.
inline void expectValidDxl(const QString& dxlFile)
{
    const QString dtd = QStringLiteral(PELLARO_SHARED_DIR "/dxl/domino_9_0_1.dtd");
    const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
    if (!QFileInfo::exists(dtd) || xmllint.isEmpty()) {
        std::fprintf(stderr, "DTD or xmllint missing: %s not validated\n", qPrintable(dxlFile));
        return;
    }
    QProcess p;
    p.start(xmllint,
            {QStringLiteral("--noout"), QStringLiteral("--nonet"), QStringLiteral("--dtdvalid"), dtd, dxlFile});
    ASSERT_TRUE(p.waitForFinished(120000));
    EXPECT_TRUE(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        << qPrintable(QString::fromUtf8(p.readAllStandardError()).left(2000));
}

class ExportFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        Global::ResetForTests();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        book = home.file(QStringLiteral("book.nsf"));
        notes::NotesSession s;
        s.GetDatabase(QString(), QStringLiteral("pernames.ntf"))->CreateCopy(QString(), book);
        Global::NewBookPath = book;
    }
    void TearDown() override
    {
        QLocale::setDefault(QLocale::system());
        Global::ResetForTests();
    }

    void addPerson(const PersonFields& f)
    {
        bool saveIt = true;
        ASSERT_TRUE(SaveNotesContacts(f, saveIt, view));
    }
    void addGroup(const QString& name, const QString& members, const QString& description)
    {
        bool saveIt = true;
        ASSERT_TRUE(SaveNotesGroups(name, members, description, saveIt, view));
    }
    // A document the writers never make: any items, any folders.
    void addDocument(const std::vector<std::pair<QString, QString>>& items, const QStringList& folders)
    {
        notes::NotesSession s;
        auto db = s.GetDatabase(QString(), book);
        auto doc = db->CreateDocument();
        for (const auto& [name, value] : items)
            doc->ReplaceItemValue(name, value);
        doc->Save(false, false);
        for (const QString& f : folders)
            doc->PutInFolder(f);
    }

    // A Person of awkward values, different for each `seed`.
    PersonFields awkwardPerson(int seed) const
    {
        const QStringList values = awkwardValues();
        PersonFields f;
        for (std::size_t i = 0; i < PersonItems.size(); ++i)
            f.*PersonItems[i].field = values[qsizetype((i * 7 + std::size_t(seed)) % std::size_t(values.size()))];
        f.elotus_OtherEmail1 = f.elotus_Email;  // as the reader hands it over
        return f;
    }

    std::vector<notes::StoredDocument> documents(bool withDesign = false) const
    {
        std::vector<notes::StoredDocument> docs;
        notes::BookReader(book).forEachDocument(withDesign, [&](const notes::StoredDocument& d) { docs.push_back(d); });
        return docs;
    }

    BookExportResult exportBook(ExportFormat format, const QString& out)
    {
        BookExportOptions o;
        o.book = book;
        o.out = out;
        o.format = format;
        return ExportBook(o);
    }

    // The names in the test folder other than the book's own files.
    QStringList strayFiles() const
    {
        QStringList names = QDir(home.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        names.removeIf([](const QString& n) { return n.startsWith(QLatin1String("book.nsf")); });
        return names;
    }

    TestHome home;
    RecordingView view;
    QString book;
};
