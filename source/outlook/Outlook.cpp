#include "source/outlook/Outlook.h"

#include "source/outlook/NameMap.h"
#include "source/outlook/Ndb.h"
#include "source/outlook/Profile.h"
#include "source/outlook/PropertyContext.h"
#include "source/outlook/Rtf.h"
#include "source/outlook/TableContext.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <ctime>
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
    kLtpRowId = 0x67F2,
};

// Node types inside node ids.
constexpr std::uint32_t kNidTypeMask = 0x1F;
constexpr std::uint32_t kNidTypeNormalFolder = 0x02;
constexpr std::uint32_t kNidTypeNormalMessage = 0x04;
constexpr std::uint32_t kNidTypeHierarchyTable = 0x0D;
constexpr std::uint32_t kNidTypeContentsTable = 0x0E;
constexpr std::uint32_t kNidMessageStore = 0x21;
constexpr std::uint32_t kNidNameToIdMap = 0x61;
constexpr std::uint32_t kNidIpmSubtree = 0x8022;
// 8-bit text that names no code page of its own.
constexpr int kDefaultCodepage = 1252;
// Deeper than this, a folder hierarchy is taken to be damaged.
constexpr std::size_t kMaxFolderDepth = 512;

QString hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

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

    explicit NamedIds(const pst::NameMap& m)
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
    std::unique_ptr<pst::Ndb> ndb;
    pst::NameMap names;
    std::optional<NamedIds> ids;
    QByteArray recordKey;
    QString name;
    std::uint32_t ipmNid = 0;
};

struct StoreImpl {
    QString path;
    std::shared_ptr<OpenStore> open;

    explicit StoreImpl(QString p)
        : path(std::move(p))
    {
    }

    // Opens the file on first use; throws while it cannot be opened.
    OpenStore& ensureOpen();
    QString entryId();
};

struct FolderImpl {
    std::shared_ptr<StoreImpl> store;
    std::shared_ptr<OpenStore> open;  // keeps the file alive while the folder is
    std::uint32_t nid = 0;
    std::vector<std::uint32_t> chain;  // node ids from the first folder reached down to this one
    QString name;
    QString containerClass;
    // The subfolders' node ids, from the hierarchy table; read on first use.
    std::optional<std::vector<std::uint32_t>> subfolders;
    // The contents table; opened on first use.
    std::unique_ptr<pst::TableContext> contents;

    pst::TableContext& contentsTable();
};

struct ItemImpl {
    std::shared_ptr<StoreImpl> store;
    std::shared_ptr<OpenStore> open;
    pst::PropertyBag props;
    std::uint32_t nid = 0;

    // Distribution-list members, split on first use.
    std::optional<std::vector<QByteArray>> members;
    std::vector<QByteArray> oneOffs;

    const NamedIds& ids() const { return *open->ids; }
    int codepage() const;  // PidTagMessageCodepage, else Windows-1252
    mutable int codepage_ = 0;
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
    auto o = std::make_shared<OpenStore>();
    o->ndb = pst::Ndb::open(path);
    const pst::PropertyBag props = pst::readPropertyContext(*o->ndb, kNidMessageStore);

    // Offline folder files carry no password of their own (access is the
    // mail profile's); what such a file keeps under this id is not one.
    if (!o->ndb->header().offline)
        if (const pst::Property* pw = props.find(kPstPassword); pw && pst::toInteger(*pw).value_or(0) != 0)
            fail(QStringLiteral("the data file %1 is password protected").arg(path));

    const pst::Property* key = props.find(kRecordKey);
    if (!key || key->type != pst::PT_BINARY || key->size != 16)
        fail(QStringLiteral("the data file %1 has no valid store record key").arg(path));
    o->recordKey = key->bytes();

    if (const pst::Property* name = props.find(kDisplayName))
        o->name = pst::toText(*name, kDefaultCodepage);

