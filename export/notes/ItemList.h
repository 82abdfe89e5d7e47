#pragma once
// The stored form of a note's items (see docs/BOOK_FORMAT.md).

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <utility>
#include <vector>

namespace notes::store {

// The items of a note, in order: name and text value.
using ItemList = std::vector<std::pair<QString, QString>>;

// The stored form of an item list, into `out` (whose room is used again),
// and back (throws NotesError when damaged).
void encodeItems(const ItemList& items, QByteArray& out);
ItemList decodeItems(const void* data, qsizetype size);

// Reads the stored form of an item list item by item into strings given by
// the caller, whose room is used again: reading one note after another into
// the same strings allocates nothing once they are large enough. Throws
// NotesError when the list is damaged or of an unknown format.
class ItemListReader {
public:
    ItemListReader(const void* data, qsizetype size);
    bool atEnd() const { return p_ == end_; }
    // The next item's name; then its value, or skip it.
    void name(QString& out);
    void value(QString& out);
    void skipValue();

private:
    struct Text {
        const unsigned char* bytes;
        qsizetype size;
    };
    Text text();
    void assign(QString& out, Text t, bool utf16);
    [[noreturn]] static void bad();

    const unsigned char* p_;
    const unsigned char* end_;
    unsigned char flags_ = 0;
    // Holds no state between texts: each is whole.
    QStringDecoder utf8_{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};
};

// Whether a text holds a surrogate without its partner, which UTF-8 has no
// form for.
bool hasUnpairedSurrogate(const QString& s);

}  // namespace notes::store
