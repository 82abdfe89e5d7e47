#include "source/outlook/Outlook.h"

#include "source/outlook/Codepage.h"
#include "source/outlook/EntryId.h"
#include "source/outlook/NameMap.h"
#include "source/outlook/Ndb.h"
#include "source/outlook/Password.h"
#include "source/outlook/Profile.h"
#include "source/outlook/PropertyContext.h"
#include "source/outlook/Rtf.h"
#include "source/outlook/TableContext.h"
#include "source/outlook/Vocabulary.h"

#include <QFileInfo>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <ctime>
#include <optional>
#include <vector>

namespace outlook {

using namespace pst;

namespace {

[[noreturn]] void fail(Cause cause, const QString& text)
{
    throw OutlookError(cause, text.toStdString());
}

// Items whose locales make "the locale most items of a store carry".
constexpr int kLocaleSampleItems = 256;
constexpr std::size_t kLocaleSampleFolders = 512;
// Deeper than this, a folder hierarchy is taken to be damaged.
constexpr std::size_t kMaxFolderDepth = 512;

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

    explicit NamedIds(const NameMap& m)
    {
        for (int i = 0; i < 3; ++i) {
            email[i] = m.id(kPsetidAddress, PidLidEmail1EmailAddress + kEmailStep * i);
            emailOriginalName[i] = m.id(kPsetidAddress, PidLidEmail1OriginalDisplayName + kEmailStep * i);
            fax[i] = m.id(kPsetidAddress, PidLidFax1EmailAddress + kEmailStep * i);
            faxOriginalName[i] = m.id(kPsetidAddress, PidLidFax1OriginalDisplayName + kEmailStep * i);
        }
        workStreet = m.id(kPsetidAddress, PidLidWorkAddressStreet);
        workCity = m.id(kPsetidAddress, PidLidWorkAddressCity);
        workState = m.id(kPsetidAddress, PidLidWorkAddressState);
        workPostalCode = m.id(kPsetidAddress, PidLidWorkAddressPostalCode);
        workCountry = m.id(kPsetidAddress, PidLidWorkAddressCountry);
        html = m.id(kPsetidAddress, PidLidHtml);
        listName = m.id(kPsetidAddress, PidLidDistributionListName);
        listOneOffMembers = m.id(kPsetidAddress, PidLidDistributionListOneOffMembers);
        listMembers = m.id(kPsetidAddress, PidLidDistributionListMembers);
        keywords = m.id(kPsPublicStrings, QString::fromUtf16(kNameKeywords));
    }
};

// The code page of 8-bit text that names none of its own, the item's and
// the store's locale aside: the user's, else that of the user's locale, else
// Windows-1252.
int fallbackCodepage()
{
    if (const int cp = userCodepage(); cp && canDecode(cp))
        return cp;
    if (const int cp = userLocaleCodepage(); cp && canDecode(cp))
        return cp;
    return kCodepageWindows1252;
}

// The code page an item (or the message store) names for itself: its
// PidTagMessageCodepage, else the ANSI code page of its PidTagMessageLocaleId;
// 0 when it names none this layer decodes.
int ownCodepage(const PropertyBag& props)
{
    if (const Property* cp = props.find(PidTagMessageCodepage))
        if (const auto value = toInteger(*cp); value && *value > 0 && canDecode(int(*value)))
            return int(*value);
    if (const Property* locale = props.find(PidTagMessageLocaleId))
        if (const auto value = toInteger(*locale); value && *value > 0)
            if (const int cp = ansiCodepageOfLcid(std::uint32_t(*value)); cp && canDecode(cp))
                return cp;
    return 0;
}

// What is known of a store once its file is open.
struct OpenStore {
    std::unique_ptr<Ndb> ndb;
    NameMap names;
    std::optional<NamedIds> ids;
    QByteArray recordKey;
    QString name;
    std::uint32_t ipmNid = 0;  // 0: no top folder found
    // The ANSI code page of the store's own locale; 0 when the file records none.
    int storeCodepage = 0;
    // The code page most items sampled name for themselves (0: none); found
    // when a folder name first needs it.
    std::optional<int> itemsCodepage;

    // The code page of folder and store names.
    int nameCodepage();
    // Text of a folder's or the store's own property.
    QString nameText(const Property& p);
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
    std::unique_ptr<TableContext> contents;

