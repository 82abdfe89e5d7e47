#include "source/outlook/EntryId.h"

#include "source/outlook/Outlook.h"
#include "source/outlook/Property.h"
#include "source/outlook/Vocabulary.h"

#include <QCryptographicHash>
#include <QtEndian>

#include <cstring>

namespace outlook::pst {

namespace {

QByteArray le32(std::uint32_t v)
{
    QByteArray b(4, '\0');
    qToLittleEndian<quint32>(v, b.data());
    return b;
}

bool hasProvider(const QByteArray& entry, const std::uint8_t (&provider)[kEntryIdProviderSize])
{
    return entry.size() >= kEntryIdHeaderSize
        && std::memcmp(entry.constData() + kEntryIdFlagsSize, provider, kEntryIdProviderSize) == 0;
}

}  // namespace

QString hexText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString storeEntryIdTail(const QString& path)
{
    return hexText(QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).left(4));
}

QString storeEntryId(const QByteArray& recordKey, const QString& path)
{
    return hexText(recordKey) + storeEntryIdTail(path);
}

QString folderEntryId(const QByteArray& recordKey, std::uint32_t nid)
{
    return hexText(QByteArray(kEntryIdFlagsSize, '\0') + recordKey + le32(nid));
}

std::optional<std::uint32_t> parseFolderEntryId(const QString& entryId, const QByteArray& recordKey)
{
    const QByteArray bytes = QByteArray::fromHex(entryId.toLatin1());
    if (bytes.size() != kOwnEntryIdSize || hexText(bytes).compare(entryId, Qt::CaseInsensitive) != 0
        || !bytes.startsWith(QByteArray(kEntryIdFlagsSize, '\0'))
        || bytes.mid(kEntryIdFlagsSize, kEntryIdProviderSize) != recordKey)
        return std::nullopt;
    return qFromLittleEndian<quint32>(bytes.constData() + kEntryIdHeaderSize);
}

std::uint32_t entryIdNode(const char* data, std::uint32_t size)
{
    return qFromLittleEndian<quint32>(data + size - 4);
}

std::optional<OneOffAddress> parseOneOff(const QByteArray& e, int codepage)
{
    if (e.size() < kOneOffTextsAt || !hasProvider(e, kOneOffProvider))
        return std::nullopt;
    const quint16 flags = qFromLittleEndian<quint16>(e.constData() + kOneOffFlagsAt);
    const bool unicode = flags & kOneOffUnicode;
    qsizetype at = kOneOffTextsAt;
    auto next = [&]() -> std::optional<QString> {
        if (unicode) {
            for (qsizetype i = at; i + 1 < e.size(); i += 2) {
                if (e[i] == 0 && e[i + 1] == 0) {
                    QString s(qsizetype((i - at) / 2), Qt::Uninitialized);
                    for (qsizetype k = 0; k < s.size(); ++k)
                        s[k] = QChar(qFromLittleEndian<quint16>(e.constData() + at + 2 * k));
                    at = i + 2;
                    return s;
                }
            }
        } else {
            const qsizetype end = e.indexOf('\0', at);
            if (end >= 0) {
                QString s = decodeCodepage(e.constData() + at, end - at, codepage);
                at = end + 1;
                return s;
            }
        }
        return std::nullopt;
    };
    const auto name = next();
    const auto type = next();
    const auto address = next();
    if (!name || !type || !address)
        throw OutlookError(Cause::Damaged, "a distribution list member is damaged");
    return OneOffAddress{*name, *address};
}

std::optional<WrappedEntry> parseWrapped(const QByteArray& e)
{
    if (e.size() < kWrappedEntryAt || !hasProvider(e, kWrappedProvider))
        return std::nullopt;
    const std::uint8_t type = std::uint8_t(e[kWrappedTypeAt]);
    WrappedEntry w;
    w.kind = type & kWrappedKindMask;
    w.inStore = type & kWrappedInStore;
    w.address = (type >> kWrappedAddressShift) & kWrappedAddressMask;
    w.entry = e.mid(kWrappedEntryAt);
    return w;
}

std::optional<std::uint32_t> ownEntryNode(const QByteArray& entry, const QByteArray& recordKey)
{
    if (entry.size() != kOwnEntryIdSize || entry.mid(kEntryIdFlagsSize, kEntryIdProviderSize) != recordKey)
        return std::nullopt;
    return qFromLittleEndian<quint32>(entry.constData() + kEntryIdHeaderSize);
}

}  // namespace outlook::pst
