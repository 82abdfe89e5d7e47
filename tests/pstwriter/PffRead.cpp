#include "PffRead.h"

#include <QStringDecoder>
#include <QtEndian>

#include <stdexcept>
#include <string>

namespace pff {

namespace {

[[noreturn]] void fail(const char* what, libpff_error_t* error)
{
    std::string text = what;
    if (error) {
        char buffer[1024] = {};
        libpff_error_backtrace_sprint(error, buffer, sizeof buffer);
        libpff_error_free(&error);
        text += ": ";
        text += buffer;
    }
    throw std::runtime_error(text);
}

void check(int result, const char* what, libpff_error_t* error)
{
    if (result != 1)
        fail(what, error);
}

QString fromUtf16(const QByteArray& b)
{
    QString s;
    s.reserve(b.size() / 2);
    for (qsizetype i = 0; i + 1 < b.size(); i += 2)
        s.append(QChar(qFromLittleEndian<std::uint16_t>(b.constData() + i)));
    return s;
}

QByteArray entryData(libpff_record_entry_t* e)
{
    libpff_error_t* error = nullptr;
    std::size_t size = 0;
    check(libpff_record_entry_get_data_size(e, &size, &error), "value size", error);
    QByteArray data(qsizetype(size), '\0');
    if (size > 0)
        check(libpff_record_entry_get_data(e, reinterpret_cast<std::uint8_t*>(data.data()), size, &error), "value",
              error);
    return data;
}

struct EntryGuard {
    libpff_record_entry_t* e;
    ~EntryGuard()
    {
        if (e)
            libpff_record_entry_free(&e, nullptr);
    }
};

}  // namespace

QByteArray guidBytes(const QUuid& u)
{
    QByteArray b(16, '\0');
    qToLittleEndian<std::uint32_t>(u.data1, b.data());
    qToLittleEndian<std::uint16_t>(u.data2, b.data() + 4);
    qToLittleEndian<std::uint16_t>(u.data3, b.data() + 6);
    for (int i = 0; i < 8; ++i)
        b[8 + i] = char(u.data4[i]);
    return b;
}

Item::~Item()
{
    if (m_set)
        libpff_record_set_free(&m_set, nullptr);
    if (m_item)
        libpff_item_free(&m_item, nullptr);
}

Item& Item::operator=(Item&& o) noexcept
{
    if (this != &o) {
        this->~Item();
        m_item = o.m_item;
        m_set = o.m_set;
        o.m_item = nullptr;
        o.m_set = nullptr;
    }
    return *this;
}

std::uint32_t Item::identifier() const
{
    libpff_error_t* error = nullptr;
    std::uint32_t id = 0;
    check(libpff_item_get_identifier(m_item, &id, &error), "identifier", error);
    return id;
}

int Item::subFolderCount() const
{
    libpff_error_t* error = nullptr;
    int n = 0;
    check(libpff_folder_get_number_of_sub_folders(m_item, &n, &error), "number of subfolders", error);
    return n;
}

Item Item::subFolder(int index) const
{
    libpff_error_t* error = nullptr;
    libpff_item_t* sub = nullptr;
    check(libpff_folder_get_sub_folder(m_item, index, &sub, &error), "subfolder", error);
    return Item(sub);
}

int Item::messageCount() const
{
    libpff_error_t* error = nullptr;
    int n = 0;
    check(libpff_folder_get_number_of_sub_messages(m_item, &n, &error), "number of messages", error);
    return n;
}

Item Item::message(int index) const
{
    libpff_error_t* error = nullptr;
    libpff_item_t* sub = nullptr;
    check(libpff_folder_get_sub_message(m_item, index, &sub, &error), "message", error);
    return Item(sub);
}

int Item::associatedCount() const
{
    libpff_error_t* error = nullptr;
    int n = 0;
    check(libpff_folder_get_number_of_sub_associated_contents(m_item, &n, &error), "number of associated items", error);
    return n;
}

Item Item::associated(int index) const
{
    libpff_error_t* error = nullptr;
    libpff_item_t* sub = nullptr;
    check(libpff_folder_get_sub_associated_content(m_item, index, &sub, &error), "associated item", error);
    return Item(sub);
}

QStringList Item::subFolderNames() const
{
    QStringList names;
    for (int i = 0, n = subFolderCount(); i < n; ++i)
        names << subFolder(i).text(Prop::tag(0x3001));
    return names;
}

Item Item::folder(const QStringList& path) const
{
    if (path.isEmpty())
        return Item(nullptr);
    for (int i = 0, n = subFolderCount(); i < n; ++i) {
        Item sub = subFolder(i);
        if (sub.text(Prop::tag(0x3001)) != path.front())
            continue;
        if (path.size() == 1)
            return sub;
        return sub.folder(path.mid(1));
    }
    throw std::runtime_error("no folder " + path.front().toStdString());
}

libpff_record_set_t* Item::set() const
{
    if (!m_set) {
        libpff_error_t* error = nullptr;
        check(libpff_item_get_record_set_by_index(m_item, 0, &m_set, &error), "record set", error);
    }
    return m_set;
}

int Item::valueCount() const
{
    libpff_error_t* error = nullptr;
    int n = 0;
    check(libpff_record_set_get_number_of_entries(set(), &n, &error), "number of values", error);
    return n;
}

libpff_record_entry_t* Item::entry(const Prop& p) const
{
    libpff_error_t* error = nullptr;
    int n = valueCount();
    const QByteArray guid = p.set.isNull() ? QByteArray() : guidBytes(p.set);
    for (int i = 0; i < n; ++i) {
        libpff_record_entry_t* e = nullptr;
        check(libpff_record_set_get_entry_by_index(set(), i, &e, &error), "value", error);
        std::uint32_t type = 0;
        check(libpff_record_entry_get_entry_type(e, &type, &error), "value tag", error);
        bool match = false;
        if (p.set.isNull()) {
            match = type == p.id;
        } else if (type >= 0x8000) {
            libpff_name_to_id_map_entry_t* m = nullptr;
            if (libpff_record_entry_get_name_to_id_map_entry(e, &m, &error) == 1 && m) {
                std::uint8_t g[16] = {};
                std::uint8_t kind = 0;
                check(libpff_name_to_id_map_entry_get_guid(m, g, sizeof g, &error), "name guid", error);
                check(libpff_name_to_id_map_entry_get_type(m, &kind, &error), "name kind", error);
                if (QByteArray(reinterpret_cast<const char*>(g), 16) == guid) {
                    if (kind == LIBPFF_NAME_TO_ID_MAP_ENTRY_TYPE_NUMERIC && p.name.isEmpty()) {
                        std::uint32_t number = 0;
                        check(libpff_name_to_id_map_entry_get_number(m, &number, &error), "name number", error);
                        match = number == p.lid;
                    } else if (kind == LIBPFF_NAME_TO_ID_MAP_ENTRY_TYPE_STRING && !p.name.isEmpty()) {
                        std::size_t size = 0;
                        check(libpff_name_to_id_map_entry_get_utf8_string_size(m, &size, &error), "name size", error);
                        QByteArray name(qsizetype(size), '\0');
                        check(libpff_name_to_id_map_entry_get_utf8_string(
                                  m, reinterpret_cast<std::uint8_t*>(name.data()), size, &error),
                              "name", error);
                        match = QString::fromUtf8(name.constData()) == p.name;
                    }
                }
            } else if (error) {
                libpff_error_free(&error);
            }
        }
        if (match)
            return e;
        libpff_record_entry_free(&e, nullptr);
    }
    return nullptr;
}

std::optional<Value> Item::value(const Prop& p) const
{
    EntryGuard g{entry(p)};
    if (!g.e)
        return std::nullopt;
    libpff_error_t* error = nullptr;
    Value v;
    check(libpff_record_entry_get_value_type(g.e, &v.type, &error), "value type", error);
    v.data = entryData(g.e);
    return v;
}

QString Item::text(const Prop& p) const
{
    EntryGuard g{entry(p)};
    if (!g.e)
        return {};
    libpff_error_t* error = nullptr;
    std::uint32_t type = 0;
    check(libpff_record_entry_get_value_type(g.e, &type, &error), "value type", error);
    if (type == 0x001F)
        return fromUtf16(entryData(g.e));
    if (type != 0x001E)
        throw std::runtime_error("not a string");
    // 8-bit texts as libpff decodes them (its code page, Windows-1252).
    std::size_t size = 0;
    check(libpff_record_entry_get_data_as_utf8_string_size(g.e, &size, &error), "string size", error);
    QByteArray utf8(qsizetype(size), '\0');
    if (size > 0)
        check(libpff_record_entry_get_data_as_utf8_string(g.e, reinterpret_cast<std::uint8_t*>(utf8.data()), size,
                                                          &error),
              "string", error);
    return QString::fromUtf8(utf8.constData());
}

// Variable-size multi-valued data: the count, an offset per value, the values.
// (Decoded here: libpff's own multi-value accessor loses the count.)
std::vector<QByteArray> Item::multi(const Prop& p) const
{
    std::vector<QByteArray> out;
    auto v = value(p);
    if (!v)
        return out;
    const QByteArray& d = v->data;
    if ((v->type & 0x1000) == 0 || d.size() < 4)
        throw std::runtime_error("not a multi-valued property");
    const std::uint32_t n = qFromLittleEndian<std::uint32_t>(d.constData());
    if (std::uint64_t(n) * 4 + 4 > std::uint64_t(d.size()))
        throw std::runtime_error("bad multi-value count");
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t at = qFromLittleEndian<std::uint32_t>(d.constData() + 4 + 4 * i);
        const std::uint32_t end
            = i + 1 < n ? qFromLittleEndian<std::uint32_t>(d.constData() + 8 + 4 * i) : std::uint32_t(d.size());
        if (at > end || end > std::uint32_t(d.size()))
            throw std::runtime_error("bad multi-value offset");
        out.push_back(d.mid(at, end - at));
    }
    return out;
}

