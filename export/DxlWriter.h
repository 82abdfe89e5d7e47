#pragma once
// The documents of an address book as DXL, the XML form of Notes databases
// that Domino's DXL importer reads.
//
//   <database xmlns="http://www.lotus.com/dxl" ...>
//   <document form="Person">
//   <noteinfo unid="..."/>
//   <item name="FirstName" summary="true"><text>...</text></item>
//   ...
//   <item name="$PellaroFolders"><text>Outlook Contacts</text></item>
//   </document>
//   ...
//   </database>
//
// Items come in their stored order, each value whole as one text. The
// "Form" item becomes the form attribute of its document, as the DXL
// exporter writes it. A document element cannot say which folders the
// document is filed in, so the folder names travel in the item
// "$PellaroFolders" (see docs/EXPORTS.md for filing them after an import).
// Design notes are written as note elements of their class.

#include "export/notes/BookReader.h"

#include <QByteArray>
#include <QString>

class DxlWriter {
public:
    struct Database {
        QString path;  // the book's file
        QString title;
        QString replicaId;  // 16 hex digits
    };

    // The XML declaration, the document type and the database start tag.
    void begin(QByteArray& out, const Database& db);
    // One document (or design note of a known class). False, and nothing
    // written, for a design note of a class DXL has no element for.
    bool writeDocument(QByteArray& out, const notes::StoredDocument& doc);
    // The database end tag.
    void end(QByteArray& out);

    // Characters that XML 1.0 cannot carry (control characters other than
    // tab and line breaks, halves of surrogate pairs, U+FFFE, U+FFFF),
    // written as U+FFFD.
    qint64 replacedCharacters() const { return replaced_; }

    // The item that carries the folder names.
    static QString foldersItemName() { return QStringLiteral("$PellaroFolders"); }

private:
    void appendText(QByteArray& out, const QString& s, bool attribute);
    void appendItem(QByteArray& out, const QString& name, const QString& value, qint64& summaryBytes);

    qint64 replaced_ = 0;
};
