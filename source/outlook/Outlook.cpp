#include "source/outlook/Outlook.h"

#include "source/outlook/Pff.h"
#include "source/outlook/Profile.h"
#include "source/outlook/PstReader.h"
#include "source/outlook/Rtf.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <optional>
#include <vector>

namespace outlook {

namespace {

[[noreturn]] void fail(const QString& text)
{
    throw OutlookError(text.toStdString());
}

// Property sets of the named properties read here.
const QUuid kPsetidAddress(0x00062004, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
const QUuid kPsPublicStrings(0x00020329, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);

// Tagged properties.
enum : std::uint16_t {
    kMessageClass = 0x001A,
    kBody = 0x1000,
    kRtfCompressed = 0x1009,
    kRecordKey = 0x0FF9,
    kDisplayName = 0x3001,
    kIpmSubtreeEntryId = 0x35E0,
    kContainerClass = 0x3613,
    kGeneration = 0x3A05,
    kGivenName = 0x3A06,
    kBusinessPhone = 0x3A08,
    kHomePhone = 0x3A09,
    kSurname = 0x3A11,
    kCompanyName = 0x3A16,
    kTitle = 0x3A17,
    kDepartment = 0x3A18,
    kOfficeLocation = 0x3A19,
    kMobilePhone = 0x3A1C,
    kPager = 0x3A21,
    kBusinessFax = 0x3A24,
    kHomeFax = 0x3A25,
    kAssistant = 0x3A30,
    kAnniversary = 0x3A41,
    kBirthday = 0x3A42,
    kMiddleName = 0x3A44,
    kDisplayNamePrefix = 0x3A45,
    kSpouse = 0x3A48,
    kManager = 0x3A4E,
    kChildren = 0x3A58,
    kHomeCity = 0x3A59,
    kHomeCountry = 0x3A5A,
    kHomePostalCode = 0x3A5B,
    kHomeState = 0x3A5C,
    kHomeStreet = 0x3A5D,
    kInternetCodepage = 0x3FDE,
    kMessageCodepage = 0x3FFD,
    kPstPassword = 0x67FF,
};

// Node types inside node ids.
constexpr std::uint32_t kNidTypeMask = 0x1F;
constexpr std::uint32_t kNidTypeNormalFolder = 0x02;
constexpr std::uint32_t kNidTypeNormalMessage = 0x04;
constexpr std::uint32_t kNidIpmSubtree = 0x8022;
// Deeper than this, a folder hierarchy is taken to be damaged.
constexpr std::size_t kMaxFolderDepth = 512;

QString hex(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex().toUpper()); }

QByteArray le32(std::uint32_t v)
{
    QByteArray b(4, '\0');
    qToLittleEndian<quint32>(v, b.data());
    return b;
}

QDateTime noDate()
{
    static const QDateTime value(QDate(4501, 1, 1), QTime(0, 0), Qt::LocalTime);
    return value;
}

}  // namespace

namespace detail {

// Ids of the named properties read here, as this file numbers them.
struct NamedIds {
    std::uint16_t email[3] = {};
    std::uint16_t emailOriginalName[3] = {};
    std::uint16_t fax[3] = {};
    std::uint16_t faxOriginalName[3] = {};
    std::uint16_t workStreet = 0, workCity = 0, workState = 0, workPostalCode = 0, workCountry = 0;
    std::uint16_t html = 0;
    std::uint16_t listName = 0, listMembers = 0, listOneOffMembers = 0;
    std::uint16_t keywords = 0;

    explicit NamedIds(const pff::NameMap& m)
    {
        for (int i = 0; i < 3; ++i) {
            email[i] = m.id(kPsetidAddress, 0x8083 + 0x10 * i);
            emailOriginalName[i] = m.id(kPsetidAddress, 0x8084 + 0x10 * i);
            fax[i] = m.id(kPsetidAddress, 0x80C3 + 0x10 * i);
            faxOriginalName[i] = m.id(kPsetidAddress, 0x80C4 + 0x10 * i);
        }
        workStreet = m.id(kPsetidAddress, 0x8045);
        workCity = m.id(kPsetidAddress, 0x8046);
        workState = m.id(kPsetidAddress, 0x8047);
        workPostalCode = m.id(kPsetidAddress, 0x8048);
        workCountry = m.id(kPsetidAddress, 0x8049);
        html = m.id(kPsetidAddress, 0x802B);
        listName = m.id(kPsetidAddress, 0x8053);
        listOneOffMembers = m.id(kPsetidAddress, 0x8054);
        listMembers = m.id(kPsetidAddress, 0x8055);
        keywords = m.id(kPsPublicStrings, QStringLiteral("Keywords"));
    }
};

// What is known of a store once its file is open.
struct OpenStore {
    std::unique_ptr<pff::File> file;
    // Reads items by node id; null for files only libpff reads.
    std::unique_ptr<pff::PstReader> reader;
    std::optional<NamedIds> ids;
    QByteArray recordKey;
    QString name;
    std::uint32_t ipmNid = 0;
};

struct StoreImpl {
    QString path;
    std::shared_ptr<OpenStore> open;