QStringList Item::texts(const Prop& p) const
{
    QStringList out;
    const auto v = value(p);
    if (v && v->type == 0x101E) {
        QStringDecoder cp1252("windows-1252");
        for (const QByteArray& b : multi(p))
            out << cp1252.decode(b);
        return out;
    }
    for (const QByteArray& b : multi(p))
        out << fromUtf16(b);
    return out;
}

std::vector<QByteArray> Item::binaries(const Prop& p) const
{
    return multi(p);
}

std::vector<std::int32_t> Item::integers(const Prop& p) const
{
    EntryGuard g{entry(p)};
    std::vector<std::int32_t> out;
    if (!g.e)
        return out;
    libpff_error_t* error = nullptr;
    libpff_multi_value_t* mv = nullptr;
    check(libpff_record_entry_get_multi_value(g.e, &mv, &error), "multi value", error);
    int n = 0;
    check(libpff_multi_value_get_number_of_values(mv, &n, &error), "number of values", error);
    for (int i = 0; i < n; ++i) {
        std::uint32_t x = 0;
        check(libpff_multi_value_get_value_32bit(mv, i, &x, &error), "32-bit value", error);
        out.push_back(std::int32_t(x));
    }
    libpff_multi_value_free(&mv, nullptr);
    return out;
}

