#include "PstWriter.h"

#include "Ltp.h"
#include "Ndb.h"

#include <QHash>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QtEndian>

#include <algorithm>
#include <map>
#include <stdexcept>

namespace pstwriter {

using namespace detail;

namespace {

// Node ids of the fixed nodes.
constexpr std::uint32_t NID_MESSAGE_STORE = 0x21;
constexpr std::uint32_t NID_NAME_TO_ID_MAP = 0x61;
constexpr std::uint32_t NID_ROOT_FOLDER = 0x122;
constexpr std::uint32_t NID_SEARCH_MANAGEMENT_QUEUE = 0x1E1;
constexpr std::uint32_t NID_SEARCH_ACTIVITY_LIST = 0x201;
constexpr std::uint32_t NID_SEARCH_DOMAIN_OBJECT = 0x261;
constexpr std::uint32_t NID_HIERARCHY_TABLE_TEMPLATE = 0x60D;
constexpr std::uint32_t NID_CONTENTS_TABLE_TEMPLATE = 0x60E;
constexpr std::uint32_t NID_ASSOC_CONTENTS_TABLE_TEMPLATE = 0x60F;
constexpr std::uint32_t NID_SEARCH_CONTENTS_TABLE_TEMPLATE = 0x610;
constexpr std::uint32_t NID_ATTACHMENT_TABLE = 0x671;
constexpr std::uint32_t NID_RECIPIENT_TABLE = 0x692;

constexpr std::uint32_t NID_TYPE_NORMAL_FOLDER = 0x02;
constexpr std::uint32_t NID_TYPE_NORMAL_MESSAGE = 0x04;
constexpr std::uint32_t NID_TYPE_ASSOC_MESSAGE = 0x08;
constexpr std::uint32_t NID_TYPE_HIERARCHY_TABLE = 0x0D;
constexpr std::uint32_t NID_TYPE_CONTENTS_TABLE = 0x0E;
constexpr std::uint32_t NID_TYPE_ASSOC_CONTENTS_TABLE = 0x0F;

constexpr std::uint32_t kIpmSubtreeIndex = 0x401;
constexpr std::uint32_t kSearchRootIndex = 0x402;
constexpr std::uint32_t kDeletedItemsIndex = 0x403;
constexpr std::uint32_t kCommonViewsIndex = 0x404;

constexpr std::uint32_t kFirstUserFolderIndex = 0x405;
constexpr std::uint32_t kFirstAssocIndex = 0x8000;
constexpr std::uint32_t kFirstMessageIndex = 0x10000;
constexpr std::uint32_t kDanglingIndex = 0x7FFFFFF;
// User folders take node indexes upwards, in the order they are made: libpff
// lists subfolders (and items) in node id order. They stay below the
// associated messages so every folder sorts before every message.
constexpr std::uint32_t kLastUserFolderIndex = kFirstAssocIndex - 1;

constexpr std::uint32_t nidOf(std::uint32_t index, std::uint32_t type)
{
    return (index << 5) | type;
}

const QUuid kPsMapi(QStringLiteral("{00020328-0000-0000-C000-000000000046}"));

QByteArray utf16(const QString& s)
{
    QByteArray b(s.size() * 2, '\0');
    for (qsizetype i = 0; i < s.size(); ++i)
        qToLittleEndian<std::uint16_t>(s.at(i).unicode(), b.data() + 2 * i);
    return b;
}

QByteArray le32(std::uint32_t v)
{
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray le16(std::uint16_t v)
{
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray le64(std::uint64_t v)
{
    QByteArray b(8, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray filetime(const QDateTime& t)
{
    const std::int64_t ms = t.toUTC().toMSecsSinceEpoch();
    return le64(std::uint64_t(ms * 10000 + 116444736000000000LL));
}

template <typename List, typename Encode> QByteArray multiValue(const List& values, Encode encode)
{
    QByteArray head = le32(std::uint32_t(values.size()));
    std::vector<QByteArray> parts;
    for (const auto& v : values)
        parts.push_back(encode(v));
    std::uint32_t offset = std::uint32_t(4 + 4 * values.size());
    QByteArray body;
    for (const QByteArray& p : parts) {
        head.append(le32(offset + std::uint32_t(body.size())));
        body.append(p);
    }
    return head + body;
}

PropValue pStr(std::uint16_t id, const QString& v)
{
    return {id, PT_UNICODE, utf16(v)};
}
PropValue pLong(std::uint16_t id, std::int32_t v)
{
    return {id, PT_LONG, le32(std::uint32_t(v))};
}
PropValue pBool(std::uint16_t id, bool v)
{
    return {id, PT_BOOLEAN, QByteArray(1, v ? '\1' : '\0')};
}
PropValue pTime(std::uint16_t id, const QDateTime& v)
{
    return {id, PT_SYSTIME, filetime(v)};
}
PropValue pBin(std::uint16_t id, const QByteArray& v)
{
    return {id, PT_BINARY, v};
}
PropValue pMvStr(std::uint16_t id, const QStringList& v)
{
    return {id, PT_MV_UNICODE, multiValue(v, [](const QString& s) { return utf16(s); })};
}
PropValue pShort(std::uint16_t id, std::int16_t v)
{
    return {id, PT_SHORT, le16(std::uint16_t(v))};
}
PropValue pMvBin(std::uint16_t id, const std::vector<QByteArray>& v)
{
    return {id, PT_MV_BINARY, multiValue(v, [](const QByteArray& b) { return b; })};
}
// Fixed-size multi-valued properties are the bare array: the count follows
// from the size.
PropValue pMvLong(std::uint16_t id, const std::vector<std::int32_t>& v)
{
    QByteArray b;
    for (std::int32_t x : v)
        b.append(le32(std::uint32_t(x)));
    return {id, PT_MV_LONG, b};
}

QByteArray guidBytes(const QUuid& u)
{
    // GUIDs are stored in their Windows layout (first three fields little-endian).
    return u.toRfc4122().isEmpty() ? QByteArray(16, '\0') : [&] {
        QByteArray b(16, '\0');
        qToLittleEndian<std::uint32_t>(u.data1, b.data());
        qToLittleEndian<std::uint16_t>(u.data2, b.data() + 4);
        qToLittleEndian<std::uint16_t>(u.data3, b.data() + 6);
        for (int i = 0; i < 8; ++i)
            b[8 + i] = char(u.data4[i]);
        return b;
    }();
}

// Plain text as a small RTF document.
QByteArray textToRtf(const QString& text)
{
    QByteArray rtf = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}\\f0\\fs20 ";
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const ushort u = c.unicode();
        if (c == QLatin1Char('\r'))
            continue;
        if (c == QLatin1Char('\n'))
            rtf += "\\par\r\n";
        else if (c == QLatin1Char('\\') || c == QLatin1Char('{') || c == QLatin1Char('}'))
            rtf += '\\' + QByteArray(1, char(u));
        else if (u >= 0x20 && u < 0x80)
            rtf += char(u);
        else
            rtf += "\\u" + QByteArray::number(std::int16_t(u)) + '?';
    }
    rtf += "}";
    return rtf;
}

// PidTagRtfCompressed: an LZFu stream made of literals only, closed by the
// end marker (a reference to the current dictionary position). The
// uncompressed "MELA" form would be simpler but libpff insists on a CRC for it.
QByteArray compressedRtf(const QByteArray& rtf)
{
    constexpr int kPresetDictionary = 207;  // length of the preset RTF dictionary
    QByteArray stream;
    int position = kPresetDictionary;
    qsizetype next = 0;
    for (bool done = false; !done;) {
        const qsizetype control = stream.size();
        stream.append('\0');
        std::uint8_t flags = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (next < rtf.size()) {
                stream.append(rtf.at(next++));
                position = (position + 1) % 4096;
                continue;
            }
            flags = std::uint8_t(flags | (1 << bit));
            const std::uint16_t token = std::uint16_t(position << 4);  // offset, length 2 (ignored)
            stream.append(char(token >> 8));
            stream.append(char(token & 0xFF));
            done = true;
            break;
        }
        stream[control] = char(flags);
    }
    QByteArray b;
    b += le32(std::uint32_t(stream.size() + 12));  // COMPSIZE: everything after this field
    b += le32(std::uint32_t(rtf.size()));  // RAWSIZE
    b += QByteArray("LZFu", 4);
    b += le32(pstCrc(stream));
    b += stream;
    return b;
}

struct FolderRec {
    std::uint32_t nid = 0;
    std::uint32_t parent = 0;
    QString name;
    QString containerClass;
    std::vector<std::uint32_t> subfolders;
    std::vector<std::size_t> items;  // indexes into Impl::items
    std::vector<std::size_t> assoc;
    std::vector<PropValue> extra;
};

struct ItemRec {
    std::uint32_t nid = 0;
    std::uint32_t folder = 0;
    bool associated = false;
    QString messageClass;
    QString subject;
    std::int32_t size = 0;
    EncodedNode node;
    // What a distribution list needs to know about a member it refers to.
    bool isList = false;
    QString displayName;
    QString emailDisplay[3];
    QString emailType[3];
    QString emailAddress[3];
};

struct NameKey {
    QUuid set;
    bool isString = false;
    std::uint32_t lid = 0;
    QString name;
    bool operator<(const NameKey& o) const
    {
        if (set != o.set)
            return guidBytes(set) < guidBytes(o.set);
        if (isString != o.isString)
            return isString < o.isString;
        return isString ? name < o.name : lid < o.lid;
    }
};

}  // namespace

QUuid psetidAddress()
{
    return QUuid(QStringLiteral("{00062004-0000-0000-C000-000000000046}"));
}
QUuid psetidCommon()
{
    return QUuid(QStringLiteral("{00062008-0000-0000-C000-000000000046}"));
}
QUuid psPublicStrings()
{
    return QUuid(QStringLiteral("{00020329-0000-0000-C000-000000000046}"));
}
QUuid psetidAppointment()
{
    return QUuid(QStringLiteral("{00062002-0000-0000-C000-000000000046}"));
}

ExtraProperty ExtraProperty::tagged(std::uint16_t id, const QString& value)
{
    ExtraProperty p;
    p.lid = id;
    p.type = PT_UNICODE;
    p.text = value;
    return p;
}

ExtraProperty ExtraProperty::named(const QUuid& set, std::uint32_t lid, const QString& value)
{
    ExtraProperty p;
    p.propertySet = set;
    p.lid = lid;
    p.type = PT_UNICODE;
    p.text = value;
    return p;
}

ExtraProperty ExtraProperty::namedString(const QUuid& set, const QString& name, const QString& value)
{
    ExtraProperty p;
    p.propertySet = set;
    p.name = name;
    p.type = PT_UNICODE;
    p.text = value;
    return p;
}

DistListMember DistListMember::oneOff(const QString& displayName, const QString& addressType, const QString& address)
{
    DistListMember m;
    m.kind = Kind::OneOff;
    m.displayName = displayName;
    m.addressType = addressType;
    m.address = address;
    return m;
}

DistListMember DistListMember::reference(ItemHandle item, int emailIndex)
{
    DistListMember m;
    m.kind = Kind::Reference;
    m.item = item;
    m.emailIndex = emailIndex;
    return m;
}

DistListMember DistListMember::dangling(std::uint32_t nid, int emailIndex)
{
    DistListMember m;
    m.kind = Kind::Dangling;
    m.danglingNid = nid;
    m.emailIndex = emailIndex;
    return m;
}

struct PstBuilder::Impl {
    PstFormat format = PstFormat::Unicode;
    PstEncoding encoding = PstEncoding::None;
    bool compressBlocks = false;
    PstKind kind = PstKind::Pst;
    int codePage = 1252;
    mutable QStringEncoder encoder{"windows-1252"};
    MemberAddressBits memberAddressBits = MemberAddressBits::Outlook;
    QString storeName = QStringLiteral("Personal Folders");
    QString ipmName = QStringLiteral("Top of Personal Folders");
    QString password;
    bool writeMessageCodepage = true;
    bool storeNamesSpecialFolders = true;
    std::vector<PropValue> storeExtra;
    QByteArray recordKey;
    QDateTime created = QDateTime::currentDateTimeUtc();

