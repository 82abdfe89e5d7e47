#pragma once
// Property values of an item as stored, and their decoding into the values
// the program reads. Decoding follows the tolerance rules of the layer: a
// value stored with another type than expected is read where it can be (8-bit
// text for Unicode text, one text for a list, a list for one text) and
// otherwise reads as absent; only a value whose own bytes are malformed throws.

#include "source/outlook/Codepage.h"
#include "source/outlook/Format.h"
#include "source/outlook/Vocabulary.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

namespace outlook::pst {

// One property: its id, its type and its stored bytes. The bytes belong to
// the PropertyBag the property came from.
struct Property {
    std::uint16_t id = 0;
    std::uint16_t type = 0;
    const char* data = nullptr;
    std::uint32_t size = 0;

    QByteArray bytes() const { return QByteArray(data, qsizetype(size)); }
};

// All properties of one node's property context, sorted by id, with the
// storage their bytes live in.
class PropertyBag {
public:
    const Property* find(std::uint16_t id) const;
    std::size_t size() const { return props_.size(); }
    const std::vector<Property>& all() const { return props_; }

    // Building (PropertyContext): storage is kept alive with the bag.
    std::vector<Bytes>& storage() { return storage_; }
    void reserve(std::size_t properties) { props_.reserve(properties); }
    void add(const Property& p) { props_.push_back(p); }
    void sort();

private:
    std::vector<Property> props_;
    std::vector<Bytes> storage_;
};

// Values of a property, decoded by the tolerance rules above.
// Text: Unicode text, 8-bit text in `codepage`, a list joined with ", ";
// any other type gives an empty text.
QString toText(const Property& p, int codepage);
// Texts: a list, or a single text as a one-element list; any other type gives
// an empty list.
QStringList toTexts(const Property& p, int codepage);
// Binary values: a list, or a single value as a one-element list; any other
// type gives an empty list.
std::vector<QByteArray> toBinaries(const Property& p);
// An integer of any integer type; nullopt for any other type.
std::optional<std::int64_t> toInteger(const Property& p);
// A FILETIME (UTC) as a UTC date-time; nullopt for any other type.
std::optional<QDateTime> toUtcTime(const Property& p);

}  // namespace outlook::pst