    TableContext& contentsTable();
};

struct ItemImpl {
    std::shared_ptr<StoreImpl> store;
    std::shared_ptr<OpenStore> open;
    PropertyBag props;
    std::uint32_t nid = 0;

    // Distribution-list members, split on first use.
    std::optional<std::vector<QByteArray>> members;
    std::vector<QByteArray> oneOffs;

    const NamedIds& ids() const { return *open->ids; }
    int codepage() const;  // by the cascade of docs/OUTLOOK_LAYER.md, once per item
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

int OpenStore::nameCodepage()
{
    if (storeCodepage)
        return storeCodepage;
    if (!itemsCodepage) {
        // A sample of the items in tree order, from the top: their own code
        // pages, counted.
        std::map<int, int> counts;
        int sampled = 0;
        std::vector<std::uint32_t> folders{ipmNid};
        std::set<std::uint32_t> seen;
        for (std::size_t f = 0; f < folders.size() && f < kLocaleSampleFolders && sampled < kLocaleSampleItems; ++f) {
            const std::uint32_t folder = folders[f];
            if (!seen.insert(folder).second)
                continue;
            // Damage met on the way leaves that folder or item out of the
            // sample; reading it later reports it.
            try {
                const std::uint32_t contents = withNidType(folder, kNidTypeContentsTable);
                if (ndb->findNode(contents)) {
                    TableContext table(*ndb, contents);
                    for (std::size_t r = 0; r < table.rowCount() && sampled < kLocaleSampleItems; ++r) {
                        const auto nid = table.cell32(r, PidTagLtpRowId);
                        if (!nid || nidType(*nid) != kNidTypeNormalMessage)
                            continue;
                        ++sampled;
                        if (const int cp = ownCodepage(readPropertyContext(*ndb, *nid)))
                            ++counts[cp];
                    }
                }
                const std::uint32_t hierarchy = withNidType(folder, kNidTypeHierarchyTable);
                if (ndb->findNode(hierarchy)) {
                    TableContext table(*ndb, hierarchy);
                    for (std::size_t r = 0; r < table.rowCount(); ++r)
                        if (const auto nid = table.cell32(r, PidTagLtpRowId);
                            nid && nidType(*nid) == kNidTypeNormalFolder)
                            folders.push_back(*nid);
                }
            } catch (const OutlookError&) {
                continue;
            }
        }
        int best = 0, bestCount = 0;
        for (const auto& [cp, count] : counts)
            if (count > bestCount) {
                best = cp;
                bestCount = count;
            }
        itemsCodepage = best;
    }
    return *itemsCodepage ? *itemsCodepage : fallbackCodepage();
}

QString OpenStore::nameText(const Property& p)
{
    // Only 8-bit text beyond ASCII needs its code page found.
    if (p.type == PT_STRING8 || p.type == PT_MV_STRING8)
        for (std::uint32_t i = 0; i < p.size; ++i)
            if (static_cast<unsigned char>(p.data[i]) >= 0x80)
                return toText(p, nameCodepage());
    return toText(p, kCodepageWindows1252);
}

namespace {

// The folder named `name` among the subfolders of `parent`; 0 when none is.
std::uint32_t subfolderNamed(Ndb& ndb, std::uint32_t parent, const QString& name)
{
    const std::uint32_t hierarchy = withNidType(parent, kNidTypeHierarchyTable);
    if (!ndb.findNode(hierarchy))
        return 0;
    TableContext table(ndb, hierarchy);
    for (std::size_t r = 0; r < table.rowCount(); ++r) {
        const auto nid = table.cell32(r, PidTagLtpRowId);
        if (!nid || nidType(*nid) != kNidTypeNormalFolder || !ndb.findNode(*nid))
            continue;
        const PropertyBag props = readPropertyContext(ndb, *nid);
        if (const Property* p = props.find(PidTagDisplayName); p && toText(*p, kCodepageWindows1252) == name)
            return *nid;
    }
    return 0;
}

bool isFolder(Ndb& ndb, std::uint32_t nid)
{
    return nidType(nid) == kNidTypeNormalFolder && ndb.findNode(nid);
}

// The top of the folder tree as Outlook reaches it: the folder the message
// store names (PidTagIpmSubTreeEntryId, in the file's own form); in an
// Exchange offline file, the mailbox's IPM_SUBTREE in "Root - Mailbox" below
// the root folder; else the node where personal folders files keep it, when
// it lies where they keep it (below the root folder). 0 when none is found.
std::uint32_t findTop(Ndb& ndb, const PropertyBag& store, const QString& path)
{
    if (const Property* ipm = store.find(PidTagIpmSubTreeEntryId)) {
        if (ipm->type != PT_BINARY || ipm->size < kOwnEntryIdSize)
            fail(Cause::Damaged, QStringLiteral("the data file %1 has a damaged top folder reference").arg(path));
        // Exchange's own entry ids (of another length) name no node here.
        if (ipm->size == kOwnEntryIdSize)
            if (const std::uint32_t nid = entryIdNode(ipm->data, ipm->size); isFolder(ndb, nid))
                return nid;
    }
    if (ndb.findNode(kNidRootFolder))
        if (const std::uint32_t mailbox = subfolderNamed(ndb, kNidRootFolder, QString::fromUtf16(kNameRootMailbox)))
            if (const std::uint32_t top = subfolderNamed(ndb, mailbox, QString::fromUtf16(kNameIpmSubtree)))
                return top;
    if (const auto node = ndb.findNode(kNidIpmSubtree);
        node && (!ndb.header().offline || node->parent == kNidRootFolder))
        return kNidIpmSubtree;
    return 0;
}

}  // namespace

OpenStore& StoreImpl::ensureOpen()
{
    if (open)
        return *open;
    auto o = std::make_shared<OpenStore>();
    o->ndb = Ndb::open(path);
    const PropertyBag props = readPropertyContext(*o->ndb, kNidMessageStore);

    if (const Property* locale
        = props.find(PidTagMessageLocaleId) ? props.find(PidTagMessageLocaleId) : props.find(PidTagLocaleId))
        if (const auto value = toInteger(*locale); value && *value > 0)
            if (const int cp = ansiCodepageOfLcid(std::uint32_t(*value)); cp && canDecode(cp))
                o->storeCodepage = cp;

    // Offline folder files carry no password of their own (access is the
    // mail profile's); what such a file keeps under this id is not one.
    if (!o->ndb->header().offline)
        if (const Property* pw = props.find(PidTagPstPassword); pw && toInteger(*pw).value_or(0) != 0) {
            // The password's bytes in the code pages a user's Outlook may
            // have taken them in.
            std::vector<int> codepages;
            for (int cp : {o->storeCodepage, userCodepage(), userLocaleCodepage(), kCodepageWindows1252, kCodepageUtf8})
                if (cp && canDecode(cp) && std::find(codepages.begin(), codepages.end(), cp) == codepages.end())
                    codepages.push_back(cp);
            checkPassword(profile::Normalize(path), std::uint32_t(*toInteger(*pw)), codepages);
        }

    const Property* key = props.find(PidTagRecordKey);
    if (!key || key->type != PT_BINARY || key->size != kEntryIdProviderSize)
        fail(Cause::Damaged, QStringLiteral("the data file %1 has no valid store record key").arg(path));
    o->recordKey = key->bytes();

    o->ipmNid = findTop(*o->ndb, props, path);
    if (const Property* name = props.find(PidTagDisplayName))
        o->name = o->nameText(*name);
    if (o->name.isEmpty())
        o->name = QFileInfo(path).completeBaseName();

    // The name-to-id map; a file without one simply has no named properties.
    if (o->ndb->findNode(kNidNameToIdMap))
        o->names.parse(readPropertyContext(*o->ndb, kNidNameToIdMap));
    o->ids.emplace(o->names);
    open = std::move(o);
    return *open;
}

QString StoreImpl::entryId()
{
    const OpenStore& o = ensureOpen();
    return storeEntryId(o.recordKey, path);
}

int ItemImpl::codepage() const
{
    if (codepage_ == 0) {
        codepage_ = ownCodepage(props);
        if (!codepage_)
            codepage_ = open->storeCodepage ? open->storeCodepage : fallbackCodepage();
    }
    return codepage_;
}

QString ItemImpl::text(std::uint16_t id) const
{
    const Property* p = props.find(id);
    return p ? toText(*p, codepage()) : QString();
}

QString ItemImpl::joined(std::uint16_t id) const
{
    const Property* p = props.find(id);
    return p ? toText(*p, codepage()) : QString();
}

QDateTime ItemImpl::date(std::uint16_t id) const
{
    const Property* p = props.find(id);
    const std::optional<QDateTime> utc = p ? toUtcTime(*p) : std::nullopt;
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
    if (const Property* p = props.find(ids().listOneOffMembers))
        oneOffs = toBinaries(*p);
    if (const Property* p = props.find(ids().listMembers))
        m = toBinaries(*p);
    else
        m = oneOffs;
    members = std::move(m);
}

TableContext& FolderImpl::contentsTable()
{
    if (!contents)
        contents = std::make_unique<TableContext>(*open->ndb, withNidType(nid, kNidTypeContentsTable));
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
    if (nidType(nid) != kNidTypeNormalFolder)
        fail(Cause::Damaged, QStringLiteral("node %1 of %2 is not a folder").arg(nid, 0, 16).arg(store->path));
    if (std::find(chain.begin(), chain.end(), f->nid) != chain.end())
        fail(Cause::Damaged, QStringLiteral("the folder hierarchy of %1 loops back on itself").arg(store->path));
    if (chain.size() >= kMaxFolderDepth)
        fail(Cause::Damaged, QStringLiteral("the folder hierarchy of %1 is nested impossibly deep").arg(store->path));
    chain.push_back(f->nid);
    f->chain = std::move(chain);
    const PropertyBag props = readPropertyContext(*f->open->ndb, nid);
    if (const Property* p = props.find(PidTagDisplayName))
        f->name = f->open->nameText(*p);
    if (const Property* p = props.find(PidTagContainerClass))
        f->containerClass = toText(*p, kCodepageWindows1252);
    return f;
}

// The node ids the rows of a table name (PidTagLtpRowId), in row order.
std::vector<std::uint32_t> rowIds(TableContext& table)
{
    std::vector<std::uint32_t> ids;
    ids.reserve(table.rowCount());
    for (std::size_t r = 0; r < table.rowCount(); ++r)
        if (const auto id = table.cell32(r, PidTagLtpRowId))
            ids.push_back(*id);
        else
            damaged("a table row names no node");
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
        fail(Cause::Other, QStringLiteral("the session is not logged on"));
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
        fail(Cause::NotFound, QStringLiteral("there is no store %1 in the profile").arg(index));
    return RDOStore(d->stores[std::size_t(index - 1)]);
}

RDOStore RDOSession::GetStoreFromID(const QString& entryId) const
{
    requireLogon(*d);
    std::optional<OutlookError> locked;
    for (const auto& s : d->stores) {
        // The tail of the identifier comes from the path: only a store whose
        // path fits needs its file opened.
        const QString tail = storeEntryIdTail(s->path);
        if (!entryId.endsWith(tail, Qt::CaseInsensitive))
            continue;
        try {
            if (s->entryId().compare(entryId, Qt::CaseInsensitive) == 0)
                return RDOStore(s);
        } catch (const OutlookError& e) {
            // A store that cannot be opened is not the one asked for; keep
            // looking. A protected one whose path fits is, most likely: that
            // is the cause to tell if no other store fits.
            if (e.cause() == Cause::Protected || e.cause() == Cause::WrongPassword)
                locked.emplace(e);
        }
    }
    if (locked)
        throw *locked;
    fail(Cause::NotFound, QStringLiteral("no store of the profile has the identifier %1").arg(entryId));
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
    if (!o.ipmNid) {
        if (o.ndb->header().offline)
            fail(Cause::FormatNotRead,
                 QStringLiteral("the offline folder file %1 keeps its folders where this program does not find them")
                     .arg(d->path));
        fail(Cause::Damaged, QStringLiteral("the data file %1 has no top folder").arg(d->path));
    }
    return RDOFolder(makeFolder(d, o.ipmNid, {}));
}

RDOFolder RDOStore::GetFolderFromID(const QString& entryId) const
{
    OpenStore& o = d->ensureOpen();
    const std::optional<std::uint32_t> parsed = parseFolderEntryId(entryId, o.recordKey);
    if (!parsed)
        fail(Cause::NotFound, QStringLiteral("%1 is not the identifier of a folder of this store").arg(entryId));
    const std::uint32_t nid = *parsed;
    if (nidType(nid) != kNidTypeNormalFolder)
        fail(Cause::NotFound, QStringLiteral("%1 is not the identifier of a folder of this store").arg(entryId));
    if (!o.ndb->findNode(nid))
        fail(Cause::NotFound, QStringLiteral("the store has no folder with the identifier %1").arg(entryId));
    return RDOFolder(makeFolder(d, nid, {}));
}

std::vector<StrayItems> RDOStore::ContactsInOtherFolders() const
{
    std::vector<StrayItems> out;
    auto isRead = [](const QString& cls) {
        for (const char* kind : {kClassContact, kClassDistList}) {
            const QLatin1String k(kind);
            if (cls.compare(k, Qt::CaseInsensitive) == 0
                || (cls.startsWith(k, Qt::CaseInsensitive) && cls.size() > k.size() && cls[k.size()] == u'.'))
                return true;
        }
        return false;
    };
    std::function<void(const RDOFolder&, const QString&)> walk = [&](const RDOFolder& folder, const QString& path) {
        for (int i = 1; i <= folder.FolderCount(); ++i) {
            const RDOFolder sub = folder.Folder(i);
            const QString subPath = path.isEmpty() ? sub.Name() : path + QLatin1Char('\\') + sub.Name();
            if (sub.DefaultMessageClass() != QLatin1String(kClassContact)) {
                FolderImpl& f = *sub.d;
                qint64 count = 0;
                if (f.contents || f.open->ndb->findNode(withNidType(f.nid, kNidTypeContentsTable))) {
                    TableContext& table = f.contentsTable();
                    for (std::size_t r = 0; r < table.rowCount(); ++r) {
                        std::optional<QString> cls = table.cellText(r, PidTagMessageClass, kCodepageWindows1252);
                        // A table without the column: the item's own class.
                        if (!cls && !table.hasColumn(PidTagMessageClass))
                            cls = RDOItems(sub.d).Item(qint64(r + 1)).MessageClass();
                        if (cls && isRead(*cls))
                            ++count;
                    }
                }
                if (count > 0)
                    out.push_back({subPath, count});
            }
            walk(sub, subPath);
        }
    };
    walk(IPMRootFolder(), QString());
    return out;
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
    return folderEntryId(d->open->recordKey, d->nid);
}

QString RDOFolder::DefaultMessageClass() const
{
    const QString& cls = d->containerClass;
    const QLatin1String folderPrefix(kContainerClassPrefix);
    if (cls.startsWith(folderPrefix) && cls.size() > folderPrefix.size())
        return QLatin1String(kMessageClassPrefix) + cls.mid(folderPrefix.size());
    return QLatin1String(kClassNote);
}

int RDOFolder::FolderCount() const
{
    if (!d->subfolders) {
        // The hierarchy table lists the subfolders in their order; rows for
        // other kinds of folder (search folders) are left out.
        Ndb& ndb = *d->open->ndb;
        const std::uint32_t tableNid = withNidType(d->nid, kNidTypeHierarchyTable);
        std::vector<std::uint32_t> ids;
        if (ndb.findNode(tableNid)) {
            TableContext table(ndb, tableNid);
            for (std::uint32_t id : rowIds(table))
                if (nidType(id) == kNidTypeNormalFolder)
                    ids.push_back(id);
        }
        d->subfolders = std::move(ids);
    }
    return int(d->subfolders->size());
}

RDOFolder RDOFolder::Folder(int index) const
{
    if (index < 1 || index > FolderCount())
        fail(Cause::NotFound, QStringLiteral("folder %1 has no subfolder %2").arg(d->name).arg(index));
    const std::uint32_t nid = (*d->subfolders)[std::size_t(index - 1)];
    if (!d->open->ndb->findNode(nid))
        fail(Cause::Damaged, QStringLiteral("subfolder %1 of folder %2 is missing").arg(index).arg(d->name));
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
    const std::uint32_t tableNid = withNidType(d->nid, kNidTypeContentsTable);
    if (!d->contents && !d->open->ndb->findNode(tableNid))
        return 0;
    return qint64(d->contentsTable().rowCount());
}

RDOItem RDOItems::Item(qint64 position) const
{
    if (position < 1 || position > Count())
        fail(Cause::NotFound, QStringLiteral("folder %1 has no item %2").arg(d->name).arg(position));
    // The contents table gives the node id; the node B-tree finds the item
    // directly, however many items the folder has.
    const auto nid = d->contentsTable().cell32(std::size_t(position - 1), PidTagLtpRowId);
    if (!nid)
        damaged("a table row names no node");
    Ndb& ndb = *d->open->ndb;
    const auto node = ndb.findNode(*nid);
    if (nidType(*nid) != kNidTypeNormalMessage || !node || node->parent != d->nid)
        fail(Cause::Damaged,
             QStringLiteral("item %1 of folder %2 is not an item of that folder").arg(position).arg(d->name));
    auto item = std::make_shared<ItemImpl>();
    item->store = d->store;
    item->open = d->open;
    item->nid = *nid;
    item->props = readPropertyContext(ndb, *node);
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
    return d->text(PidTagMessageClass);
}

QString RDOItem::Body() const
{
    // A body of another type than text reads as absent, and so does an RTF
    // body that is not binary.
    if (const Property* body = d->props.find(PidTagBody);
        body && (body->type == PT_UNICODE || body->type == PT_STRING8)) {
        int cp = d->codepage();
        if (const Property* icp = d->props.find(PidTagInternetCodepage))
            if (const auto value = toInteger(*icp); value && *value > 0 && canDecode(int(*value)))
                cp = int(*value);
        return toText(*body, cp);
    }
    if (const Property* rtf = d->props.find(PidTagRtfCompressed); rtf && rtf->type == PT_BINARY)
        return rtf::ToText(rtf::Decompress(rtf->bytes()));
    return QString();
}

QString RDOItem::Categories() const
{
    return d->joined(d->ids().keywords);
}

QString RDOItem::FirstName() const
{
    return d->text(PidTagGivenName);
}
QString RDOItem::MiddleName() const
{
    return d->text(PidTagMiddleName);
}
QString RDOItem::LastName() const
{
    return d->text(PidTagSurname);
}
QString RDOItem::Suffix() const
{
    return d->text(PidTagGeneration);
}
QString RDOItem::Title() const
{
    return d->text(PidTagDisplayNamePrefix);
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
    return d->text(PidTagCompanyName);
}
QString RDOItem::JobTitle() const
{
    return d->text(PidTagTitle);
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
    return d->text(PidTagOfficeLocation);
}
QString RDOItem::WebPage() const
{
    return d->text(d->ids().html);
}
QString RDOItem::Department() const
{
    return d->text(PidTagDepartmentName);
}
QString RDOItem::ManagerName() const
{
    return d->text(PidTagManagerName);
}
QString RDOItem::AssistantName() const
{
    return d->text(PidTagAssistant);
}
QString RDOItem::BusinessTelephoneNumber() const
{
    return d->text(PidTagBusinessTelephoneNumber);
}
QString RDOItem::BusinessFaxNumber() const
{
    return d->text(PidTagBusinessFaxNumber);
}
QString RDOItem::MobileTelephoneNumber() const
{
    return d->text(PidTagMobileTelephoneNumber);
}
QString RDOItem::PagerNumber() const
{
    return d->text(PidTagPagerTelephoneNumber);
}
QString RDOItem::HomeAddressStreet() const
{
    return d->text(PidTagHomeAddressStreet);
}
QString RDOItem::HomeAddressCity() const
{
    return d->text(PidTagHomeAddressCity);
}
QString RDOItem::HomeAddressPostalCode() const
{
    return d->text(PidTagHomeAddressPostalCode);
}
QString RDOItem::HomeAddressState() const
{
    return d->text(PidTagHomeAddressStateOrProvince);
}
QString RDOItem::HomeAddressCountry() const
{
    return d->text(PidTagHomeAddressCountry);
}
QString RDOItem::Spouse() const
{
    return d->text(PidTagSpouseName);
}
QString RDOItem::Children() const
{
    return d->joined(PidTagChildrensNames);
}
QString RDOItem::HomeTelephoneNumber() const
{
    return d->text(PidTagHomeTelephoneNumber);
}
QString RDOItem::HomeFaxNumber() const
{
    return d->text(PidTagHomeFaxNumber);
}
QDateTime RDOItem::Birthday() const
{
    return d->date(PidTagBirthday);
}
QDateTime RDOItem::Anniversary() const
{
    return d->date(PidTagWeddingAnniversary);
}

QString RDOItem::DLName() const
{
    const QString name = d->text(d->ids().listName);
    return name.isEmpty() ? d->text(PidTagDisplayName) : name;
}

int RDOItem::MemberCount() const
{
    d->splitMembers();
    return int(d->members->size());
}

namespace {

QString memberText(const OneOffAddress& a)
{
    if (!a.name.isEmpty() && !a.address.isEmpty() && a.name != a.address)
        return a.name + QStringLiteral(" <") + a.address + QLatin1Char('>');
    return a.name.isEmpty() ? a.address : a.name;
}

}  // namespace

QString RDOItem::MemberText(int index) const
{
    d->splitMembers();
    const auto& members = *d->members;
    if (index < 1 || index > int(members.size()))
        fail(Cause::NotFound, QStringLiteral("the list has no member %1").arg(index));
    const QByteArray& entry = members[std::size_t(index - 1)];
    const int cp = d->codepage();

    if (auto a = parseOneOff(entry, cp))
        return memberText(*a);

    if (const std::optional<WrappedEntry> wrapped = parseWrapped(entry)) {
        if (wrapped->kind == kWrappedKindOneOff) {
            if (auto a = parseOneOff(wrapped->entry, cp))
                return memberText(*a);
            throw OutlookError(Cause::Damaged, "a distribution list member is damaged");
        }
        if ((wrapped->kind == kWrappedKindContact || wrapped->kind == kWrappedKindDistList) && wrapped->inStore) {
            const std::optional<std::uint32_t> nid = ownEntryNode(wrapped->entry, d->open->recordKey);
            if (!nid)
                throw OutlookError(Cause::NotFound, "a distribution list member refers to an item of another store");
            if (nidType(*nid) != kNidTypeNormalMessage)
                throw OutlookError(Cause::Damaged,
                                   "a distribution list member refers to something that is not an item");
            ItemImpl other;
            other.store = d->store;
            other.open = d->open;
            other.nid = *nid;
            const auto node = d->open->ndb->findNode(*nid);
            if (!node)
                throw OutlookError(Cause::NotFound, "a distribution list member refers to an item that does not exist");
            other.props = readPropertyContext(*d->open->ndb, *node);
            if (wrapped->kind == kWrappedKindDistList) {
                const QString name = other.text(other.ids().listName);
                return memberText({name.isEmpty() ? other.text(PidTagDisplayName) : name, QString()});
            }
            const int which = wrapped->address;
            OneOffAddress a;
            a.name = other.text(PidTagDisplayName);
            std::uint16_t address = 0, originalName = 0;
            if (which >= kWrappedAddressEmailFirst && which <= kWrappedAddressEmailLast) {
                address = other.ids().email[which - kWrappedAddressEmailFirst];
                originalName = other.ids().emailOriginalName[which - kWrappedAddressEmailFirst];
            } else if (which <= kWrappedAddressFaxLast) {
                address = other.ids().fax[kWrappedAddressFaxEntry[which]];
                originalName = other.ids().faxOriginalName[kWrappedAddressFaxEntry[which]];
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
    throw OutlookError(Cause::NotFound, "a distribution list member cannot be resolved");
}

void RememberPassword(const QString& dataFilePath, const QString& password)
{
    rememberPassword(profile::Normalize(dataFilePath), password);
}

void ForgetPasswords()
{
    forgetPasswords();
}

void SetUserCodepage(int codepage)
{
    if (codepage != 0 && !canDecode(codepage))
        fail(Cause::NotFound, QStringLiteral("code page %1 is not one this program reads").arg(codepage));
    setUserCodepage(codepage);
}

int ParseCodepage(const QString& name)
{
    const int codepage = codepageOfName(name);
    if (!codepage)
        fail(Cause::NotFound, QStringLiteral("\"%1\" is not a code page this program reads").arg(name));
    return codepage;
}

bool IsNoDate(const QDateTime& value)
{
    return value.isValid() && value.date() == QDate(4501, 1, 1);
}

}  // namespace outlook
