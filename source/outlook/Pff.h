#pragma once
// Thin owning wrappers over libpff, private to the Outlook layer. Every call
// that fails throws OutlookError carrying libpff's own explanation.

#include "source/outlook/Outlook.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <memory>
#include <vector>

typedef intptr_t libpff_file_t;
typedef intptr_t libpff_item_t;

namespace outlook::pff {

// Property types as stored in the file.
enum : std::uint16_t {
    PT_SHORT = 0x0002,
    PT_LONG = 0x0003,
    PT_BOOLEAN = 0x000B,
    PT_I8 = 0x0014,
    PT_STRING8 = 0x001E,
    PT_UNICODE = 0x001F,
    PT_SYSTIME = 0x0040,
    PT_BINARY = 0x0102,
    PT_MV_STRING8 = 0x101E,
    PT_MV_UNICODE = 0x101F,
    PT_MV_BINARY = 0x1102,
};

// One property of an item, its bytes copied out of libpff.
struct Property {
    std::uint16_t id = 0;
    std::uint16_t type = 0;
    QByteArray data;
};

// All properties of one item (a message, a folder, the message store), read
// in one pass. Lookups are by property id; named properties are first turned
// into their id through the file's NameMap.
class PropertyBag {
public:
    const Property* find(std::uint16_t id) const;
    void add(Property p) { props_.push_back(std::move(p)); }
    std::size_t size() const { return props_.size(); }
    const std::vector<Property>& all() const { return props_; }

private:
    std::vector<Property> props_;
};

// A named property: a property set with a numeric id or a string name.
struct NamedKey {
    QUuid set;
    bool isString = false;
    std::uint32_t lid = 0;
    QString name;
    friend bool operator==(const NamedKey&, const NamedKey&) = default;
};
size_t qHash(const NamedKey& key, size_t seed = 0);

// The file's name-to-id map: which 0x8000+ id a named property has.
class NameMap {
public:
    // Parses the three streams of the map (GUIDs, entries, strings).
    void parse(const QByteArray& guids, const QByteArray& entries, const QByteArray& strings);
    // 0 when the file has no id for this name.
    std::uint16_t id(const NamedKey& key) const { return ids_.value(key, 0); }
    std::uint16_t id(const QUuid& set, std::uint32_t lid) const;
    std::uint16_t id(const QUuid& set, const QString& name) const;

private:
    QHash<NamedKey, std::uint16_t> ids_;
};

// Owns a libpff item.
class Item {
public:
    Item() = default;
    explicit Item(libpff_item_t* item) : item_(item) {}
    ~Item();
    Item(Item&& other) noexcept : item_(other.item_) { other.item_ = nullptr; }
    Item& operator=(Item&& other) noexcept;
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;

    libpff_item_t* get() const { return item_; }
    explicit operator bool() const { return item_ != nullptr; }

    std::uint32_t identifier() const;
    // Every property of the item's first record set.
    PropertyBag readProperties() const;

    // Folder operations.
    int subFolderCount() const;
    Item subFolder(int index) const;
    int subMessageCount() const;
    // The node ids of the folder's normal items, in the order of its
    // contents table.
    std::vector<std::uint32_t> subMessageIds() const;
    Item subMessage(int index) const;

private:
    libpff_item_t* item_ = nullptr;
};

// An open data file.
class File {
public:
    // Opens the file read-only; throws when it is not a readable data file.
    explicit File(const QString& path);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    const QString& path() const { return path_; }
    Item messageStore() const;
    // The item with this node id; an empty Item when the file has none.
    Item itemById(std::uint32_t nid) const;
    const NameMap& names() const { return names_; }
    // The code page of 8-bit strings that carry no code page of their own.
    int asciiCodepage() const { return codepage_; }

private:
    QString path_;
    libpff_file_t* file_ = nullptr;
    NameMap names_;
    int codepage_ = 1252;
};

// Values of a property, decoded. Each throws OutlookError when the stored
// bytes do not fit the type.
QString toText(const Property& p, int codepage);
QStringList toTexts(const Property& p, int codepage);
std::vector<QByteArray> toBinaries(const Property& p);
std::int64_t toInteger(const Property& p);
// FILETIME (UTC) as a UTC date-time.
QDateTime toUtcTime(const Property& p);
// 8-bit text in a Windows code page.
QString decodeCodepage(const QByteArray& bytes, int codepage);

}  // namespace outlook::pff