    o->ipmNid = kNidIpmSubtree;
    if (const pst::Property* ipm = props.find(kIpmSubtreeEntryId)) {
        if (ipm->type != pst::PT_BINARY || ipm->size < 24)
            fail(QStringLiteral("the data file %1 has a damaged top folder reference").arg(path));
        o->ipmNid = qFromLittleEndian<quint32>(ipm->data + ipm->size - 4);
    }
    // The name-to-id map; a file without one simply has no named properties.
    if (o->ndb->findNode(kNidNameToIdMap))
        o->names.parse(pst::readPropertyContext(*o->ndb, kNidNameToIdMap));
    o->ids.emplace(o->names);
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
    if (codepage_ == 0) {
        codepage_ = kDefaultCodepage;
        if (const pst::Property* cp = props.find(kMessageCodepage))
            if (const auto value = pst::toInteger(*cp); value && *value > 0 && *value <= 65535)
                codepage_ = int(*value);
    }
    return codepage_;
}

QString ItemImpl::text(std::uint16_t id) const
{
    const pst::Property* p = props.find(id);
    return p ? pst::toText(*p, codepage()) : QString();
}

QString ItemImpl::joined(std::uint16_t id) const
{
    const pst::Property* p = props.find(id);
    return p ? pst::toText(*p, codepage()) : QString();
}

QDateTime ItemImpl::date(std::uint16_t id) const
{
    const pst::Property* p = props.find(id);
    const std::optional<QDateTime> utc = p ? pst::toUtcTime(*p) : std::nullopt;
    // Outlook marks "none" with 4501-01-01; the years around it mean the same.
    if (!utc || !utc->isValid() || utc->date().year() >= 4500)
        return noDate();
    // In local time, by the C library: Qt's own conversion looks the zone
    // file up again for every date, a system call that would dominate the
    // reading of a large store.
    const time_t seconds = time_t(utc->toSecsSinceEpoch());
    struct tm local { };
    if (!localtime_r(&seconds, &local))
        return utc->toLocalTime();
    return QDateTime(QDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                     QTime(local.tm_hour, local.tm_min, local.tm_sec, utc->time().msec()), Qt::OffsetFromUTC,
                     int(local.tm_gmtoff));
}

void ItemImpl::splitMembers()
{
    if (members)
        return;
    std::vector<QByteArray> m;
    if (const pst::Property* p = props.find(ids().listOneOffMembers))
        oneOffs = pst::toBinaries(*p);
    if (const pst::Property* p = props.find(ids().listMembers))
        m = pst::toBinaries(*p);
    else
        m = oneOffs;
    members = std::move(m);
}

pst::TableContext& FolderImpl::contentsTable()
{
    if (!contents)
        contents = std::make_unique<pst::TableContext>(*open->ndb, (nid & ~kNidTypeMask) | kNidTypeContentsTable);
    return *contents;
}

// The folder `nid`, reached through the folders `chain`.
std::shared_ptr<FolderImpl> makeFolder(const std::shared_ptr<StoreImpl>& store, std::uint32_t nid,
                                       std::vector<std::uint32_t> chain)
{
    auto f = std::make_shared<FolderImpl>();
    f->store = store;
    f->open = store->open;
    f->nid = nid;
    if ((nid & kNidTypeMask) != kNidTypeNormalFolder)
        fail(QStringLiteral("node %1 of %2 is not a folder").arg(nid, 0, 16).arg(store->path));
    if (std::find(chain.begin(), chain.end(), f->nid) != chain.end())
        fail(QStringLiteral("the folder hierarchy of %1 loops back on itself").arg(store->path));
    if (chain.size() >= kMaxFolderDepth)
        fail(QStringLiteral("the folder hierarchy of %1 is nested impossibly deep").arg(store->path));
    chain.push_back(f->nid);
    f->chain = std::move(chain);
    const pst::PropertyBag props = pst::readPropertyContext(*f->open->ndb, nid);
    if (const pst::Property* p = props.find(kDisplayName))
        f->name = pst::toText(*p, kDefaultCodepage);
    if (const pst::Property* p = props.find(kContainerClass))
        f->containerClass = pst::toText(*p, kDefaultCodepage);
    return f;
}