    std::map<std::uint32_t, FolderRec> folders;
    std::vector<std::uint32_t> folderOrder;
    std::uint32_t nextFolderIndex = kFirstUserFolderIndex;
    std::uint32_t nextMessageIndex = kFirstMessageIndex;
    std::uint32_t nextAssocIndex = kFirstAssocIndex;

    std::vector<ItemRec> items;
    QHash<std::uint32_t, std::size_t> itemByNid;

    std::vector<NameKey> names;
    std::map<NameKey, std::uint16_t> nameIds;

    bool ansi() const { return format == PstFormat::Ansi; }
    int maxData() const { return maxBlockData(format); }

    // A text in the store's code page, as ANSI writers store it: characters
    // the code page lacks become '?'. (The converter marks them with the
    // substitute byte 0x1A; its error flag stays set once raised, so it is
    // not consulted.)
    QByteArray eightBit(const QString& s) const
    {
        encoder.resetState();
        QByteArray b = encoder.encode(s);
        if (!b.contains('\x1a'))
            return b;
        b.clear();
        for (qsizetype i = 0; i < s.size(); ++i) {
            const qsizetype n = s.at(i).isHighSurrogate() && i + 1 < s.size() ? 2 : 1;
            encoder.resetState();
            const QByteArray c = encoder.encode(QStringView(s).mid(i, n));
            b += c == "\x1a" && s.at(i) != QChar(0x1A) ? QByteArray("?") : c;
            i += n - 1;
        }
        return b;
    }
    PropValue str(std::uint16_t id, const QString& v, bool eight) const
    {
        return eight ? PropValue{id, PT_STRING8, eightBit(v)} : pStr(id, v);
    }
    PropValue text(std::uint16_t id, const QString& v) const { return str(id, v, ansi()); }
    PropValue mvStr(std::uint16_t id, const QStringList& v, bool eight) const
    {
        if (!eight)
            return pMvStr(id, v);
        return {id, PT_MV_STRING8, multiValue(v, [this](const QString& s) { return eightBit(s); })};
    }
    // A text table cell and its column type.
    QByteArray cell(const QString& v) const { return ansi() ? eightBit(v) : utf16(v); }
    std::vector<std::uint32_t> columns(std::vector<std::uint32_t> tags) const
    {
        if (ansi())
            for (std::uint32_t& t : tags)
                if ((t & 0xFFFF) == PT_UNICODE)
                    t = (t & 0xFFFF0000u) | PT_STRING8;
        return tags;
    }

