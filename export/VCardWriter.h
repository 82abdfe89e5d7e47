#pragma once
// Person and Group documents as vCard 3.0 cards (text/directory, RFC 2426).
//
// Person: N, FN, ORG, TITLE, EMAIL, TEL, ADR, URL, BDAY, NOTE, CATEGORIES
// from the items of the same meaning; Manager, Assistant, Spouse, Children
// and the anniversary as Outlook's X-MS- properties; Location and any item
// without a home of its own as X-PELLARO- properties. Every non-empty item
// ends up in the card.
//
// Group: a card marked X-ADDRESSBOOKSERVER-KIND:group whose members are the
// cards of its members (X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:<UID>): a member
// that is a contact of the book is that contact's card; any other member
// gets a card of its own, once per distinct address. Every member's card
// carries the list's name in CATEGORIES, which address books without group
// cards show as groups. So the lists are read first (noteList), then the
// documents are written in order (writeDocument: the Person cards), and
// finish() writes the group cards and the cards of the other members.
// The exact mapping is described in docs/EXPORTS.md.
//
// Cards are written with CRLF line ends, text values escaped and lines
// folded at 75 octets without splitting a UTF-8 sequence.

#include "export/BookValues.h"
#include "export/notes/BookReader.h"

#include <QByteArray>
#include <QHash>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <vector>

namespace exporting {

class VCardWriter {
public:
    // `locale` is the one the book's dates were written under (the user's).
    explicit VCardWriter(QLocale locale = QLocale());

    // Takes in one Group document before any card is written; other
    // documents are ignored.
    void noteList(const notes::StoredDocument& doc);

    // Appends the card of a Person document to `out`, and takes a Group
    // document for finish(). False, and nothing written, for other documents
    // (and design notes).
    bool writeDocument(QByteArray& out, const notes::StoredDocument& doc);

    // The group cards, then the cards of members that are no contact of the
    // book; `afterCard` (if set) is called after each.
    void finish(QByteArray& out, const std::function<void()>& afterCard = {});

    // Characters that a vCard cannot carry (control characters other than
    // tab and line breaks, halves of surrogate pairs), written as U+FFFD.
    qint64 replacedCharacters() const { return replaced_; }

private:
    struct MemberEntry {
        QString key;  // Member::key()
        QString name;
        QString address;
        QString contactUid;  // the card of the contact it is, once found
        QStringList lists;  // the names of the lists it is in
    };
    struct List {
        notes::StoredDocument doc;
        QString name;
        std::vector<int> members;  // into members_, each once
        bool listForm = true;  // the "Members" text has the quoted form
    };

    void writePerson(QByteArray& out, const notes::StoredDocument& doc);
    void writeGroup(QByteArray& out, const List& list);
    void writeMember(QByteArray& out, const MemberEntry& member);

    BookDateReader dates_;
    qint64 replaced_ = 0;
    std::vector<List> lists_;
    std::vector<MemberEntry> members_;
    QHash<QString, int> memberByKey_;
    qsizetype listsWritten_ = 0;
    QByteArray line_;  // the content line being written
};

namespace vcard {

// A text value with backslash, comma, semicolon and line breaks (CRLF, CR or
// LF) escaped, as UTF-8. Characters a vCard cannot carry become U+FFFD and
// are counted in `*replaced`.
QByteArray escapeText(QStringView value, qint64* replaced);
void appendEscaped(QByteArray& out, QStringView value, qint64* replaced);

// Appends one content line, folded so that no physical line is longer than
// 75 octets (continuation lines start with one blank), never inside a UTF-8
// sequence or an escape pair, each ended by CRLF.
void appendFolded(QByteArray& out, const QByteArray& line);

// The UID of the card of a document: its universal id as a UUID
// (8-4-4-4-12 hex digits, lower case), so that urn:uuid: can name it.
QString cardUid(const QString& unid);

// The value of URL for a web site, or empty when the text is no URI: a
// "www." address gets "http://"; ";", ",", blanks and backslashes, which
// parsers take as separators, are percent-encoded.
QByteArray urlValue(const QString& webSite);

}  // namespace vcard

}  // namespace exporting
