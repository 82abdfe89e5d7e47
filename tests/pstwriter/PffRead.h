#pragma once
// Reading written files back with libpff's C API, so the tests check the
// bytes with an independent reader rather than with the writer's own code.
// Every failure throws std::runtime_error with libpff's message.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <cstdint>
#include <optional>
#include <vector>

#include <libpff.h>

namespace pff {

// Which property: a tagged one (id only) or a named one through the file's
// name-to-id map (property set and numeric id, or property set and name).
struct Prop {
    std::uint16_t id = 0;
    QUuid set;
    std::uint32_t lid = 0;
    QString name;
    static Prop tag(std::uint16_t id) { return {id, {}, 0, {}}; }
    static Prop named(const QUuid& set, std::uint32_t lid) { return {0, set, lid, {}}; }
    static Prop named(const QUuid& set, const QString& name) { return {0, set, 0, name}; }
};

struct Value {
    std::uint32_t type = 0;  // property type as libpff reports it
    QByteArray data;  // stored bytes
};

class Item {
public:
    Item() = default;
    explicit Item(libpff_item_t* item)
        : m_item(item)
    {
    }
    ~Item();
    Item(Item&& o) noexcept
        : m_item(o.m_item)
        , m_set(o.m_set)
    {
        o.m_item = nullptr;
        o.m_set = nullptr;
    }
    Item& operator=(Item&& o) noexcept;
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;

    std::uint32_t identifier() const;
    int subFolderCount() const;
    Item subFolder(int index) const;
    int messageCount() const;
    Item message(int index) const;
    int associatedCount() const;
    Item associated(int index) const;
    // A folder below this one by display names; throws when missing.
    Item folder(const QStringList& path) const;
    QStringList subFolderNames() const;

    std::optional<Value> value(const Prop& p) const;
    bool has(const Prop& p) const { return value(p).has_value(); }
    QString text(const Prop& p) const;  // PT_UNICODE, PT_STRING8; empty when absent
    QStringList texts(const Prop& p) const;  // PT_MV_UNICODE, PT_MV_STRING8 (Windows-1252)
    std::vector<QByteArray> binaries(const Prop& p) const;  // PT_MV_BINARY
    std::vector<std::int32_t> integers(const Prop& p) const;  // PT_MV_LONG (decoded by libpff)
    std::optional<QDateTime> time(const Prop& p) const;  // PT_SYSTIME in UTC
    std::optional<std::int32_t> integer(const Prop& p) const;
    QByteArray rtfBody() const;  // decompressed by libpff; empty when none
    int valueCount() const;

private:
    std::vector<QByteArray> multi(const Prop& p) const;
    libpff_record_set_t* set() const;
    libpff_record_entry_t* entry(const Prop& p) const;  // caller frees; nullptr when absent
    libpff_item_t* m_item = nullptr;
    mutable libpff_record_set_t* m_set = nullptr;
};

class File {
public:
    explicit File(const QString& path);
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    Item root() const;  // the root folder
    Item messageStore() const;
    Item byIdentifier(std::uint32_t nid) const;
    int orphanCount() const;

private:
    libpff_file_t* m_file = nullptr;
};

// GUID in the layout libpff hands out (Windows byte order).
QByteArray guidBytes(const QUuid& u);

}  // namespace pff