    FolderRec& folder(FolderHandle h)
    {
        auto it = folders.find(h.nid);
        if (it == folders.end())
            throw std::runtime_error("unknown folder handle");
        return it->second;
    }

    std::uint32_t makeFolder(std::uint32_t index, std::uint32_t parent, const QString& name, const QString& cls)
    {
        FolderRec f;
        f.nid = index == 0 ? NID_ROOT_FOLDER : nidOf(index, NID_TYPE_NORMAL_FOLDER);
        f.parent = parent == 0 ? f.nid : parent;
        f.name = name;
        f.containerClass = cls;
        folders[f.nid] = f;
        folderOrder.push_back(f.nid);
        if (parent != 0)
            folders[parent].subfolders.push_back(f.nid);
        return f.nid;
    }

    std::uint16_t nameId(const NameKey& key)
    {
        auto it = nameIds.find(key);
        if (it != nameIds.end())
            return it->second;
        if (names.size() >= 0x7FFF)
            throw std::runtime_error("too many named properties");
        std::uint16_t id = std::uint16_t(0x8000 + names.size());
        names.push_back(key);
        nameIds[key] = id;
        return id;
    }
    std::uint16_t lid(std::uint32_t l) { return nameId({psetidAddress(), false, l, {}}); }

    QByteArray entryIdFor(std::uint32_t nid) const { return QByteArray(4, '\0') + recordKey + le32(nid); }

    QByteArray oneOff(const QString& name, const QString& type, const QString& address) const
    {
        QByteArray b(4, '\0');
        b += QByteArray::fromHex("812B1FA4BEA310199D6E00DD010F5402");
        b += le16(0);
        if (ansi()) {
            // 8-bit strings in the code page, as ANSI writers make them.
            b += le16(0);
            b += eightBit(name) + '\0';
            b += eightBit(type) + '\0';
            b += eightBit(address) + '\0';
        } else {
            b += le16(0x8000);  // strings are Unicode
            b += utf16(name) + QByteArray(2, '\0');
            b += utf16(type) + QByteArray(2, '\0');
            b += utf16(address) + QByteArray(2, '\0');
        }
        return b;
    }

    // A WrappedEntryId (MS-OXOCNTC 2.2.2.2.4.1.1) around the store's entry
    // id of a contact or list. Its type byte: 0x80 (not a one-off), bits 4-6
    // the address of a contact (0, 1, 2 business, home, primary fax; 4, 5, 6
    // e-mail 1, 2, 3) or 3 for anything else, bits 0-3 the kind (3 a contact,
    // 4 a personal distribution list).
    QByteArray wrapped(std::uint32_t nid, int emailIndex) const
    {
        QByteArray b(4, '\0');
        b += QByteArray::fromHex("C091ADD3519DCF11A4A900AA0047FAA4");
        const int address = emailIndex == 0                   ? 3
            : memberAddressBits == MemberAddressBits::Outlook ? emailIndex + 3
                                                              : emailIndex - 1;
        b += char(0x80 | (address << 4) | (emailIndex == 0 ? 0x04 : 0x03));
        b += entryIdFor(nid);
        return b;
    }

    PropValue extraValue(const ExtraProperty& e)
    {
        std::uint16_t id;
        if (e.propertySet.isNull())
            id = std::uint16_t(e.lid);
        else if (e.name.isEmpty())
            id = nameId({e.propertySet, false, e.lid, {}});
        else
            id = nameId({e.propertySet, true, 0, e.name});
        switch (e.type) {
        case PT_SHORT:
            return pShort(id, std::int16_t(e.integer));
        case PT_LONG:
            return pLong(id, e.integer);
        case PT_BOOLEAN:
            return pBool(id, e.integer != 0);
        case PT_SYSTIME:
            return pTime(id, e.time);
        case PT_STRING8:
            return str(id, e.text, true);
        case PT_UNICODE:
            return pStr(id, e.text);
        case PT_BINARY:
            return pBin(id, e.binary);
        case PT_MV_STRING8:
            return mvStr(id, e.texts, true);
        case PT_MV_UNICODE:
            return pMvStr(id, e.texts);
        case PT_MV_BINARY:
            return pMvBin(id, e.binaries);
        default:
            throw std::runtime_error("unsupported property type in extra property");
        }
    }

