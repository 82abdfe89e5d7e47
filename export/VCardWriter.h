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
// cards show as groups.
//
// So the book is read three times: the Group documents (noteList: which
// members each list has, kept compactly, not the documents), then every
// document (writeDocument: the Person cards, each claiming the members it
// is), then the Group documents again (writeList: the group cards and the
// cards of the members that are no contact). The exact mapping is described
// in docs/EXPORTS.md.
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

#include <array>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace exporting {

class VCardWriter {
public:
    // `locale` is the one the book's dates were written under (the user's).
    explicit VCardWriter(QLocale locale = QLocale());
    ~VCardWriter();
    VCardWriter(const VCardWriter&) = delete;
    VCardWriter& operator=(const VCardWriter&) = delete;

    // First reading: takes in the members of one Group document; other
    // documents are ignored. Nothing of the document is kept but its members'
    // keys and the list's name.
    void noteList(const notes::StoredDocument& doc);

    // Second reading: appends the card of a Person document to `out`. True
    // and nothing written for a Group document (writeList writes its card);
    // false, and nothing written, for other documents (and design notes).
    bool writeDocument(QByteArray& out, const notes::StoredDocument& doc);

    // Third reading, over the Group documents in the same order as the
    // first: appends the card of one list, then the cards of those of its
    // members that are no contact of the book and have no card yet.
    void writeList(QByteArray& out, const notes::StoredDocument& doc);

    // After the third reading: the cards still owed (only when the lists
    // changed between the readings).
    void finish(QByteArray& out);

    // Characters that a vCard cannot carry (control characters other than
    // tab and line breaks, halves of surrogate pairs), written as U+FFFD.
    qint64 replacedCharacters() const { return replaced_; }

    struct Slots;

private:
    static constexpr quint32 None = 0xFFFFFFFF;
    // One distinct member of the lists, by Member::key().
    struct MemberEntry {
        const char* key = nullptr;  // its key (see keyBytes in the .cpp), in keyBlocks_
        quint32 keyLength = 0;
        quint32 firstName = None;  // the names of its lists: a chain in memberships_
        quint32 lastName = None;
        quint32 seenInList = None;  // the last list (by ordinal) that named it
        quint32 flags = 0;
        std::array<uchar, 16> uid{};  // its card's UID, once known
    };
    struct Membership {
        quint32 name;  // into listNames_
        quint32 next;
    };
    // A member as one list holds it.
    struct Occurrence {
        quint32 member;
        QStringView name;
        QStringView address;
        bool firstInList;
    };

    void writePerson(QByteArray& out, const notes::StoredDocument& doc);
    void writeMember(QByteArray& out, quint32 member, QStringView name, QStringView address);
    // The member whose key is `key_`, or None; `add` adds it if missing.
    quint32 findMember(bool add);
    const char* storeKey();
    void claim(QStringView keyText, const std::array<uchar, 16>& uid);
    const std::array<uchar, 16>& memberUid(quint32 member);
    // The member a list names by `text` (its parts in `m`), added if missing;
    // None for a member without a key.
    quint32 listMember(QStringView text, MemberParts& m);

    BookDateReader dates_;
    qint64 replaced_ = 0;
    std::unique_ptr<Slots> slots_;

    // In blocks, which do not move: no room kept spare for growth, and no
    // copy of everything when it grows.
    std::deque<MemberEntry> members_;
    std::vector<quint64> table_;  // open addressing, 0 free (see findMember)
    std::vector<quint64> filter_;  // bits of the keys' hashes (see findMember)
    std::vector<std::unique_ptr<char[]>> keyBlocks_;
    char* keyFree_ = nullptr;
    qsizetype keyRoom_ = 0;
    std::deque<Membership> memberships_;
    std::vector<QString> listNames_;
    QHash<QString, quint32> listNameIds_;
    quint32 listsNoted_ = 0;
    quint32 listsWritten_ = 0;
    QHash<quint32, QString> pendingAddress_;  // one-off members named only in a later list

    // Reused from card to card.
    QByteArray key_;
    std::u16string units_;
    QString text_;
    std::vector<QStringView> parts_;
    std::vector<Occurrence> occurrences_;
    std::vector<quint32> cardLists_;
    std::vector<bool> listUsed_;
};

namespace vcard {

// The UID of the card of a document: its universal id as a UUID
// (8-4-4-4-12 hex digits, lower case), so that urn:uuid: can name it.
QString cardUid(const QString& unid);

}  // namespace vcard

}  // namespace exporting