// The node ids the rows of a table name (PidTagLtpRowId), in row order.
std::vector<std::uint32_t> rowIds(pst::TableContext& table)
{
    std::vector<std::uint32_t> ids;
    ids.reserve(table.rowCount());
    for (std::size_t r = 0; r < table.rowCount(); ++r)
        if (const auto id = table.cell32(r, kLtpRowId))
            ids.push_back(*id);
        else
            pst::damaged("a table row names no node");
    return ids;
}

}  // namespace detail

using namespace detail;

// ---------------------------------------------------------------------------
// Session

RDOSession::RDOSession()
    : d(std::make_unique<SessionImpl>())
{
}
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

QString RDOSession::ProfilePath()
{
    return profile::Path();
}

// ---------------------------------------------------------------------------
// Store

RDOStore::RDOStore(std::shared_ptr<StoreImpl> impl)
    : d(std::move(impl))
{
}

QString RDOStore::Name() const
{
    return d->ensureOpen().name;
}
QString RDOStore::EntryID() const
{
    return d->entryId();
}
QString RDOStore::PstPath() const
{
    return d->path;
}

RDOFolder RDOStore::IPMRootFolder() const
{
    OpenStore& o = d->ensureOpen();
    if (!o.ndb->findNode(o.ipmNid))
        fail(QStringLiteral("the data file %1 has no top folder").arg(d->path));
    return RDOFolder(makeFolder(d, o.ipmNid, {}));
}

RDOFolder RDOStore::GetFolderFromID(const QString& entryId) const
{
    OpenStore& o = d->ensureOpen();
    const QByteArray bytes = QByteArray::fromHex(entryId.toLatin1());
    if (bytes.size() != 24 || hex(bytes).compare(entryId, Qt::CaseInsensitive) != 0
        || !bytes.startsWith(QByteArray(4, '\0')) || bytes.mid(4, 16) != o.recordKey)
        fail(QStringLiteral("%1 is not the identifier of a folder of this store").arg(entryId));
    const std::uint32_t nid = qFromLittleEndian<quint32>(bytes.constData() + 20);
    if ((nid & kNidTypeMask) != kNidTypeNormalFolder)
        fail(QStringLiteral("%1 is not the identifier of a folder of this store").arg(entryId));
    if (!o.ndb->findNode(nid))
        fail(QStringLiteral("the store has no folder with the identifier %1").arg(entryId));
    return RDOFolder(makeFolder(d, nid, {}));
}

// ---------------------------------------------------------------------------
// Folder

RDOFolder::RDOFolder(std::shared_ptr<FolderImpl> impl)
    : d(std::move(impl))
{
}

QString RDOFolder::Name() const
{
    return d->name;
}

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
    if (!d->subfolders) {
        // The hierarchy table lists the subfolders in their order; rows for
        // other kinds of folder (search folders) are left out.
        pst::Ndb& ndb = *d->open->ndb;
        const std::uint32_t tableNid = (d->nid & ~kNidTypeMask) | kNidTypeHierarchyTable;
        std::vector<std::uint32_t> ids;
        if (ndb.findNode(tableNid)) {
            pst::TableContext table(ndb, tableNid);
            for (std::uint32_t id : rowIds(table))
                if ((id & kNidTypeMask) == kNidTypeNormalFolder)
                    ids.push_back(id);
        }
        d->subfolders = std::move(ids);
    }
    return int(d->subfolders->size());
}

RDOFolder RDOFolder::Folder(int index) const
{
    if (index < 1 || index > FolderCount())
        fail(QStringLiteral("folder %1 has no subfolder %2").arg(d->name).arg(index));
    const std::uint32_t nid = (*d->subfolders)[std::size_t(index - 1)];
    if (!d->open->ndb->findNode(nid))
        fail(QStringLiteral("subfolder %1 of folder %2 is missing").arg(index).arg(d->name));
    return RDOFolder(makeFolder(d->store, nid, d->chain));
}

