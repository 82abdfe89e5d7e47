#pragma once
// The stored form of a note's items (see docs/BOOK_FORMAT.md).

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

namespace notes::store {

// The items of a note, in order: name and text value.
using ItemList = std::vector<std::pair<QString, QString>>;

// The stored form of an item list, into `out` (whose room is used again),
// and back (throws NotesError when damaged).
void encodeItems(const ItemList& items, QByteArray& out);
ItemList decodeItems(const void* data, qsizetype size);

// Whether a text holds a surrogate without its partner, which UTF-8 has no
// form for.
bool hasUnpairedSurrogate(const QString& s);

}  // namespace notes::store
