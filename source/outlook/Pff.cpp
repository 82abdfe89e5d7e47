#include "source/outlook/Pff.h"

#include <libpff.h>

#include <QStringDecoder>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <limits>

namespace outlook::pff {

namespace {

// A single value larger than this is treated as damage rather than read.
constexpr std::size_t kMaxValueSize = 64u * 1024 * 1024;
// More properties than this on one item is damage too.
constexpr int kMaxProperties = 65536;

// Takes the text out of a libpff error and frees it.
QString takeError(libpff_error_t*& error)
{
    QString text;
    if (error) {
        std::array<char, 4096> buffer{};
        // The return value of this call is unreliable; the buffer is not.
        libpff_error_backtrace_sprint(error, buffer.data(), buffer.size() - 1);
        buffer.back() = '\0';
        text = QString::fromUtf8(buffer.data()).trimmed();
        libpff_error_free(&error);
        error = nullptr;
    }
    // libpff prints a backtrace, one line per level, the deepest cause first.
    const qsizetype cut = text.indexOf(QLatin1Char('\n'));
    if (cut >= 0)
        text = text.left(cut).trimmed();
    return text;
}

[[noreturn]] void fail(const QString& what, libpff_error_t*& error)
{
    const QString detail = takeError(error);
    const QString text = detail.isEmpty() ? what : what + QStringLiteral(" (") + detail + QStringLiteral(")");
    throw OutlookError(text.toStdString());
}

class Error {
public:
    ~Error()
    {
        if (e_)
            libpff_error_free(&e_);
    }
    libpff_error_t** operator&() { return &e_; }
    [[noreturn]] void raise(const QString& what) { fail(what, e_); }

private:
    libpff_error_t* e_ = nullptr;
};

struct RecordSet {
    libpff_record_set_t* p = nullptr;
    ~RecordSet()
    {
        if (p)
            libpff_record_set_free(&p, nullptr);
    }
};

struct RecordEntry {
    libpff_record_entry_t* p = nullptr;
    ~RecordEntry()
    {
        if (p)
            libpff_record_entry_free(&p, nullptr);
    }
};

// Windows-1252 characters 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString decodeUtf16(const char* data, qsizetype size)
{
    if (size % 2 != 0)
        throw OutlookError("a Unicode text value has an odd number of bytes");
    QString text(size / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < size / 2; ++i)
        text[i] = QChar(qFromLittleEndian<quint16>(data + 2 * i));
    return text;
}

// MAPI strings carry no terminator of their own; some writers add one anyway.
void dropTerminators(QString& text)
{
    while (!text.isEmpty() && text.back() == QChar(0))
        text.chop(1);
}

}  // namespace

// ---------------------------------------------------------------------------

const Property* PropertyBag::find(std::uint16_t id) const
{
    if (id == 0)
        return nullptr;
    for (const Property& p : props_)
        if (p.id == id)
            return &p;
    return nullptr;
}

size_t qHash(const NamedKey& key, size_t seed)
{
    return ::qHash(key.set, seed) ^ ::qHash(key.isString ? key.name : QString(), seed) ^ ::qHash(key.lid, seed);
}

namespace {
QUuid guidFromBytes(const char* p)
{
    return QUuid(qFromLittleEndian<quint32>(p), qFromLittleEndian<quint16>(p + 4), qFromLittleEndian<quint16>(p + 6),
                 uchar(p[8]), uchar(p[9]), uchar(p[10]), uchar(p[11]), uchar(p[12]), uchar(p[13]), uchar(p[14]),
                 uchar(p[15]));
}
const QUuid kPsMapi(0x00020328, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
const QUuid kPsPublicStrings(0x00020329, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
}  // namespace

void NameMap::parse(const QByteArray& guids, const QByteArray& entries, const QByteArray& strings)
{
    ids_.clear();
    const qsizetype guidCount = guids.size() / 16;
    for (qsizetype at = 0; at + 8 <= entries.size(); at += 8) {
        const char* e = entries.constData() + at;
        const quint32 value = qFromLittleEndian<quint32>(e);
        const quint16 guidAndKind = qFromLittleEndian<quint16>(e + 4);
        const quint16 index = qFromLittleEndian<quint16>(e + 6);
        NamedKey key;
        const quint16 guidIndex = guidAndKind >> 1;
        if (guidIndex == 1)
            key.set = kPsMapi;
        else if (guidIndex == 2)
            key.set = kPsPublicStrings;
        else if (guidIndex >= 3 && guidIndex - 3 < guidCount)
            key.set = guidFromBytes(guids.constData() + 16 * (guidIndex - 3));
        else
            continue;  // an entry pointing nowhere names nothing
        if (guidAndKind & 1) {
            // String name: a 32-bit length and UTF-16 text in the string stream.
            if (qsizetype(value) + 4 > strings.size())
                continue;
            const quint32 length = qFromLittleEndian<quint32>(strings.constData() + value);
            if (length > quint32(strings.size() - value - 4))
                continue;
            key.isString = true;
            key.name = decodeUtf16(strings.constData() + value + 4, qsizetype(length) & ~qsizetype(1));
            dropTerminators(key.name);
        } else {
            key.lid = value;
        }
        if (index > 0x7FFE)
            continue;
        ids_.insert(key, quint16(0x8000 + index));
    }
}

std::uint16_t NameMap::id(const QUuid& set, std::uint32_t lid) const
{
    NamedKey key;
    key.set = set;
    key.lid = lid;
    return id(key);
}

std::uint16_t NameMap::id(const QUuid& set, const QString& name) const
{
    NamedKey key;
    key.set = set;
    key.isString = true;
    key.name = name;
    return id(key);
}

// ---------------------------------------------------------------------------

Item::~Item()
{
    if (item_)
        libpff_item_free(&item_, nullptr);
}

Item& Item::operator=(Item&& other) noexcept
{
    if (this != &other) {
        if (item_)
            libpff_item_free(&item_, nullptr);
        item_ = other.item_;
        other.item_ = nullptr;
    }
    return *this;
}

std::uint32_t Item::identifier() const
{
    Error error;
    uint32_t id = 0;
    if (libpff_item_get_identifier(item_, &id, &error) != 1)
        error.raise(QStringLiteral("cannot read the node id of an item"));
    return id;
}

PropertyBag Item::readProperties() const
{
    PropertyBag bag;
    Error error;
    int sets = 0;
    if (libpff_item_get_number_of_record_sets(item_, &sets, &error) != 1)
        error.raise(QStringLiteral("cannot read the properties of an item"));
    if (sets < 1)
        return bag;
    RecordSet set;
    if (libpff_item_get_record_set_by_index(item_, 0, &set.p, &error) != 1)
        error.raise(QStringLiteral("cannot read the properties of an item"));
    int count = 0;
    if (libpff_record_set_get_number_of_entries(set.p, &count, &error) != 1)
        error.raise(QStringLiteral("cannot read the properties of an item"));
    if (count < 0 || count > kMaxProperties)
        throw OutlookError("an item has an impossible number of properties");
    for (int i = 0; i < count; ++i) {
        RecordEntry entry;
        if (libpff_record_set_get_entry_by_index(set.p, i, &entry.p, &error) != 1)
            error.raise(QStringLiteral("cannot read a property of an item"));
        uint32_t entryType = 0, valueType = 0;
        if (libpff_record_entry_get_entry_type(entry.p, &entryType, &error) != 1
            || libpff_record_entry_get_value_type(entry.p, &valueType, &error) != 1)
            error.raise(QStringLiteral("cannot read a property of an item"));
        size_t size = 0;
        if (libpff_record_entry_get_data_size(entry.p, &size, &error) != 1) {
            // A property whose value cannot be located reads as absent.
            takeError(*&error);
            continue;
        }
        if (size > kMaxValueSize)
            throw OutlookError("a property value is impossibly large");
        Property p;
        p.id = std::uint16_t(entryType);
        p.type = std::uint16_t(valueType);
        if (size > 0) {
            p.data.resize(qsizetype(size));
            if (libpff_record_entry_get_data(entry.p, reinterpret_cast<uint8_t*>(p.data.data()), size, &error) != 1)
                error.raise(QStringLiteral("cannot read a property value"));
        }
        bag.add(std::move(p));
    }
    return bag;
}

int Item::subFolderCount() const
{
    Error error;
    int count = 0;
    if (libpff_folder_get_number_of_sub_folders(item_, &count, &error) != 1)
        error.raise(QStringLiteral("cannot read the subfolders of a folder"));
    if (count < 0)
        throw OutlookError("a folder has an impossible number of subfolders");
    return count;
}

Item Item::subFolder(int index) const
{
    Error error;
    libpff_item_t* sub = nullptr;
    if (libpff_folder_get_sub_folder(item_, index, &sub, &error) != 1 || !sub)
        error.raise(QStringLiteral("cannot open a subfolder"));
    return Item(sub);
}

int Item::subMessageCount() const
{
    Error error;
    int count = 0;
    if (libpff_folder_get_number_of_sub_messages(item_, &count, &error) != 1)
        error.raise(QStringLiteral("cannot read the items of a folder"));
    if (count < 0)
        throw OutlookError("a folder has an impossible number of items");
    return count;
}

std::vector<std::uint32_t> Item::subMessageIds() const
{
    Error error;
    libpff_item_t* table = nullptr;
    if (libpff_folder_get_sub_messages(item_, &table, &error) != 1 || !table)
        error.raise(QStringLiteral("cannot read the items of a folder"));
    const Item owner(table);
    int rows = 0;
    if (libpff_item_get_number_of_record_sets(table, &rows, &error) != 1)
        error.raise(QStringLiteral("cannot read the items of a folder"));
    std::vector<std::uint32_t> ids;
    ids.reserve(std::size_t(std::max(rows, 0)));
    for (int i = 0; i < rows; ++i) {
        RecordSet set;
        RecordEntry entry;
        uint32_t id = 0;
        if (libpff_item_get_record_set_by_index(table, i, &set.p, &error) != 1
            || libpff_record_set_get_entry_by_type(set.p, 0x67F2, PT_LONG, &entry.p, 0, &error) != 1
            || libpff_record_entry_get_data_as_32bit_integer(entry.p, &id, &error) != 1)
            error.raise(QStringLiteral("cannot read the items of a folder"));
        ids.push_back(id);
    }
    return ids;
}

Item Item::subMessage(int index) const
{
    Error error;
    libpff_item_t* sub = nullptr;
    if (libpff_folder_get_sub_message(item_, index, &sub, &error) != 1 || !sub)
        error.raise(QStringLiteral("cannot open an item"));
    return Item(sub);
}

// ---------------------------------------------------------------------------

File::File(const QString& path) : path_(path)
{
    Error error;
    if (libpff_file_initialize(&file_, &error) != 1)
        error.raise(QStringLiteral("cannot prepare to read ") + path);
    const QByteArray local = path.toLocal8Bit();
    if (libpff_file_open(file_, local.constData(), LIBPFF_OPEN_READ, &error) != 1) {
        libpff_file_free(&file_, nullptr);
        file_ = nullptr;
        error.raise(QStringLiteral("not an Outlook data file or damaged: ") + path);
    }
    uint8_t contentType = 0;
    if (libpff_file_get_content_type(file_, &contentType, &error) == 1 && contentType != LIBPFF_FILE_CONTENT_TYPE_PST
        && contentType != LIBPFF_FILE_CONTENT_TYPE_OST) {
        libpff_file_close(file_, nullptr);
        libpff_file_free(&file_, nullptr);
        file_ = nullptr;
        throw OutlookError(("not a personal folders file: " + path).toStdString());
    }
    takeError(*&error);
    int codepage = 0;
    if (libpff_file_get_ascii_codepage(file_, &codepage, &error) == 1 && codepage > 0)
        codepage_ = codepage;
    takeError(*&error);

    // The name-to-id map; a file without one simply has no named properties.
    libpff_item_t* map = nullptr;
    if (libpff_file_get_name_to_id_map(file_, &map, &error) == 1 && map) {
        Item owner(map);
        try {
            const PropertyBag bag = owner.readProperties();
            auto bytes = [&](std::uint16_t id) {
                const Property* p = bag.find(id);
                return p ? p->data : QByteArray();
            };
            names_.parse(bytes(0x0002), bytes(0x0003), bytes(0x0004));
        } catch (const OutlookError&) {
            // A damaged map leaves every named value absent rather than the file unreadable.
        }
    }
    takeError(*&error);
}

File::~File()
{
    if (file_) {
        libpff_file_close(file_, nullptr);
        libpff_file_free(&file_, nullptr);
    }
}

Item File::messageStore() const
{
    Error error;
    libpff_item_t* store = nullptr;
    const int rc = libpff_file_get_message_store(file_, &store, &error);
    if (rc != 1 || !store) {
        if (rc == 0)
            throw OutlookError(("the data file has no message store: " + path_).toStdString());
        error.raise(QStringLiteral("cannot read the message store of ") + path_);
    }
    return Item(store);
}

Item File::itemById(std::uint32_t nid) const
{
    Error error;
    libpff_item_t* item = nullptr;
    const int rc = libpff_file_get_item_by_identifier(file_, nid, &item, &error);
    if (rc == -1)
        error.raise(QStringLiteral("cannot open node %1").arg(nid, 0, 16));
    return Item(rc == 1 ? item : nullptr);
}

// ---------------------------------------------------------------------------

QString decodeCodepage(const QByteArray& bytes, int codepage)
{
    if (codepage == 65001)
        return QString::fromUtf8(bytes);
    if (codepage == 20127 || codepage == 28591)
        return QString::fromLatin1(bytes);
    if (codepage != 1252 && codepage > 0) {
        const QByteArray name = "windows-" + QByteArray::number(codepage);
        QStringDecoder decoder(name.constData());
        if (!decoder.isValid()) {
            QStringDecoder cp(("CP" + QByteArray::number(codepage)).constData());
            if (cp.isValid())
                return cp.decode(bytes);
        } else {
            return decoder.decode(bytes);
        }
    }
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar c = uchar(bytes[i]);
        text[i] = (c >= 0x80 && c < 0xA0) ? QChar(kCp1252High[c - 0x80]) : QChar(c);
    }
    return text;
}

QString toText(const Property& p, int codepage)
{
    QString text;
    switch (p.type) {
    case PT_UNICODE:
        text = decodeUtf16(p.data.constData(), p.data.size());
        break;
    case PT_STRING8:
        text = decodeCodepage(p.data, codepage);
        break;
    case PT_MV_UNICODE:
    case PT_MV_STRING8:
        return toTexts(p, codepage).join(QStringLiteral(", "));
    default:
        throw OutlookError("a property expected to hold text holds another type");
    }
    dropTerminators(text);
    return text;
}

namespace {
// The values of a multi-valued property of variable size: a count, the
// offset of each value, then the values.
std::vector<QByteArray> splitMultiValue(const QByteArray& data)
{
    std::vector<QByteArray> values;
    if (data.isEmpty())
        return values;
    if (data.size() < 4)
        throw OutlookError("a multi-valued property is damaged");
    const quint32 count = qFromLittleEndian<quint32>(data.constData());
    if (count > quint32((data.size() - 4) / 4))
        throw OutlookError("a multi-valued property has an impossible count");
    const quint32 end = quint32(data.size());
    values.reserve(count);
    for (quint32 i = 0; i < count; ++i) {
        const quint32 from = qFromLittleEndian<quint32>(data.constData() + 4 + 4 * i);
        const quint32 to = i + 1 < count ? qFromLittleEndian<quint32>(data.constData() + 8 + 4 * i) : end;
        if (from < 4 + 4 * count || from > to || to > end)
            throw OutlookError("a multi-valued property is damaged");
        values.push_back(data.mid(from, to - from));
    }
    return values;
}
}  // namespace

QStringList toTexts(const Property& p, int codepage)
{
    QStringList texts;
    if (p.type == PT_UNICODE || p.type == PT_STRING8) {
        texts.push_back(toText(p, codepage));
        return texts;
    }
    if (p.type != PT_MV_UNICODE && p.type != PT_MV_STRING8)
        throw OutlookError("a property expected to hold texts holds another type");
    for (const QByteArray& value : splitMultiValue(p.data)) {
        QString text = p.type == PT_MV_UNICODE ? decodeUtf16(value.constData(), value.size())
                                               : decodeCodepage(value, codepage);
        dropTerminators(text);
        texts.push_back(text);
    }
    return texts;
}

std::vector<QByteArray> toBinaries(const Property& p)
{
    if (p.type == PT_BINARY)
        return {p.data};
    if (p.type != PT_MV_BINARY)
        throw OutlookError("a property expected to hold binary values holds another type");
    return splitMultiValue(p.data);
}

std::int64_t toInteger(const Property& p)
{
    switch (p.type) {
    case PT_SHORT:
        if (p.data.size() >= 2)
            return qFromLittleEndian<qint16>(p.data.constData());
        break;
    case PT_LONG:
    case PT_BOOLEAN:
        if (p.data.size() >= 4)
            return qFromLittleEndian<qint32>(p.data.constData());
        if (p.type == PT_BOOLEAN && p.data.size() >= 1)
            return p.data[0] != 0;
        break;
    case PT_I8:
        if (p.data.size() >= 8)
            return qFromLittleEndian<qint64>(p.data.constData());
        break;
    default:
        break;
    }
    throw OutlookError("a property expected to hold a number holds another type");
}

QDateTime toUtcTime(const Property& p)
{
    if (p.type != PT_SYSTIME || p.data.size() != 8)
        throw OutlookError("a property expected to hold a date holds another type");
    const quint64 ticks = qFromLittleEndian<quint64>(p.data.constData());
    // 100-nanosecond ticks since 1601-01-01 UTC.
    constexpr qint64 kTicksPerMs = 10000;
    constexpr qint64 kEpochDelta = 11644473600000LL;  // ms from 1601 to 1970
    if (ticks > quint64(std::numeric_limits<qint64>::max()))
        throw OutlookError("a date is out of range");
    const qint64 ms = qint64(ticks / kTicksPerMs) - kEpochDelta;
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

}  // namespace outlook::pff