RDOItems RDOFolder::Items() const
{
    return RDOItems(d);
}

// ---------------------------------------------------------------------------
// Items

RDOItems::RDOItems(std::shared_ptr<FolderImpl> folder)
    : d(std::move(folder))
{
}

qint64 RDOItems::Count() const
{
    const std::uint32_t tableNid = (d->nid & ~kNidTypeMask) | kNidTypeContentsTable;
    if (!d->contents && !d->open->ndb->findNode(tableNid))
        return 0;
    return qint64(d->contentsTable().rowCount());
}

RDOItem RDOItems::Item(qint64 position) const
{
    if (position < 1 || position > Count())
        fail(QStringLiteral("folder %1 has no item %2").arg(d->name).arg(position));
    // The contents table gives the node id; the node B-tree finds the item
    // directly, however many items the folder has.
    const auto nid = d->contentsTable().cell32(std::size_t(position - 1), kLtpRowId);
    if (!nid)
        pst::damaged("a table row names no node");
    pst::Ndb& ndb = *d->open->ndb;
    const auto node = ndb.findNode(*nid);
    if ((*nid & kNidTypeMask) != kNidTypeNormalMessage || !node || node->parent != d->nid)
        fail(QStringLiteral("item %1 of folder %2 is not an item of that folder").arg(position).arg(d->name));
    auto item = std::make_shared<ItemImpl>();
    item->store = d->store;
    item->open = d->open;
    item->nid = *nid;
    item->props = pst::readPropertyContext(ndb, *node);
    return RDOItem(item);
}

// ---------------------------------------------------------------------------
// Item

RDOItem::RDOItem(std::shared_ptr<ItemImpl> impl)
    : d(std::move(impl))
{
}

QString RDOItem::MessageClass() const
{
    return d->text(kMessageClass);
}

QString RDOItem::Body() const
{
    // A body of another type than text reads as absent, and so does an RTF
    // body that is not binary.
    if (const pst::Property* body = d->props.find(kBody);
        body && (body->type == pst::PT_UNICODE || body->type == pst::PT_STRING8)) {
        int cp = d->codepage();
        if (const pst::Property* icp = d->props.find(kInternetCodepage))
            if (const auto value = pst::toInteger(*icp); value && *value > 0)
                cp = int(*value);
        return pst::toText(*body, cp);
    }
    if (const pst::Property* rtf = d->props.find(kRtfCompressed); rtf && rtf->type == pst::PT_BINARY)
        return rtf::ToText(rtf::Decompress(rtf->bytes()));
    return QString();
}

QString RDOItem::Categories() const
{
    return d->joined(d->ids().keywords);
}

