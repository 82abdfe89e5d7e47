#pragma once
// The documents of an address book as DXL, the XML form of Notes databases
// that the DXL importer of a Notes client or Domino server reads.
//
//   <database xmlns="http://www.lotus.com/dxl" version="9.0" ...>
//   <document form="Person">
//   <noteinfo unid="..."><created><datetime>...</datetime></created>
//     <modified><datetime>...</datetime></modified></noteinfo>
//   <item name="FirstName"><text>...</text></item>
//   <item name="Birthday"><datetime>19800712</datetime></item>
//   <item name="Categories"><textlist><text>...</text>...</textlist></item>
//   ...
//   </document>
//   <document form="Group">
//   ...
//   <item name="Members" names="true"><textlist><text>ann@example.com</text>...</textlist></item>
//   </document>
//   </database>
//
// Items come in their stored order, each as Notes keeps it: dates as
// datetime values, lists the book joined into one text as text lists, a
// Group's members as a names list of addresses Notes can mail to. What a
// Person or Group document of a Notes address book needs and the book does
// not hold (FullName, GroupType) is added. A document element cannot say
// which folders the document is filed in, so the folder names travel in the
// item "$PellaroFolders" (docs/EXPORTS.md tells how to file them).

#include "export/BookValues.h"
#include "export/notes/BookReader.h"

#include <QByteArray>
#include <QLocale>
#include <QString>

#include <optional>
#include <vector>

namespace exporting {

class DxlWriter {
public:
    struct Database {
        QString title;
        QString replicaId;  // 16 hex digits
    };

    // `locale` is the one the book's dates were written under (the user's).
    explicit DxlWriter(QLocale locale = QLocale());

    // The XML declaration, the document type and the database start tag.
    void begin(QByteArray& out, const Database& db);
    // One document. False, and nothing written, for a design note: the
    // book's forms and views are no Notes design (a database gets its design
    // from its template).
    bool writeDocument(QByteArray& out, const notes::StoredDocument& doc);
    // The database end tag.
    void end(QByteArray& out);

    // Characters of names and attribute values that XML cannot carry
    // (control characters other than tab and line breaks, halves of
    // surrogate pairs, U+FFFE, U+FFFF), written as U+FFFD. In values they are
    // written as <nonxmlchar/> and kept.
    qint64 replacedCharacters() const { return replaced_; }

    // The item that carries the folder names.
    static QString foldersItemName() { return QStringLiteral("$PellaroFolders"); }

    // The start tag of an item of a name, written once.
    struct NameTag {
        QString name;
        QByteArray bytes;  // <item name="..."
        qint64 replaced = 0;
    };

private:
    BookDateReader dates_;
    qint64 replaced_ = 0;
    std::vector<NameTag> nameTags_;  // by position in the document
};

namespace dxl {

// A Notes time (TIMEDATE) of an instant given in ms since 1970, UTC: the
// Julian day with the zone and daylight-saving bits in the high word
// (Innards[1]), hundredths of a second since midnight GMT in the low one
// (Innards[0]).
struct TimeDate {
    quint32 innards0 = 0;
    quint32 innards1 = 0;
};
TimeDate toTimeDate(qint64 msSinceEpoch);

// The universal id a document gets in DXL, 32 hex digits: a number that
// tells documents apart (the "File" half) and the document's creation time
// as a Notes time (the "Note" half), each as Innards[1] then Innards[0], as
// Notes writes universal ids. Made from the book's universal id, so the same
// document always gets the same id; `createdMs` empty when unknown.
QString notesUnid(const QString& bookUnid, std::optional<qint64> createdMs);

// An instant in DXL's datetime form, UTC: 20261210T081500,25+00.
QByteArray utcDateTime(qint64 msSinceEpoch);

}  // namespace dxl

}  // namespace exporting