    explicit StoreImpl(QString p) : path(std::move(p)) {}

    // Opens the file on first use; throws while it cannot be opened.
    OpenStore& ensureOpen();
    QString entryId();
};

struct FolderImpl {
    std::shared_ptr<StoreImpl> store;
    std::shared_ptr<OpenStore> open;  // keeps the file alive while the folder is
    pff::Item item;
    std::uint32_t nid = 0;
    std::vector<std::uint32_t> chain;  // node ids from the first folder reached down to this one
    QString name;
    QString containerClass;
    std::optional<int> folderCount;
    std::optional<qint64> itemCount;
    std::optional<std::vector<std::uint32_t>> itemIds;  // read on first use
};

struct ItemImpl {
    std::shared_ptr<StoreImpl> store;
    std::shared_ptr<OpenStore> open;
    pff::PropertyBag props;
    std::uint32_t nid = 0;

    // Distribution-list members, split on first use.
    std::optional<std::vector<QByteArray>> members;
    std::vector<QByteArray> oneOffs;

    const NamedIds& ids() const { return *open->ids; }
    int codepage() const;
    QString text(std::uint16_t id) const;
    QString joined(std::uint16_t id) const;
    QDateTime date(std::uint16_t id) const;
    void splitMembers();
};

struct SessionImpl {
    bool loggedOn = false;
    std::vector<std::shared_ptr<StoreImpl>> stores;
};

// ---------------------------------------------------------------------------

OpenStore& StoreImpl::ensureOpen()
{
    if (open)
        return *open;
    if (!QFileInfo::exists(path))
        fail(QStringLiteral("the data file %1 does not exist").arg(path));
    auto o = std::make_shared<OpenStore>();
    o->file = std::make_unique<pff::File>(path);
    const pff::Item store = o->file->messageStore();
    const pff::PropertyBag props = store.readProperties();

    if (const pff::Property* pw = props.find(kPstPassword); pw && pff::toInteger(*pw) != 0)
        fail(QStringLiteral("the data file %1 is password protected").arg(path));

    const pff::Property* key = props.find(kRecordKey);
    if (!key || key->type != pff::PT_BINARY || key->data.size() != 16)
        fail(QStringLiteral("the data file %1 has no valid store record key").arg(path));
    o->recordKey = key->data;

    if (const pff::Property* name = props.find(kDisplayName))
        o->name = pff::toText(*name, o->file->asciiCodepage());

    o->ipmNid = kNidIpmSubtree;
    if (const pff::Property* ipm = props.find(kIpmSubtreeEntryId)) {
        if (ipm->type != pff::PT_BINARY || ipm->data.size() < 24)
            fail(QStringLiteral("the data file %1 has a damaged top folder reference").arg(path));
        o->ipmNid = qFromLittleEndian<quint32>(ipm->data.constData() + ipm->data.size() - 4);
    }
    o->ids.emplace(o->file->names());
    o->reader = pff::PstReader::open(path);
    open = std::move(o);
    return *open;
}

QString StoreImpl::entryId()
{
    const OpenStore& o = ensureOpen();
    // The record key names the store; a piece of the path keeps two copies
    // of one file (same key) apart.
    const QByteArray pathHash = QCryptographicHash::hash(path.toUtf8(), QCryptographicHash::Sha1).left(4);
    return hex(o.recordKey) + hex(pathHash);
}

int ItemImpl::codepage() const
{
    if (const pff::Property* cp = props.find(kMessageCodepage); cp && cp->type == pff::PT_LONG)
        return int(pff::toInteger(*cp));
    return open->file->asciiCodepage();
}

QString ItemImpl::text(std::uint16_t id) const
{
    const pff::Property* p = props.find(id);
    return p ? pff::toText(*p, codepage()) : QString();
}

QString ItemImpl::joined(std::uint16_t id) const
{
    const pff::Property* p = props.find(id);
    return p ? pff::toTexts(*p, codepage()).join(QStringLiteral(", ")) : QString();
}

QDateTime ItemImpl::date(std::uint16_t id) const
{
    const pff::Property* p = props.find(id);
    if (!p)
        return noDate();
    const QDateTime utc = pff::toUtcTime(*p);
    // Outlook marks "none" with 4501-01-01; the years around it mean the same.
    if (!utc.isValid() || utc.date().year() >= 4500)
        return noDate();
    return utc.toLocalTime();
}

void ItemImpl::splitMembers()
{
    if (members)
        return;
    std::vector<QByteArray> m;
    if (const pff::Property* p = props.find(ids().listOneOffMembers))
        oneOffs = pff::toBinaries(*p);
    if (const pff::Property* p = props.find(ids().listMembers))
        m = pff::toBinaries(*p);
    else
        m = oneOffs;
    members = std::move(m);
}

std::shared_ptr<FolderImpl> makeFolder(const std::shared_ptr<StoreImpl>& store, pff::Item item,
                                       std::vector<std::uint32_t> chain)
{
    auto f = std::make_shared<FolderImpl>();
    f->store = store;
    f->open = store->open;
    f->nid = item.identifier();
    if (std::find(chain.begin(), chain.end(), f->nid) != chain.end())
        fail(QStringLiteral("the folder hierarchy of %1 loops back on itself").arg(store->path));
    if (chain.size() >= kMaxFolderDepth)
        fail(QStringLiteral("the folder hierarchy of %1 is nested impossibly deep").arg(store->path));
    chain.push_back(f->nid);
    f->chain = std::move(chain);
    const pff::PropertyBag props = item.readProperties();
    const int cp = f->open->file->asciiCodepage();
    if (const pff::Property* p = props.find(kDisplayName))
        f->name = pff::toText(*p, cp);
    if (const pff::Property* p = props.find(kContainerClass))
        f->containerClass = pff::toText(*p, cp);
    f->item = std::move(item);
    return f;
}

}  // namespace detail

using namespace detail;

// ---------------------------------------------------------------------------
// Session

RDOSession::RDOSession() : d(std::make_unique<SessionImpl>()) {}
RDOSession::~RDOSession() = default;

void RDOSession::Logon()
{
    const QStringList paths = profile::Read();
    std::vector<std::shared_ptr<StoreImpl>> stores;
    stores.reserve(std::size_t(paths.size()));
    for (const QString& p : paths)
        stores.push_back(std::make_shared<StoreImpl>(p));
    d->stores = std::move(stores);
    d->loggedOn = true;
}

void RDOSession::Logoff()
{
    d->stores.clear();
    d->loggedOn = false;
}

namespace {
void requireLogon(const SessionImpl& s)
{
    if (!s.loggedOn)
        fail(QStringLiteral("the session is not logged on"));
}
}  // namespace

int RDOSession::StoreCount() const
{
    requireLogon(*d);
    return int(d->stores.size());
}

RDOStore RDOSession::Store(int index) const
{
    requireLogon(*d);
    if (index < 1 || index > int(d->stores.size()))
        fail(QStringLiteral("there is no store %1 in the profile").arg(index));
    return RDOStore(d->stores[std::size_t(index - 1)]);
}

RDOStore RDOSession::GetStoreFromID(const QString& entryId) const
{
    requireLogon(*d);
    for (const auto& s : d->stores) {
        // The tail of the identifier comes from the path: only a store whose
        // path fits needs its file opened.
        const QString tail = hex(QCryptographicHash::hash(s->path.toUtf8(), QCryptographicHash::Sha1).left(4));
        if (!entryId.endsWith(tail, Qt::CaseInsensitive))
            continue;
        try {
            if (s->entryId().compare(entryId, Qt::CaseInsensitive) == 0)
                return RDOStore(s);
        } catch (const OutlookError&) {
            // A store that cannot be opened is not the one asked for; keep looking.
        }
    }
    fail(QStringLiteral("no store of the profile has the identifier %1").arg(entryId));
}

RDOStore RDOSession::AddPSTStore(const QString& path)
{
    requireLogon(*d);
    const QString absolute = profile::Normalize(path);
    for (const auto& s : d->stores)
        if (s->path == absolute || profile::Normalize(s->path) == absolute)
            return RDOStore(s);
    auto store = std::make_shared<StoreImpl>(absolute);
    store->ensureOpen();
    profile::Add(absolute);
    d->stores.push_back(store);
    return RDOStore(store);
}

RDOStore RDOSession::OpenPstFile(const QString& path)
{
    auto store = std::make_shared<StoreImpl>(profile::Normalize(path));
    store->ensureOpen();
    return RDOStore(store);
}

QString RDOSession::ProfilePath() { return profile::Path(); }

// ---------------------------------------------------------------------------
// Store

RDOStore::RDOStore(std::shared_ptr<StoreImpl> impl) : d(std::move(impl)) {}

QString RDOStore::Name() const { return d->ensureOpen().name; }
QString RDOStore::EntryID() const { return d->entryId(); }
QString RDOStore::PstPath() const { return d->path; }

RDOFolder RDOStore::IPMRootFolder() const
{
    OpenStore& o = d->ensureOpen();
    pff::Item item = o.file->itemById(o.ipmNid);
    if (!item)
        fail(QStringLiteral("the data file %1 has no top folder").arg(d->path));
    return RDOFolder(makeFolder(d, std::move(item), {}));
}

RDOFolder RDOStore::GetFolderFromID(const QString& entryId) const
{
    OpenStore& o = d->ensureOpen();
    const QByteArray bytes = QByteArray::fromHex(entryId.toLatin1());
    if (bytes.size() != 24 || hex(bytes).compare(entryId, Qt::CaseInsensitive) != 0 || !bytes.startsWith(QByteArray(4, '\0'))
        || bytes.mid(4, 16) != o.recordKey)
        fail(QStringLiteral("%1 is not the identifier of a folder of this store").arg(entryId));
    const std::uint32_t nid = qFromLittleEndian<quint32>(bytes.constData() + 20);
    if ((nid & kNidTypeMask) != kNidTypeNormalFolder)
        fail(QStringLiteral("%1 is not the identifier of a folder of this store").arg(entryId));
    pff::Item item = o.file->itemById(nid);
    if (!item)
        fail(QStringLiteral("the store has no folder with the identifier %1").arg(entryId));
    return RDOFolder(makeFolder(d, std::move(item), {}));
}

// ---------------------------------------------------------------------------
// Folder

RDOFolder::RDOFolder(std::shared_ptr<FolderImpl> impl) : d(std::move(impl)) {}

QString RDOFolder::Name() const { return d->name; }

QString RDOFolder::EntryID() const
{
    return hex(QByteArray(4, '\0') + d->open->recordKey + le32(d->nid));
}

QString RDOFolder::DefaultMessageClass() const
{
    const QString& cls = d->containerClass;
    if (cls.startsWith(QLatin1String("IPF.")) && cls.size() > 4)
        return QStringLiteral("IPM.") + cls.mid(4);
    return QStringLiteral("IPM.Note");
}

int RDOFolder::FolderCount() const
{
    if (!d->folderCount)
        d->folderCount = d->item.subFolderCount();
    return *d->folderCount;
}

RDOFolder RDOFolder::Folder(int index) const
{
    if (index < 1 || index > FolderCount())
        fail(QStringLiteral("folder %1 has no subfolder %2").arg(d->name).arg(index));
    return RDOFolder(makeFolder(d->store, d->item.subFolder(index - 1), d->chain));
}

RDOItems RDOFolder::Items() const { return RDOItems(d); }

// ---------------------------------------------------------------------------
// Items

RDOItems::RDOItems(std::shared_ptr<FolderImpl> folder) : d(std::move(folder)) {}

qint64 RDOItems::Count() const
{
    if (!d->itemCount)
        d->itemCount = d->item.subMessageCount();
    return *d->itemCount;
}

RDOItem RDOItems::Item(qint64 position) const
{
    if (position < 1 || position > Count())
        fail(QStringLiteral("folder %1 has no item %2").arg(d->name).arg(position));
    auto item = std::make_shared<ItemImpl>();
    item->store = d->store;
    item->open = d->open;
    if (pff::PstReader* reader = d->open->reader.get()) {
        // The contents table gives the node ids; the reader finds each one
        // directly, however many items the folder has.
        if (!d->itemIds) {
            d->itemIds = d->item.subMessageIds();
            if (qint64(d->itemIds->size()) != Count())
                fail(QStringLiteral("the contents table of folder %1 is inconsistent").arg(d->name));
        }
        const std::uint32_t nid = (*d->itemIds)[std::size_t(position - 1)];
        if ((nid & kNidTypeMask) != kNidTypeNormalMessage || reader->parentOf(nid) != d->nid)
            fail(QStringLiteral("item %1 of folder %2 is not an item of that folder").arg(position).arg(d->name));
        item->nid = nid;
        item->props = reader->readProperties(nid);
    } else {
        const pff::Item message = d->item.subMessage(int(position - 1));
        item->nid = message.identifier();
        item->props = message.readProperties();
    }
    return RDOItem(item);
}

// ---------------------------------------------------------------------------
// Item

RDOItem::RDOItem(std::shared_ptr<ItemImpl> impl) : d(std::move(impl)) {}

QString RDOItem::MessageClass() const { return d->text(kMessageClass); }

QString RDOItem::Body() const
{
    if (const pff::Property* body = d->props.find(kBody)) {
        int cp = d->codepage();
        if (const pff::Property* icp = d->props.find(kInternetCodepage); icp && icp->type == pff::PT_LONG)
            cp = int(pff::toInteger(*icp));
        return pff::toText(*body, cp);
    }
    if (const pff::Property* rtf = d->props.find(kRtfCompressed)) {
        if (rtf->type != pff::PT_BINARY)
            fail(QStringLiteral("the RTF body of an item is not binary"));
        return rtf::ToText(rtf::Decompress(rtf->data));
    }
    return QString();
}

QString RDOItem::Categories() const { return d->joined(d->ids().keywords); }

QString RDOItem::FirstName() const { return d->text(kGivenName); }
QString RDOItem::MiddleName() const { return d->text(kMiddleName); }
QString RDOItem::LastName() const { return d->text(kSurname); }
QString RDOItem::Suffix() const { return d->text(kGeneration); }
QString RDOItem::Title() const { return d->text(kDisplayNamePrefix); }
QString RDOItem::Email1Address() const { return d->text(d->ids().email[0]); }
QString RDOItem::Email2Address() const { return d->text(d->ids().email[1]); }
QString RDOItem::Email3Address() const { return d->text(d->ids().email[2]); }
QString RDOItem::CompanyName() const { return d->text(kCompanyName); }
QString RDOItem::JobTitle() const { return d->text(kTitle); }
QString RDOItem::BusinessAddressStreet() const { return d->text(d->ids().workStreet); }
QString RDOItem::BusinessAddressCity() const { return d->text(d->ids().workCity); }
QString RDOItem::BusinessAddressPostalCode() const { return d->text(d->ids().workPostalCode); }
QString RDOItem::BusinessAddressState() const { return d->text(d->ids().workState); }
QString RDOItem::BusinessAddressCountry() const { return d->text(d->ids().workCountry); }
QString RDOItem::OfficeLocation() const { return d->text(kOfficeLocation); }
QString RDOItem::WebPage() const { return d->text(d->ids().html); }
QString RDOItem::Department() const { return d->text(kDepartment); }
QString RDOItem::ManagerName() const { return d->text(kManager); }
QString RDOItem::AssistantName() const { return d->text(kAssistant); }
QString RDOItem::BusinessTelephoneNumber() const { return d->text(kBusinessPhone); }
QString RDOItem::BusinessFaxNumber() const { return d->text(kBusinessFax); }
QString RDOItem::MobileTelephoneNumber() const { return d->text(kMobilePhone); }
QString RDOItem::PagerNumber() const { return d->text(kPager); }
QString RDOItem::HomeAddressStreet() const { return d->text(kHomeStreet); }
QString RDOItem::HomeAddressCity() const { return d->text(kHomeCity); }
QString RDOItem::HomeAddressPostalCode() const { return d->text(kHomePostalCode); }
QString RDOItem::HomeAddressState() const { return d->text(kHomeState); }
QString RDOItem::HomeAddressCountry() const { return d->text(kHomeCountry); }
QString RDOItem::Spouse() const { return d->text(kSpouse); }
QString RDOItem::Children() const { return d->joined(kChildren); }
QString RDOItem::HomeTelephoneNumber() const { return d->text(kHomePhone); }
QString RDOItem::HomeFaxNumber() const { return d->text(kHomeFax); }
QDateTime RDOItem::Birthday() const { return d->date(kBirthday); }
QDateTime RDOItem::Anniversary() const { return d->date(kAnniversary); }

QString RDOItem::DLName() const
{
    const QString name = d->text(d->ids().listName);
    return name.isEmpty() ? d->text(kDisplayName) : name;
}

int RDOItem::MemberCount() const
{
    d->splitMembers();
    return int(d->members->size());
}

namespace {

const QByteArray kOneOffUid = QByteArray::fromHex("812B1FA4BEA310199D6E00DD010F5402");
const QByteArray kWrappedUid = QByteArray::fromHex("C091ADD3519DCF11A4A900AA0047FAA4");

struct Address {
    QString name;
    QString address;
};

QString memberText(const Address& a)
{
    if (!a.name.isEmpty() && !a.address.isEmpty() && a.name != a.address)
        return a.name + QStringLiteral(" <") + a.address + QLatin1Char('>');
    return a.name.isEmpty() ? a.address : a.name;
}

// A one-off entry id: flags, the one-off provider, version, flags, then
// display name, address type and address, each terminated.
std::optional<Address> parseOneOff(const QByteArray& e, int codepage)
{
    if (e.size() < 24 || e.mid(4, 16) != kOneOffUid)
        return std::nullopt;
    const quint16 flags = qFromLittleEndian<quint16>(e.constData() + 22);
    const bool unicode = flags & 0x8000;
    qsizetype at = 24;
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
                QString s = pff::decodeCodepage(e.mid(at, end - at), codepage);
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
        throw OutlookError("a distribution list member is damaged");
    return Address{*name, *address};
}

}  // namespace

QString RDOItem::MemberText(int index) const
{
    d->splitMembers();
    const auto& members = *d->members;
    if (index < 1 || index > int(members.size()))
        fail(QStringLiteral("the list has no member %1").arg(index));
    const QByteArray& entry = members[std::size_t(index - 1)];
    const int cp = d->codepage();

    if (auto a = parseOneOff(entry, cp))
        return memberText(*a);

    if (entry.size() >= 21 && entry.mid(4, 16) == kWrappedUid) {
        const uchar type = uchar(entry[20]);
        const QByteArray inner = entry.mid(21);
        const int kind = type & 0x0F;
        if (kind == 0) {
            if (auto a = parseOneOff(inner, cp))
                return memberText(*a);
            throw OutlookError("a distribution list member is damaged");
        }
        if ((kind == 3 || kind == 4) && (type & 0x80)) {
            if (inner.size() != 24 || inner.mid(4, 16) != d->open->recordKey)
                throw OutlookError("a distribution list member refers to an item of another store");
            const std::uint32_t nid = qFromLittleEndian<quint32>(inner.constData() + 20);
            if ((nid & kNidTypeMask) != kNidTypeNormalMessage)
                throw OutlookError("a distribution list member refers to something that is not an item");
            ItemImpl other;
            other.store = d->store;
            other.open = d->open;
            other.nid = nid;
            if (pff::PstReader* reader = d->open->reader.get()) {
                other.props = reader->readProperties(nid);
            } else {
                const pff::Item target = d->open->file->itemById(nid);
                if (!target)
                    throw OutlookError("a distribution list member refers to an item that does not exist");
                other.props = target.readProperties();
            }
            if (kind == 4) {
                const QString name = other.text(other.ids().listName);
                return memberText({name.isEmpty() ? other.text(kDisplayName) : name, QString()});
            }
            const int which = (type >> 4) & 0x07;
            Address a;
            a.name = other.text(kDisplayName);
            if (which <= 2) {
                a.address = other.text(other.ids().email[which]);
                if (a.name.isEmpty())
                    a.name = other.text(other.ids().emailOriginalName[which]);
            } else if (which <= 5) {
                a.address = other.text(other.ids().fax[which - 3]);
                if (a.name.isEmpty())
                    a.name = other.text(other.ids().faxOriginalName[which - 3]);
            }
            return memberText(a);
        }
    }
    // An address-book entry this store cannot resolve: its one-off copy
    // stands in for it where the file keeps one.
    if (std::size_t(index) <= d->oneOffs.size())
        if (auto a = parseOneOff(d->oneOffs[std::size_t(index - 1)], cp))
            return memberText(*a);
    throw OutlookError("a distribution list member cannot be resolved");
}

bool IsNoDate(const QDateTime& value) { return value.isValid() && value.date() == QDate(4501, 1, 1); }

}  // namespace outlook