QString RDOItem::FirstName() const
{
    return d->text(kGivenName);
}
QString RDOItem::MiddleName() const
{
    return d->text(kMiddleName);
}
QString RDOItem::LastName() const
{
    return d->text(kSurname);
}
QString RDOItem::Suffix() const
{
    return d->text(kGeneration);
}
QString RDOItem::Title() const
{
    return d->text(kDisplayNamePrefix);
}
QString RDOItem::Email1Address() const
{
    return d->text(d->ids().email[0]);
}
QString RDOItem::Email2Address() const
{
    return d->text(d->ids().email[1]);
}
QString RDOItem::Email3Address() const
{
    return d->text(d->ids().email[2]);
}
QString RDOItem::CompanyName() const
{
    return d->text(kCompanyName);
}
QString RDOItem::JobTitle() const
{
    return d->text(kTitle);
}
QString RDOItem::BusinessAddressStreet() const
{
    return d->text(d->ids().workStreet);
}
QString RDOItem::BusinessAddressCity() const
{
    return d->text(d->ids().workCity);
}
QString RDOItem::BusinessAddressPostalCode() const
{
    return d->text(d->ids().workPostalCode);
}
QString RDOItem::BusinessAddressState() const
{
    return d->text(d->ids().workState);
}
QString RDOItem::BusinessAddressCountry() const
{
    return d->text(d->ids().workCountry);
}
QString RDOItem::OfficeLocation() const
{
    return d->text(kOfficeLocation);
}
QString RDOItem::WebPage() const
{
    return d->text(d->ids().html);
}
QString RDOItem::Department() const
{
    return d->text(kDepartment);
}
QString RDOItem::ManagerName() const
{
    return d->text(kManager);
}
QString RDOItem::AssistantName() const
{
    return d->text(kAssistant);
}
QString RDOItem::BusinessTelephoneNumber() const
{
    return d->text(kBusinessPhone);
}
QString RDOItem::BusinessFaxNumber() const
{
    return d->text(kBusinessFax);
}
QString RDOItem::MobileTelephoneNumber() const
{
    return d->text(kMobilePhone);
}
QString RDOItem::PagerNumber() const
{
    return d->text(kPager);
}
QString RDOItem::HomeAddressStreet() const
{
    return d->text(kHomeStreet);
}
QString RDOItem::HomeAddressCity() const
{
    return d->text(kHomeCity);
}
QString RDOItem::HomeAddressPostalCode() const
{
    return d->text(kHomePostalCode);
}
QString RDOItem::HomeAddressState() const
{
    return d->text(kHomeState);
}
QString RDOItem::HomeAddressCountry() const
{
    return d->text(kHomeCountry);
}
QString RDOItem::Spouse() const
{
    return d->text(kSpouse);
}
QString RDOItem::Children() const
{
    return d->joined(kChildren);
}
QString RDOItem::HomeTelephoneNumber() const
{
    return d->text(kHomePhone);
}
QString RDOItem::HomeFaxNumber() const
{
    return d->text(kHomeFax);
}
QDateTime RDOItem::Birthday() const
{
    return d->date(kBirthday);
}
QDateTime RDOItem::Anniversary() const
{
    return d->date(kAnniversary);
}

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
                QString s = pst::decodeCodepage(e.constData() + at, end - at, codepage);
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
            const auto node = d->open->ndb->findNode(nid);
            if (!node)
                throw OutlookError("a distribution list member refers to an item that does not exist");
            other.props = pst::readPropertyContext(*d->open->ndb, *node);
            if (kind == 4) {
                const QString name = other.text(other.ids().listName);
                return memberText({name.isEmpty() ? other.text(kDisplayName) : name, QString()});
            }
            // Bits 4-6 select the contact's address: 0-2 its business, home
            // and primary fax (Fax2, Fax3, Fax1), 4-6 its e-mail 1-3, 3 none.
            const int which = (type >> 4) & 0x07;
            Address a;
            a.name = other.text(kDisplayName);
            std::uint16_t address = 0, originalName = 0;
            if (which >= 4 && which <= 6) {
                address = other.ids().email[which - 4];
                originalName = other.ids().emailOriginalName[which - 4];
            } else if (which <= 2) {
                static constexpr int kFax[3] = {1, 2, 0};
                address = other.ids().fax[kFax[which]];
                originalName = other.ids().faxOriginalName[kFax[which]];
            }
            a.address = other.text(address);
            if (a.name.isEmpty())
                a.name = other.text(originalName);
            // The list keeps a one-off copy of each member; it stands in for
            // an address the contact no longer has.
            if (a.address.isEmpty() && std::size_t(index) <= d->oneOffs.size())
                if (auto copy = parseOneOff(d->oneOffs[std::size_t(index - 1)], cp)) {
                    a.address = copy->address;
                    if (a.name.isEmpty())
                        a.name = copy->name;
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

bool IsNoDate(const QDateTime& value)
{
    return value.isValid() && value.date() == QDate(4501, 1, 1);
}

}  // namespace outlook
