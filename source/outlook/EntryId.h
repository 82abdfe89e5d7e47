#pragma once
// Entry ids: the identifiers this layer hands out for stores and folders,
// the file's own entry ids of its nodes, and the entry ids distribution lists
// keep for their members (one-off addresses, wrapped references).

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace outlook::pst {

// Upper-case hex of the bytes.
QString hexText(const QByteArray& bytes);

// A store's identifier: its 16-byte record key, then the first 4 bytes of
// the SHA-1 of the file's path (the tail keeps two copies of one file apart).
QString storeEntryId(const QByteArray& recordKey, const QString& path);
QString storeEntryIdTail(const QString& path);

// A folder's identifier, built like the file's own entry ids: 4 zero flag
// bytes, the record key, the node id (little endian).
QString folderEntryId(const QByteArray& recordKey, std::uint32_t nid);
// The node id of a folder identifier of the store with this record key;
// nullopt for any other text.
std::optional<std::uint32_t> parseFolderEntryId(const QString& entryId, const QByteArray& recordKey);

// The node id at the end of an entry id of the file's own form.
std::uint32_t entryIdNode(const char* data, std::uint32_t size);

// A one-off entry id: an address of its own.
struct OneOffAddress {
    QString name;
    QString address;
};
// nullopt when `entry` is not a one-off entry id; throws OutlookError when it
// is one whose texts are cut short.
std::optional<OneOffAddress> parseOneOff(const QByteArray& entry, int codepage);

// A wrapped entry id: what kind of entry it refers to and the entry id itself.
struct WrappedEntry {
    std::uint8_t kind = 0;  // kWrappedKind...
    bool inStore = false;  // a message of a store
    int address = 0;  // which address of a contact (kWrappedAddress...)
    QByteArray entry;
};
std::optional<WrappedEntry> parseWrapped(const QByteArray& entry);
// Whether `entry` is an entry id of the file with this record key; its node id.
std::optional<std::uint32_t> ownEntryNode(const QByteArray& entry, const QByteArray& recordKey);

}  // namespace outlook::pst