    std::vector<PropValue> messageBase(const QString& cls, const QString& subject, std::uint32_t nid, bool assoc,
                                       bool eight)
    {
        std::vector<PropValue> p;
        p.push_back(pLong(0x0017, 1));  // PidTagImportance: normal
        p.push_back(str(0x001A, cls, eight));  // PidTagMessageClass
        p.push_back(pLong(0x0036, 0));  // PidTagSensitivity
        if (!subject.isEmpty()) {
            p.push_back(str(0x0037, subject, eight));  // PidTagSubject
            p.push_back(str(0x0E1D, subject, eight));  // PidTagNormalizedSubject
            p.push_back(str(0x0070, subject, eight));  // PidTagConversationTopic
        }
        p.push_back(pLong(0x0E07, assoc ? 0x41 : 0x01));  // PidTagMessageFlags: read (, associated)
        p.push_back(pLong(0x0E17, 0));  // PidTagMessageStatus
        p.push_back(pTime(0x3007, created));  // PidTagCreationTime
        p.push_back(pTime(0x3008, created));  // PidTagLastModificationTime
        QByteArray searchKey = recordKey.left(12) + le32(nid);
        p.push_back(pBin(0x300B, searchKey));  // PidTagSearchKey
        return p;
    }

    ItemRec& addItem(FolderHandle folderHandle, bool assoc, const QString& cls, const QString& subject,
                     std::vector<PropValue> props, bool eight = false)
    {
        FolderRec& f = folder(folderHandle);
        if (f.nid == NID_ROOT_FOLDER)
            throw std::runtime_error("items cannot be added to the root folder");
        ItemRec it;
        it.nid = assoc ? nidOf(nextAssocIndex++, NID_TYPE_ASSOC_MESSAGE)
                       : nidOf(nextMessageIndex++, NID_TYPE_NORMAL_MESSAGE);
        if (nextMessageIndex >= kDanglingIndex)
            throw std::runtime_error("too many items");
        it.folder = f.nid;
        it.associated = assoc;
        it.messageClass = cls;
        it.subject = subject;
        std::vector<PropValue> all = messageBase(cls, subject, it.nid, assoc, eight || ansi());
        for (PropValue& p : props)
            all.push_back(std::move(p));
        // 8-bit texts name their code page.
        if (writeMessageCodepage && std::any_of(all.begin(), all.end(), [](const PropValue& p) {
                return p.type == PT_STRING8 || p.type == PT_MV_STRING8;
            }))
            all.push_back(pLong(0x3FFD, codePage));  // PidTagMessageCodepage
        std::int32_t size = 0;
        for (const PropValue& p : all)
            size += std::int32_t(p.data.size()) + 8;
        size += 8;
        all.push_back(pLong(0x0E08, size));  // PidTagMessageSize
        it.size = size;
        std::uint32_t nextSub = 1;
        it.node = encodePropertyContext(std::move(all), nextSub, maxData());
        std::size_t index = items.size();
        items.push_back(std::move(it));
        itemByNid.insert(items.back().nid, index);
        (assoc ? f.assoc : f.items).push_back(index);
        return items.back();
    }
};

PstBuilder::PstBuilder()
    : d(std::make_unique<Impl>())
{
    d->recordKey = QUuid::createUuid().toRfc4122();
    d->makeFolder(0, 0, QString(), QString());
    d->makeFolder(kIpmSubtreeIndex, NID_ROOT_FOLDER, d->ipmName, QString());
    d->makeFolder(kSearchRootIndex, NID_ROOT_FOLDER, QStringLiteral("Search Root"), QString());
    d->makeFolder(kDeletedItemsIndex, nidOf(kIpmSubtreeIndex, NID_TYPE_NORMAL_FOLDER), QStringLiteral("Deleted Items"),
                  QString());
    d->makeFolder(kCommonViewsIndex, NID_ROOT_FOLDER, QStringLiteral("IPM_COMMON_VIEWS"), QString());
}

PstBuilder::~PstBuilder() = default;

void PstBuilder::setFormat(PstFormat format)
{
    if (!d->items.empty())
        throw std::runtime_error("the format must be set before items are added");
    d->format = format;
}

void PstBuilder::setEncoding(PstEncoding encoding)
{
    d->encoding = encoding;
}
void PstBuilder::setCompressBlocks(bool compress)
{
    d->compressBlocks = compress;
}
void PstBuilder::setKind(PstKind kind)
{
    d->kind = kind;
}

void PstBuilder::setCodePage(int codePage)
{
    if (!d->items.empty())
        throw std::runtime_error("the code page must be set before items are added");
    QStringEncoder encoder(QStringLiteral("windows-%1").arg(codePage).toLatin1().constData());
    if (!encoder.isValid())
        throw std::runtime_error("unsupported code page " + std::to_string(codePage));
    d->codePage = codePage;
    d->encoder = std::move(encoder);
}

PstFormat PstBuilder::format() const
{
    return d->format;
}

void PstBuilder::setMemberAddressBits(MemberAddressBits bits)
{
    d->memberAddressBits = bits;
}

void PstBuilder::setStoreDisplayName(const QString& name)
{
    d->storeName = name;
}

void PstBuilder::setIpmSubtreeName(const QString& name)
{
    d->ipmName = name;
    d->folder(ipmSubtree()).name = name;
}

void PstBuilder::setPassword(const QString& password)
{
    d->password = password;
}

void PstBuilder::setWriteMessageCodepage(bool write)
{
    d->writeMessageCodepage = write;
}

void PstBuilder::setStoreNamesSpecialFolders(bool names)
{
    d->storeNamesSpecialFolders = names;
}

void PstBuilder::addStoreProperty(const ExtraProperty& property)
{
    d->storeExtra.push_back(d->extraValue(property));
}

void PstBuilder::setCreationTime(const QDateTime& time)
{
    d->created = time.toUTC();
}

void PstBuilder::setRecordKey(const QByteArray& key)
{
    if (key.size() != 16)
        throw std::runtime_error("a record key has 16 bytes");
    if (!d->items.empty())
        throw std::runtime_error("the record key must be set before items are added");
    d->recordKey = key;
}

QByteArray PstBuilder::recordKey() const
{
    return d->recordKey;
}

FolderHandle PstBuilder::rootFolder() const
{
    return {NID_ROOT_FOLDER};
}
FolderHandle PstBuilder::ipmSubtree() const
{
    return {nidOf(kIpmSubtreeIndex, NID_TYPE_NORMAL_FOLDER)};
}
FolderHandle PstBuilder::deletedItems() const
{
    return {nidOf(kDeletedItemsIndex, NID_TYPE_NORMAL_FOLDER)};
}

FolderHandle PstBuilder::addFolder(FolderHandle parent, const QString& name, const QString& containerClass)
{
    d->folder(parent);
    if (d->nextFolderIndex > kLastUserFolderIndex)
        throw std::runtime_error("too many folders");
    return {d->makeFolder(d->nextFolderIndex++, parent.nid, name, containerClass)};
}

void PstBuilder::addFolderProperty(FolderHandle folder, const ExtraProperty& property)
{
    PropValue v = d->extraValue(property);
    d->folder(folder).extra.push_back(v);
}

ItemHandle PstBuilder::addContact(FolderHandle folder, const ContactData& c)
{
    std::vector<PropValue> p;
    const bool eight = d->ansi() || c.eightBitTexts;
    auto str = [&](std::uint16_t id, const QString& v) {
        if (!v.isEmpty() || (c.writeEmptyStrings && !v.isNull()))
            p.push_back(d->str(id, v, eight));
    };
    auto named = [&](std::uint32_t lidValue, const QString& v) { str(d->lid(lidValue), v); };

    str(0x3001, c.displayName);
    str(0x3A06, c.givenName);
    str(0x3A44, c.middleName);
    str(0x3A11, c.surname);
    str(0x3A05, c.generation);
    str(0x3A45, c.displayNamePrefix);
    str(0x3A16, c.companyName);
    str(0x3A17, c.jobTitle);
    str(0x3A19, c.officeLocation);
    str(0x3A18, c.department);
    str(0x3A4E, c.managerName);
    str(0x3A30, c.assistantName);
    str(0x3A08, c.businessPhone);
    str(0x3A24, c.businessFax);
    str(0x3A1C, c.mobilePhone);
    str(0x3A21, c.pager);
    str(0x3A5D, c.homeStreet);
    str(0x3A59, c.homeCity);
    str(0x3A5B, c.homePostalCode);
    str(0x3A5C, c.homeState);
    str(0x3A5A, c.homeCountry);
    str(0x3A48, c.spouse);
    str(0x3A09, c.homePhone);
    str(0x3A25, c.homeFax);
    if (!c.children.isEmpty())
        p.push_back(d->mvStr(0x3A58, c.children, eight));
    if (c.birthday)
        p.push_back(pTime(0x3A42, *c.birthday));
    if (c.anniversary)
        p.push_back(pTime(0x3A41, *c.anniversary));
    if (!c.body.isEmpty()) {
        if (c.bodyAsRtfOnly) {
            p.push_back(pBin(0x1009, compressedRtf(textToRtf(c.body))));
            p.push_back(pBool(0x0E1F, false));
        } else {
            p.push_back(d->str(0x1000, c.body, eight));
        }
    }
    named(0x8005, c.displayName);  // PidLidFileUnder
    const QString* addr[3] = {&c.email1Address, &c.email2Address, &c.email3Address};
    const QString* disp[3] = {&c.email1DisplayName, &c.email2DisplayName, &c.email3DisplayName};
    const QString* type[3] = {&c.email1AddressType, &c.email2AddressType, &c.email3AddressType};
    std::vector<std::int32_t> used;
    std::int32_t arrayType = 0;
    for (int i = 0; i < 3; ++i) {
        const std::uint32_t base = 0x8080 + 0x10 * std::uint32_t(i);
        named(base + 0, *disp[i]);  // PidLidEmailNDisplayName
        if (!addr[i]->isEmpty()) {
            named(base + 2, *type[i]);  // PidLidEmailNAddressType
            named(base + 4, *addr[i]);  // PidLidEmailNOriginalDisplayName
            p.push_back(pBin(d->lid(base + 5),  // PidLidEmailNOriginalEntryId
                             d->oneOff(disp[i]->isEmpty() ? *addr[i] : *disp[i], *type[i], *addr[i])));
            used.push_back(i);
            arrayType |= 1 << i;
        }
        named(base + 3, *addr[i]);  // PidLidEmailNEmailAddress
    }
    if (!used.empty()) {
        p.push_back(pMvLong(d->lid(0x8028), used));  // PidLidAddressBookProviderEmailList
        p.push_back(pLong(d->lid(0x8029), arrayType));  // PidLidAddressBookProviderArrayType
    }
    named(0x8045, c.workStreet);
    named(0x8046, c.workCity);
    named(0x8047, c.workState);
    named(0x8048, c.workPostalCode);
    named(0x8049, c.workCountry);
    named(0x802B, c.webPage);  // PidLidHtml
    if (!c.categories.isEmpty())
        p.push_back(d->mvStr(d->nameId({psPublicStrings(), true, 0, QStringLiteral("Keywords")}), c.categories, eight));
    // Extra values come last: one with the tag or name of a value above
    // replaces it.
    for (const ExtraProperty& e : c.extra)
        p.push_back(d->extraValue(e));

    ItemRec& it = d->addItem(folder, false, c.messageClass, c.displayName, std::move(p), eight);
    it.displayName = c.displayName;
    for (int i = 0; i < 3; ++i) {
        it.emailAddress[i] = *addr[i];
        it.emailDisplay[i] = *disp[i];
        it.emailType[i] = *type[i];
    }
    return {it.nid};
}

QByteArray PstBuilder::oneOffEntryId(const QString& displayName, const QString& addressType,
                                     const QString& address) const
{
    return d->oneOff(displayName, addressType, address);
}

QByteArray PstBuilder::memberEntryId(const DistListMember& m) const
{
    switch (m.kind) {
    case DistListMember::Kind::OneOff:
        return d->oneOff(m.displayName, m.addressType, m.address);
    case DistListMember::Kind::Reference: {
        auto it = d->itemByNid.find(m.item.nid);
        if (it == d->itemByNid.end())
            throw std::runtime_error("distribution list member refers to an unknown item");
        const ItemRec& target = d->items[*it];
        int index = m.emailIndex;
        if (target.isList)
            index = 0;
        else if (index < 1 || index > 3)
            throw std::runtime_error("a contact member selects e-mail 1, 2 or 3");
        return d->wrapped(target.nid, index);
    }
    case DistListMember::Kind::Dangling:
        if (m.emailIndex < 0 || m.emailIndex > 3)
            throw std::runtime_error("bad e-mail index");
        return d->wrapped(m.danglingNid ? m.danglingNid : unusedMessageNid(), m.emailIndex);
    }
    throw std::runtime_error("bad member kind");
}

ItemHandle PstBuilder::addDistList(FolderHandle folder, const DistListData& l)
{
    std::vector<PropValue> p;
    const QString display = l.displayName.isEmpty() ? l.name : l.displayName;
    if (!display.isEmpty())
        p.push_back(d->text(0x3001, display));
    if (l.writeListName && !l.name.isEmpty())
        p.push_back(d->text(d->lid(0x8053), l.name));  // PidLidDistributionListName
    if (!display.isEmpty())
        p.push_back(d->text(d->lid(0x8005), display));  // PidLidFileUnder
    std::vector<QByteArray> members, oneOffs;
    for (const DistListMember& m : l.members) {
        members.push_back(memberEntryId(m));
        switch (m.kind) {
        case DistListMember::Kind::OneOff:
        case DistListMember::Kind::Dangling:
            oneOffs.push_back(d->oneOff(m.displayName, m.addressType, m.address));
            break;
        case DistListMember::Kind::Reference: {
            const ItemRec& t = d->items[*d->itemByNid.find(m.item.nid)];
            if (t.isList) {
                oneOffs.push_back(d->oneOff(t.displayName, QStringLiteral("MAPIPDL"), QString()));
            } else {
                int i = m.emailIndex - 1;
                oneOffs.push_back(d->oneOff(t.emailDisplay[i].isEmpty() ? t.displayName : t.emailDisplay[i],
                                            t.emailType[i], t.emailAddress[i]));
            }
            break;
        }
        }
    }
    p.push_back(pMvBin(d->lid(0x8055), members));  // PidLidDistributionListMembers
    p.push_back(pMvBin(d->lid(0x8054), oneOffs));  // PidLidDistributionListOneOffMembers
    if (!l.body.isEmpty())
        p.push_back(d->text(0x1000, l.body));
    if (!l.categories.isEmpty())
        p.push_back(
            d->mvStr(d->nameId({psPublicStrings(), true, 0, QStringLiteral("Keywords")}), l.categories, d->ansi()));
    for (const ExtraProperty& e : l.extra)
        p.push_back(d->extraValue(e));
    ItemRec& it = d->addItem(folder, false, l.messageClass, display, std::move(p));
    it.isList = true;
    it.displayName = display;
    return {it.nid};
}

ItemHandle PstBuilder::addMessage(FolderHandle folder, const QString& messageClass, const QString& subject)
{
    return {d->addItem(folder, false, messageClass, subject, {}).nid};
}

ItemHandle PstBuilder::addAssociatedMessage(FolderHandle folder, const QString& messageClass, const QString& subject)
{
    return {d->addItem(folder, true, messageClass, subject, {}).nid};
}

std::uint16_t PstBuilder::registerNamedProperty(const QUuid& set, std::uint32_t lid)
{
    return d->nameId({set, false, lid, {}});
}

std::uint16_t PstBuilder::registerNamedProperty(const QUuid& set, const QString& name)
{
    return d->nameId({set, true, 0, name});
}

std::uint32_t PstBuilder::unusedMessageNid() const
{
    return nidOf(kDanglingIndex, NID_TYPE_NORMAL_MESSAGE);
}

QByteArray PstBuilder::entryId(FolderHandle folder) const
{
    return d->entryIdFor(folder.nid);
}
QByteArray PstBuilder::entryId(ItemHandle item) const
{
    return d->entryIdFor(item.nid);
}
QByteArray PstBuilder::entryIdForNid(std::uint32_t nid) const
{
    return d->entryIdFor(nid);
}

std::size_t PstBuilder::folderCount() const
{
    return d->folders.size();
}
std::size_t PstBuilder::itemCount(FolderHandle folder) const
{
    return d->folder(folder).items.size();
}
std::size_t PstBuilder::associatedCount(FolderHandle folder) const
{
    return d->folder(folder).assoc.size();
}

namespace {

const std::vector<std::uint32_t>& hierarchyColumns()
{
    static const std::vector<std::uint32_t> c
        = {0x67F20003, 0x67F30003, 0x3001001F, 0x36020003, 0x36030003, 0x360A000B, 0x3613001F, 0x66350003, 0x66360003};
    return c;
}

const std::vector<std::uint32_t>& contentsColumns()
{
    static const std::vector<std::uint32_t> c = {0x67F20003, 0x67F30003, 0x00170003, 0x001A001F, 0x00360003, 0x0037001F,
                                                 0x0E070003, 0x0E080003, 0x0E170003, 0x30070040, 0x30080040};
    return c;
}

const std::vector<std::uint32_t>& assocColumns()
{
    static const std::vector<std::uint32_t> c
        = {0x67F20003, 0x67F30003, 0x001A001F, 0x0037001F, 0x0E070003, 0x0E170003, 0x30080040};
    return c;
}

const std::vector<std::uint32_t>& attachmentColumns()
{
    static const std::vector<std::uint32_t> c
        = {0x67F20003, 0x67F30003, 0x0E200003, 0x3704001F, 0x37050003, 0x370B0003};
    return c;
}

const std::vector<std::uint32_t>& recipientColumns()
{
    static const std::vector<std::uint32_t> c
        = {0x67F20003, 0x67F30003, 0x0C150003, 0x0E0F000B, 0x0FF90102, 0x0FFE0003,
           0x0FFF0102, 0x3001001F, 0x3002001F, 0x3003001F, 0x300B0102, 0x39000003};
    return c;
}

// Writes an encoded node's data and subnodes; returns {bidData, bidSub}.
std::pair<std::uint64_t, std::uint64_t> writeEncoded(NdbFile& f, const EncodedNode& n,
                                                     const std::vector<SubnodeEntry>& extraSubnodes = {})
{
    std::uint64_t data = f.writeData(n.pieces);
    std::vector<SubnodeEntry> subs = extraSubnodes;
    for (const EncodedSubnode& s : n.subnodes)
        subs.push_back({s.nid, f.writeData(s.pieces), 0});
    return {data, f.writeSubnodes(subs)};
}

void writeTable(NdbFile& f, std::uint32_t nid, const std::vector<std::uint32_t>& cols,
                const std::vector<TableRow>& rows)
{
    std::uint32_t nextSub = 1;
    EncodedNode n = encodeTableContext(cols, rows, nextSub, f.maxBlockData());
    auto [data, sub] = writeEncoded(f, n);
    f.addNode(nid, data, sub, 0);
}

}  // namespace

void PstBuilder::write(const QString& path) const
{
    Impl& m = *d;
    NdbFile f(path, {m.format, m.encoding, m.kind, m.compressBlocks});

    // Message store.
    {
        std::vector<PropValue> p;
        p.push_back(pBin(0x0FF9, m.recordKey));  // PidTagRecordKey
        p.push_back(m.text(0x3001, m.storeName));  // PidTagDisplayName
        if (m.storeNamesSpecialFolders) {
            p.push_back(pLong(0x35DF, 0xC9));  // PidTagValidFolderMask
            p.push_back(pBin(0x35E0, m.entryIdFor(ipmSubtree().nid)));  // PidTagIpmSubTreeEntryId
            p.push_back(pBin(0x35E3, m.entryIdFor(deletedItems().nid)));  // PidTagIpmWastebasketEntryId
            p.push_back(pBin(0x35E6, m.entryIdFor(nidOf(kCommonViewsIndex, NID_TYPE_NORMAL_FOLDER))));
            p.push_back(pBin(0x35E7, m.entryIdFor(nidOf(kSearchRootIndex, NID_TYPE_NORMAL_FOLDER))));  // finder
        }
        p.push_back(pBool(0x6633, true));  // PidTagPstLrNoRestrictions
        std::uint32_t password = 0;  // not protected
        if (!m.password.isEmpty()) {
            // Over the password's bytes in the code page, as Outlook takes them.
            password = pstCrc(m.eightBit(m.password));
            if (password == 0)
                password = 1;
        }
        p.push_back(pLong(0x67FF, std::int32_t(password)));  // PidTagPstPassword
        for (const PropValue& e : m.storeExtra) {
            std::erase_if(p, [&](const PropValue& v) { return v.id == e.id; });
            p.push_back(e);
        }
        std::uint32_t nextSub = 1;
        auto [data, sub] = writeEncoded(f, encodePropertyContext(p, nextSub, f.maxBlockData()));
        f.addNode(NID_MESSAGE_STORE, data, sub, 0);
    }

    // Named property map.
    {
        constexpr std::uint32_t kBuckets = 251;
        std::vector<QUuid> guids;
        auto guidIndex = [&](const QUuid& g) -> std::uint16_t {
            if (g == kPsMapi)
                return 1;
            if (g == psPublicStrings())
                return 2;
            auto it = std::find(guids.begin(), guids.end(), g);
            if (it == guids.end()) {
                guids.push_back(g);
                return std::uint16_t(2 + guids.size());
            }
            return std::uint16_t(3 + (it - guids.begin()));
        };
        QByteArray entryStream, stringStream, guidStream;
        std::vector<QByteArray> buckets(kBuckets);
        // libpff refuses a file whose map has no entries at all; a store
        // without named properties still maps PidLidFileUnder.
        std::vector<NameKey> names = m.names;
        if (names.empty())
            names.push_back({psetidAddress(), false, 0x8005, {}});
        for (std::size_t i = 0; i < names.size(); ++i) {
            const NameKey& k = names[i];
            std::uint16_t g = guidIndex(k.set);
            std::uint16_t kindAndGuid = std::uint16_t((g << 1) | (k.isString ? 1 : 0));
            std::uint32_t key, hashKey;
            if (k.isString) {
                QByteArray name = utf16(k.name);
                key = std::uint32_t(stringStream.size());
                stringStream += le32(std::uint32_t(name.size())) + name;
                while (stringStream.size() % 4)
                    stringStream += '\0';
                hashKey = pstCrc(name);
            } else {
                key = k.lid;
                hashKey = k.lid;
            }
            entryStream += le32(key) + le16(kindAndGuid) + le16(std::uint16_t(i));
            std::uint32_t bucket = (hashKey ^ kindAndGuid) % kBuckets;
            buckets[bucket] += le32(hashKey) + le16(kindAndGuid) + le16(std::uint16_t(i));
        }
        for (const QUuid& g : guids)
            guidStream += guidBytes(g);
        std::vector<PropValue> p;
        p.push_back(pLong(0x0001, std::int32_t(kBuckets)));  // PidTagNameidBucketCount
        p.push_back(pBin(0x0002, guidStream));  // PidTagNameidStreamGuid
        p.push_back(pBin(0x0003, entryStream));  // PidTagNameidStreamEntry
        p.push_back(pBin(0x0004, stringStream));  // PidTagNameidStreamString
        for (std::uint32_t b = 0; b < kBuckets; ++b)
            if (!buckets[b].isEmpty())
                p.push_back(pBin(std::uint16_t(0x1000 + b), buckets[b]));
        std::uint32_t nextSub = 1;
        auto [data, sub] = writeEncoded(f, encodePropertyContext(p, nextSub, f.maxBlockData()));
        f.addNode(NID_NAME_TO_ID_MAP, data, sub, 0);
    }

    // Templates and the (empty) search bookkeeping nodes.
    const std::vector<std::uint32_t> hierarchy = m.columns(hierarchyColumns());
    const std::vector<std::uint32_t> contents = m.columns(contentsColumns());
    const std::vector<std::uint32_t> assoc = m.columns(assocColumns());
    const std::vector<std::uint32_t> recipientCols = m.columns(recipientColumns());
    writeTable(f, NID_HIERARCHY_TABLE_TEMPLATE, hierarchy, {});
    writeTable(f, NID_CONTENTS_TABLE_TEMPLATE, contents, {});
    writeTable(f, NID_ASSOC_CONTENTS_TABLE_TEMPLATE, assoc, {});
    writeTable(f, NID_SEARCH_CONTENTS_TABLE_TEMPLATE, contents, {});
    writeTable(f, NID_ATTACHMENT_TABLE, m.columns(attachmentColumns()), {});
    writeTable(f, NID_RECIPIENT_TABLE, recipientCols, {});
    f.addNode(NID_SEARCH_MANAGEMENT_QUEUE, 0, 0, 0);
    f.addNode(NID_SEARCH_ACTIVITY_LIST, 0, 0, 0);
    f.addNode(NID_SEARCH_DOMAIN_OBJECT, 0, 0, 0);

    // Folders with their three tables.
    const QByteArray rowVer = le32(1);
    for (std::uint32_t nid : m.folderOrder) {
        const FolderRec& fr = m.folders.at(nid);
        std::vector<PropValue> p;
        p.push_back(m.text(0x3001, fr.name));
        p.push_back(pLong(0x3602, std::int32_t(fr.items.size())));  // PidTagContentCount
        p.push_back(pLong(0x3603, 0));  // PidTagContentUnreadCount
        p.push_back(pBool(0x360A, !fr.subfolders.empty()));  // PidTagSubfolders
        if (!fr.containerClass.isEmpty())
            p.push_back(m.text(0x3613, fr.containerClass));  // PidTagContainerClass
        for (const PropValue& e : fr.extra)
            p.push_back(e);
        std::uint32_t nextSub = 1;
        auto [data, sub] = writeEncoded(f, encodePropertyContext(p, nextSub, f.maxBlockData()));
        f.addNode(nid, data, sub, fr.parent);

        std::vector<TableRow> rows;
        for (std::uint32_t child : fr.subfolders) {
            const FolderRec& c = m.folders.at(child);
            TableRow r(hierarchyColumns().size());
            r[0] = le32(child);
            r[1] = rowVer;
            r[2] = m.cell(c.name);
            r[3] = le32(std::uint32_t(c.items.size()));
            r[4] = le32(0);
            r[5] = QByteArray(1, c.subfolders.empty() ? '\0' : '\1');
            if (!c.containerClass.isEmpty())
                r[6] = m.cell(c.containerClass);
            r[7] = le32(0);
            r[8] = le32(0);
            rows.push_back(std::move(r));
        }
        const std::uint32_t index = nid >> 5;
        writeTable(f, nidOf(index, NID_TYPE_HIERARCHY_TABLE), hierarchy, rows);

        rows.clear();
        rows.reserve(fr.items.size());
        for (std::size_t i : fr.items) {
            const ItemRec& it = m.items[i];
            TableRow r(contentsColumns().size());
            r[0] = le32(it.nid);
            r[1] = rowVer;
            r[2] = le32(1);
            r[3] = m.cell(it.messageClass);
            r[4] = le32(0);
            if (!it.subject.isEmpty())
                r[5] = m.cell(it.subject);
            r[6] = le32(1);
            r[7] = le32(std::uint32_t(it.size));
            r[8] = le32(0);
            r[9] = filetime(m.created);
            r[10] = filetime(m.created);
            rows.push_back(std::move(r));
        }
        writeTable(f, nidOf(index, NID_TYPE_CONTENTS_TABLE), contents, rows);

        rows.clear();
        for (std::size_t i : fr.assoc) {
            const ItemRec& it = m.items[i];
            TableRow r(assocColumns().size());
            r[0] = le32(it.nid);
            r[1] = rowVer;
            r[2] = m.cell(it.messageClass);
            if (!it.subject.isEmpty())
                r[3] = m.cell(it.subject);
            r[4] = le32(0x41);
            r[5] = le32(0);
            r[6] = filetime(m.created);
            rows.push_back(std::move(r));
        }
        writeTable(f, nidOf(index, NID_TYPE_ASSOC_CONTENTS_TABLE), assoc, rows);
    }

    // Items. Every message has an (empty) recipient table; its block is shared.
    std::uint32_t unusedSub = 1;
    EncodedNode recipients = encodeTableContext(recipientCols, {}, unusedSub, f.maxBlockData());
    const std::uint64_t recipientsBid = f.writeData(recipients.pieces);
    std::uint64_t sharedSub = 0;
    for (const ItemRec& it : m.items) {
        std::uint64_t data, sub;
        if (it.node.subnodes.empty()) {
            if (sharedSub == 0)
                sharedSub = f.writeSubnodes({{NID_RECIPIENT_TABLE, recipientsBid, 0}});
            else
                f.addReference(sharedSub);
            f.addReference(recipientsBid);
            data = f.writeData(it.node.pieces);
            sub = sharedSub;
        } else {
            f.addReference(recipientsBid);
            std::tie(data, sub) = writeEncoded(f, it.node, {{NID_RECIPIENT_TABLE, recipientsBid, 0}});
        }
        f.addNode(it.nid, data, sub, it.folder);
    }

    HeaderValues h;
    for (std::uint32_t& v : h.rgnid)
        v = 0x400;
    // Next indexes to give out: past every index in use of that type.
    h.rgnid[NID_TYPE_NORMAL_FOLDER] = m.nextFolderIndex;
    h.rgnid[0x03] = 0x4000;
    h.rgnid[NID_TYPE_NORMAL_MESSAGE] = m.nextMessageIndex;
    h.rgnid[NID_TYPE_ASSOC_MESSAGE] = m.nextAssocIndex;
    h.rgnid[NID_TYPE_HIERARCHY_TABLE] = m.nextFolderIndex;
    h.rgnid[NID_TYPE_CONTENTS_TABLE] = m.nextFolderIndex;
    h.rgnid[NID_TYPE_ASSOC_CONTENTS_TABLE] = m.nextFolderIndex;
    h.dwUnique = std::uint32_t(m.items.size() + m.folders.size() + 1);
    f.finish(h);
}

}  // namespace pstwriter