std::optional<QDateTime> Item::time(const Prop& p) const
{
    EntryGuard g{entry(p)};
    if (!g.e)
        return std::nullopt;
    libpff_error_t* error = nullptr;
    std::uint64_t ft = 0;
    check(libpff_record_entry_get_data_as_filetime(g.e, &ft, &error), "filetime", error);
    const std::int64_t ms = (std::int64_t(ft) - 116444736000000000LL) / 10000;
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

std::optional<std::int32_t> Item::integer(const Prop& p) const
{
    auto v = value(p);
    if (!v)
        return std::nullopt;
    if (v->data.size() == 1)
        return std::int32_t(std::uint8_t(v->data[0]));
    if (v->data.size() != 4)
        throw std::runtime_error("not a 32-bit value");
    return qFromLittleEndian<std::int32_t>(v->data.constData());
}

QByteArray Item::rtfBody() const
{
    libpff_error_t* error = nullptr;
    std::size_t size = 0;
    int r = libpff_message_get_rtf_body_size(m_item, &size, &error);
    if (r == 0)
        return {};
    check(r, "RTF body size", error);
    QByteArray rtf(qsizetype(size), '\0');
    check(libpff_message_get_rtf_body(m_item, reinterpret_cast<std::uint8_t*>(rtf.data()), size, &error), "RTF body",
          error);
    while (rtf.endsWith('\0'))
        rtf.chop(1);
    return rtf;
}

File::File(const QString& path)
{
    libpff_error_t* error = nullptr;
    check(libpff_file_initialize(&m_file, &error), "initialise", error);
    if (libpff_file_open(m_file, path.toLocal8Bit().constData(), LIBPFF_OPEN_READ, &error) != 1) {
        libpff_file_free(&m_file, nullptr);
        fail("open", error);
    }
}

File::~File()
{
    libpff_file_close(m_file, nullptr);
    libpff_file_free(&m_file, nullptr);
}

Item File::root() const
{
    libpff_error_t* error = nullptr;
    libpff_item_t* item = nullptr;
    check(libpff_file_get_root_folder(m_file, &item, &error), "root folder", error);
    return Item(item);
}

Item File::messageStore() const
{
    libpff_error_t* error = nullptr;
    libpff_item_t* item = nullptr;
    check(libpff_file_get_message_store(m_file, &item, &error), "message store", error);
    return Item(item);
}

Item File::byIdentifier(std::uint32_t nid) const
{
    libpff_error_t* error = nullptr;
    libpff_item_t* item = nullptr;
    check(libpff_file_get_item_by_identifier(m_file, nid, &item, &error), "item by identifier", error);
    return Item(item);
}

int File::orphanCount() const
{
    libpff_error_t* error = nullptr;
    int n = 0;
    check(libpff_file_get_number_of_orphan_items(m_file, &n, &error), "number of orphans", error);
    return n;
}

}  // namespace pff
