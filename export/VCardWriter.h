#pragma once
// Person and Group documents as vCard 3.0 cards (text/directory, RFC 2426).
//
// Person: N, FN, ORG, TITLE, EMAIL, TEL, ADR, URL, BDAY, NOTE, CATEGORIES
// from the items of the same meaning; Manager, Assistant, Spouse, Children
// and the anniversary as Outlook's X-MS- properties; Location and any item
// without a home of its own as X-PELLARO- properties. Every non-empty item
// ends up in the card. Group: a card marked X-ADDRESSBOOKSERVER-KIND:group
// with one member property per member of its "Members" text.
// The exact mapping is described in docs/EXPORTS.md.
//
// Cards are written with CRLF line ends, text values escaped and lines
// folded at 75 octets without splitting a UTF-8 sequence.

#include "export/notes/BookReader.h"

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

class VCardWriter {
public:
    // `locale` is the one the book's dates were written under (the user's).
    explicit VCardWriter(QLocale locale = QLocale());

    // Appends the card of a Person or Group document to `out`. Other
    // documents (and design notes) get no card: returns false, `out` is left
    // as it was.
    bool writeDocument(QByteArray& out, const notes::StoredDocument& doc);

    // Characters that a vCard cannot carry (control characters other than
    // tab and line breaks, halves of surrogate pairs), written as U+FFFD.
    qint64 replacedCharacters() const { return replaced_; }

private:
    void writePerson(QByteArray& out, const notes::StoredDocument& doc);
    void writeGroup(QByteArray& out, const notes::StoredDocument& doc);

    QLocale locale_;
    qint64 replaced_ = 0;
};

namespace vcard {

// A text value with backslash, comma, semicolon and line breaks (CRLF, CR or
// LF) escaped, as UTF-8. Characters a vCard cannot carry become U+FFFD and
// are counted in `*replaced`.
QByteArray escapeText(QStringView value, qint64* replaced);

// Appends one content line, folded so that no physical line is longer than
// 75 octets (continuation lines start with one blank), never inside a UTF-8
// sequence or an escape pair, each ended by CRLF.
void appendFolded(QByteArray& out, const QByteArray& line);

// A date as the Person document stores it: the short date form of `locale`,
// optionally followed by one blank and a time of day. Two-digit years are
// taken as the latest such year that does not lie in the future. Empty when
// the text is not such a date.
std::optional<QDateTime> parseBookDate(const QString& text, const QLocale& locale);

// The members of a Group's "Members" text ("'member' " for each member).
// Empty optional when the text does not have that form.
std::optional<QStringList> splitMembers(const QString& members);

}  // namespace vcard
