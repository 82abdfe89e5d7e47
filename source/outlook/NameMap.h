#pragma once
// The name-to-id map (node 0x61): which id from 0x8000 a named property (a
// property set with a number or a name) has in this file.

#include "source/outlook/Property.h"

#include <QHash>
#include <QUuid>

namespace outlook::pst {

struct NamedKey {
    QUuid set;
    bool isString = false;
    std::uint32_t lid = 0;
    QString name;
    friend bool operator==(const NamedKey&, const NamedKey&) = default;
};
size_t qHash(const NamedKey& key, size_t seed = 0);

class NameMap {
public:
    // Reads the map from its property context: the GUID stream (0x0002), the
    // entry stream (0x0003) and the string stream (0x0004). Entries that
    // point nowhere name nothing.
    void parse(const PropertyBag& map);
    // 0 when the file has no id for this name.
    std::uint16_t id(const QUuid& set, std::uint32_t lid) const;
    std::uint16_t id(const QUuid& set, const QString& name) const;

private:
    QHash<NamedKey, std::uint16_t> ids_;
};

}  // namespace outlook::pst
