// Our reader against libpff, the independent oracle: every folder, every
// item, every property must agree, on written fixtures and on files other
// programs wrote.
#include "Fixture.h"

#include "source/outlook/Ndb.h"
#include "source/outlook/PropertyContext.h"
#include "source/outlook/TableContext.h"

#include <libpff.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtEndian>

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <tuple>

using namespace outlook;

namespace {

using Entry = std::tuple<std::uint16_t, std::uint16_t, QByteArray>;

// libpff's view of a file, through its C API.
class Oracle {
public:
    explicit Oracle(const QString& path)
    {
        EXPECT_EQ(libpff_file_initialize(&file_, nullptr), 1);
        ok_ = libpff_file_open(file_, QFile::encodeName(path).constData(), LIBPFF_OPEN_READ, nullptr) == 1;
    }
    ~Oracle()
    {
        if (ok_)
            libpff_file_close(file_, nullptr);
        libpff_file_free(&file_, nullptr);
    }
    bool ok() const { return ok_; }

    struct Item {
        libpff_item_t* p = nullptr;
        explicit Item(libpff_item_t* item)
            : p(item)
        {
        }
        ~Item()
        {
            if (p)
                libpff_item_free(&p, nullptr);
        }
        Item(const Item&) = delete;
    };

    std::unique_ptr<Item> byId(std::uint32_t nid) const
    {
        libpff_item_t* item = nullptr;
        if (libpff_file_get_item_by_identifier(file_, nid, &item, nullptr) != 1)
            return nullptr;
        return std::make_unique<Item>(item);
    }

    static std::uint32_t id(const Item& i)
    {
        uint32_t v = 0;
        libpff_item_get_identifier(i.p, &v, nullptr);
        return v;
    }

    // Every property of the item's first record set.
    static std::vector<Entry> properties(const Item& i)
    {
        std::vector<Entry> out;
        libpff_record_set_t* set = nullptr;
        if (libpff_item_get_record_set_by_index(i.p, 0, &set, nullptr) != 1)
            return out;
        int count = 0;
        libpff_record_set_get_number_of_entries(set, &count, nullptr);
        for (int k = 0; k < count; ++k) {
            libpff_record_entry_t* e = nullptr;
            if (libpff_record_set_get_entry_by_index(set, k, &e, nullptr) != 1)
                continue;
            uint32_t entryType = 0, valueType = 0;
            size_t size = 0;
            libpff_record_entry_get_entry_type(e, &entryType, nullptr);
            libpff_record_entry_get_value_type(e, &valueType, nullptr);
            QByteArray data;
            if (libpff_record_entry_get_data_size(e, &size, nullptr) == 1 && size > 0) {
                data.resize(qsizetype(size));
                libpff_record_entry_get_data(e, reinterpret_cast<uint8_t*>(data.data()), size, nullptr);
            }
            out.emplace_back(std::uint16_t(entryType), std::uint16_t(valueType), data);
            libpff_record_entry_free(&e, nullptr);
        }
        libpff_record_set_free(&set, nullptr);
        std::sort(out.begin(), out.end());
        return out;
    }

    static std::vector<std::uint32_t> subFolders(const Item& folder)
    {
        std::vector<std::uint32_t> out;
        int n = 0;
        libpff_folder_get_number_of_sub_folders(folder.p, &n, nullptr);
        for (int k = 0; k < n; ++k) {
            libpff_item_t* sub = nullptr;
            if (libpff_folder_get_sub_folder(folder.p, k, &sub, nullptr) == 1) {
                Item s(sub);
                out.push_back(id(s));
            }
        }
        return out;
    }

    static std::vector<std::uint32_t> messages(const Item& folder)
    {
        std::vector<std::uint32_t> out;
        int n = 0;
        libpff_folder_get_number_of_sub_messages(folder.p, &n, nullptr);
        for (int k = 0; k < n; ++k) {
            libpff_item_t* m = nullptr;
            if (libpff_folder_get_sub_message(folder.p, k, &m, nullptr) == 1) {
                Item s(m);
                out.push_back(id(s));
            }
        }
        return out;
    }

private:
    libpff_file_t* file_ = nullptr;
    bool ok_ = false;
};

std::vector<Entry> entries(const pst::PropertyBag& bag)
{
    std::vector<Entry> out;
    for (const pst::Property& p : bag.all())
        out.emplace_back(p.id, p.type, p.bytes());
    std::sort(out.begin(), out.end());
    return out;
}

std::vector<std::uint32_t> rowIds(pst::Ndb& ndb, std::uint32_t tableNid)
{
    std::vector<std::uint32_t> out;
    if (!ndb.findNode(tableNid))
        return out;
    pst::TableContext t(ndb, tableNid);
    for (std::size_t r = 0; r < t.rowCount(); ++r)
        out.push_back(t.cell32(r, 0x67F2).value_or(0));
    return out;
}

// Walks the folders below the top folder with both readers: the same
// subfolders in the same order, the same items in the same order, the same
// properties for every folder and item; and the store layer counts the same.
// Returns the number of items compared.
int expectAgreement(const QString& path)
{
    Oracle oracle(path);
    EXPECT_TRUE(oracle.ok()) << path;
    if (!oracle.ok())
        return 0;
    auto ndb = pst::Ndb::open(path);
    const RDOStore store = RDOSession::OpenPstFile(path);
    int items = 0;

    for (std::uint32_t special : {0x21u, 0x61u}) {
        if (auto item = oracle.byId(special)) {
            EXPECT_EQ(entries(pst::readPropertyContext(*ndb, special)), Oracle::properties(*item))
                << std::hex << special;
        }
    }

    std::function<void(const RDOFolder&, std::uint32_t)> walk = [&](const RDOFolder& folder, std::uint32_t nid) {
        const auto theirs = oracle.byId(nid);
        ASSERT_TRUE(theirs) << path << " folder " << std::hex << nid;
        EXPECT_EQ(entries(pst::readPropertyContext(*ndb, nid)), Oracle::properties(*theirs)) << std::hex << nid;

        std::vector<std::uint32_t> subs = Oracle::subFolders(*theirs);
        std::erase_if(subs, [](std::uint32_t id) { return (id & 0x1F) != 0x02; });
        std::vector<std::uint32_t> ours = rowIds(*ndb, (nid & ~0x1Fu) | 0x0D);
        std::erase_if(ours, [](std::uint32_t id) { return (id & 0x1F) != 0x02; });
        EXPECT_EQ(ours, subs) << path << " folder " << std::hex << nid;
        ASSERT_EQ(folder.FolderCount(), int(subs.size()));

        const std::vector<std::uint32_t> messages = Oracle::messages(*theirs);
        // The same items; libpff lists those of an offline file in another
        // order than their table's, which is the order read here.
        std::vector<std::uint32_t> ourItems = rowIds(*ndb, (nid & ~0x1Fu) | 0x0E), theirItems = messages;
        std::sort(ourItems.begin(), ourItems.end());
        std::sort(theirItems.begin(), theirItems.end());
        EXPECT_EQ(ourItems, theirItems) << path << " folder " << std::hex << nid;
        EXPECT_EQ(folder.Items().Count(), qint64(messages.size()));
        for (std::size_t k = 0; k < messages.size(); ++k) {
            const auto message = oracle.byId(messages[k]);
            ASSERT_TRUE(message);
            EXPECT_EQ(entries(pst::readPropertyContext(*ndb, messages[k])), Oracle::properties(*message))
                << path << " item " << std::hex << messages[k];
            EXPECT_NO_THROW(folder.Items().Item(qint64(k + 1)).MessageClass());
            ++items;
        }
        for (int i = 1; i <= folder.FolderCount(); ++i)
            walk(folder.Folder(i), subs[std::size_t(i - 1)]);
    };
    const RDOFolder top = store.IPMRootFolder();
    const QByteArray id = QByteArray::fromHex(top.EntryID().toLatin1());
    walk(top, qFromLittleEndian<quint32>(id.constData() + 20));
    return items;
}

}  // namespace

TEST_F(StoreTest, ReaderAgreesWithLibpffOnWrittenFiles)
{
    using pstwriter::PstEncoding;
    using pstwriter::PstFormat;
    using pstwriter::PstKind;
    struct Variant {
        PstFormat format;
        PstEncoding encoding;
        PstKind kind;
        int contacts;
        bool compress = false;
    };
    // The large ones give a contents table in a sub-node over several
    // blocks, multi-level node and block B-trees and bodies over data trees.
    // libpff reads files with 4 KiB pages and compressed blocks too.
    for (const Variant v : {Variant{PstFormat::Unicode4K, PstEncoding::Compressible, PstKind::Ost, 1500, true},
                            Variant{PstFormat::Unicode4K, PstEncoding::None, PstKind::Ost, 200},
                            Variant{PstFormat::Unicode4K, PstEncoding::Cyclic, PstKind::Pst, 200, true},
                            Variant{PstFormat::Unicode, PstEncoding::Compressible, PstKind::Pst, 1500},
                            Variant{PstFormat::Unicode, PstEncoding::None, PstKind::Pst, 200},
                            Variant{PstFormat::Unicode, PstEncoding::Cyclic, PstKind::Ost, 200},
                            Variant{PstFormat::Ansi, PstEncoding::None, PstKind::Pst, 200},
                            Variant{PstFormat::Ansi, PstEncoding::Compressible, PstKind::Ost, 200},
                            Variant{PstFormat::Ansi, PstEncoding::Cyclic, PstKind::Pst, 1500}}) {
        SCOPED_TRACE(testing::Message() << "format " << int(v.format) << " encoding " << int(v.encoding) << " kind "
                                        << int(v.kind) << " compressed " << v.compress);
        pstwriter::PstBuilder b;
        b.setFormat(v.format);
        b.setCompressBlocks(v.compress);
        b.setEncoding(v.encoding);
        b.setKind(v.kind);
        auto folder = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
        auto nested = b.addFolder(b.addFolder(folder, QStringLiteral("A"), QStringLiteral("IPF.Contact")),
                                  QStringLiteral("B"), QStringLiteral("IPF.Contact"));
        b.addFolder(b.ipmSubtree(), QStringLiteral("Mail"), QStringLiteral("IPF.Note"));
        pstwriter::ItemHandle first;
        for (int i = 0; i < v.contacts; ++i) {
            pstwriter::ContactData c;
            c.givenName = QStringLiteral("Given %1").arg(i);
            c.surname = v.format == PstFormat::Ansi ? QStringLiteral("Müller") : QString(i % 7, QChar(0x4E00 + i));
            c.email1Address = QStringLiteral("e%1@example.org").arg(i);
            c.children = QStringList{QStringLiteral("a"), QStringLiteral("b")};
            c.categories = QStringList{QStringLiteral("K%1").arg(i % 3)};
            c.body = QString(i % 300 == 0 ? 40000 : 10 + i % 100, QLatin1Char('a' + i % 26));
            c.bodyAsRtfOnly = i % 3 == 0;
            if (i % 5 == 0)
                c.birthday = QDateTime(QDate(1940 + i % 80, 1 + i % 12, 1 + i % 28), QTime(0, 0), Qt::UTC);
            pstwriter::ExtraProperty flag;
            flag.lid = 0x0E1B;  // a boolean
            flag.type = 0x000B;
            flag.integer = i % 2;
            c.extra.push_back(flag);
            auto h = b.addContact(i % 10 == 0 ? nested : folder, c);
            if (i == 0)
                first = h;
        }
        pstwriter::DistListData l;
        l.name = QStringLiteral("List");
        for (int i = 0; i < 100; ++i)
            l.members.push_back(pstwriter::DistListMember::reference(first, 1));
        b.addDistList(folder, l);
        b.addAssociatedMessage(folder, QStringLiteral("IPM.Hidden"));
        EXPECT_EQ(expectAgreement(write(b, v.kind == PstKind::Ost ? QStringLiteral("t.ost") : QStringLiteral("t.pst"))),
                  v.contacts + 1);
    }
}

namespace {

// The name of a folder as libpff reads it.
QString oracleName(const Oracle& oracle, std::uint32_t nid)
{
    for (const Entry& e : Oracle::properties(*oracle.byId(nid)))
        if (std::get<0>(e) == 0x3001 && std::get<1>(e) == 0x001F)
            return QString(reinterpret_cast<const QChar*>(std::get<2>(e).constData()), std::get<2>(e).size() / 2);
    return QString();
}

// The folder libpff reaches by these names from the root folder; 0 when none.
std::uint32_t oraclePath(const Oracle& oracle, const QStringList& names)
{
    std::uint32_t nid = 0x122;
    for (const QString& name : names) {
        const std::uint32_t parent = nid;
        nid = 0;
        for (std::uint32_t sub : Oracle::subFolders(*oracle.byId(parent)))
            if (oracleName(oracle, sub) == name)
                nid = sub;
        if (!nid)
            return 0;
    }
    return nid;
}

std::uint32_t nidOf(const RDOFolder& folder)
{
    const QByteArray id = QByteArray::fromHex(folder.EntryID().toLatin1());
    return qFromLittleEndian<quint32>(id.constData() + 20);
}

}  // namespace

// An Exchange offline file: the message store names no top folder and has no
// name of its own; the mailbox's tree hangs below "Root - Mailbox" in the
// root folder, and the node a .pst keeps its top in is some other folder.
TEST_F(StoreTest, ExchangeOfflineFileShowsTheMailboxTree)
{
    pstwriter::PstBuilder b;
    b.setKind(pstwriter::PstKind::Ost);
    b.setEncoding(pstwriter::PstEncoding::Compressible);
    b.setStoreDisplayName(QString());
    b.setStoreNamesSpecialFolders(false);
    b.setIpmSubtreeName(QStringLiteral("Calendar"));
    b.addFolder(b.rootFolder(), QStringLiteral("Root - Public"));
    auto mailbox = b.addFolder(b.rootFolder(), QStringLiteral("Root - Mailbox"));
    b.addFolder(mailbox, QStringLiteral("Finder"));
    auto ipm = b.addFolder(mailbox, QStringLiteral("IPM_SUBTREE"));
    auto contacts = b.addFolder(ipm, QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addFolder(ipm, QStringLiteral("Suggested Contacts"), QStringLiteral("IPF.Contact"));
    pstwriter::ContactData c;
    c.givenName = QStringLiteral("Offline");
    b.addContact(contacts, c);
    const QString path = write(b, QStringLiteral("cached.ost"));

    const RDOStore store = RDOSession::OpenPstFile(path);
    EXPECT_EQ(store.Name(), QStringLiteral("cached"));
    const RDOFolder top = store.IPMRootFolder();
    EXPECT_EQ(top.Name(), QStringLiteral("IPM_SUBTREE"));
    EXPECT_EQ(child(top, QStringLiteral("Contacts")).Items().Item(1).FirstName(), QStringLiteral("Offline"));
    EXPECT_EQ(child(top, QStringLiteral("Suggested Contacts")).DefaultMessageClass(), QStringLiteral("IPM.Contact"));
    Oracle oracle(path);
    ASSERT_TRUE(oracle.ok());
    EXPECT_EQ(nidOf(top), oraclePath(oracle, {QStringLiteral("Root - Mailbox"), QStringLiteral("IPM_SUBTREE")}));
    EXPECT_EQ(expectAgreement(path), 1);
}

namespace {

// Samples in folders of their own, with what is known of them.
struct KnownSample {
    const char* file;
    const char* password;  // public test data (see the samples' README)
};
constexpr KnownSample kKnownSamples[] = {
    {"exchange/cached-mode.ost", nullptr},
    {"protected/unicode.pst", "test"},
    {"protected/cyclic.pst", "quickquick"},
    {"protected/ansi.pst", "pass12345"},
};

}  // namespace

// The real offline file: its tree is the mailbox's IPM_SUBTREE, as libpff
// reaches it, with the two contact folders libpff shows.
TEST(ReaderSamples, ExchangeOfflineFileAgreesWithLibpff)
{
    const QString path = QStringLiteral(PELLARO_SHARED_DIR "/samples/exchange/cached-mode.ost");
    if (!QFile::exists(path))
        GTEST_SKIP() << "no " << path.toStdString();
    const RDOStore store = RDOSession::OpenPstFile(path);
    EXPECT_EQ(store.Name(), QStringLiteral("cached-mode"));
    const RDOFolder top = store.IPMRootFolder();
    Oracle oracle(path);
    ASSERT_TRUE(oracle.ok());
    EXPECT_EQ(nidOf(top), oraclePath(oracle, {QStringLiteral("Root - Mailbox"), QStringLiteral("IPM_SUBTREE")}));
    QStringList contactFolders;
    for (int i = 1; i <= top.FolderCount(); ++i)
        if (top.Folder(i).DefaultMessageClass() == QStringLiteral("IPM.Contact"))
            contactFolders << top.Folder(i).Name();
    EXPECT_EQ(contactFolders, (QStringList{QStringLiteral("Contacts"), QStringLiteral("Suggested Contacts")}));
}

TEST(ReaderSamples, AgreeWithLibpffOnFilesOtherProgramsWrote)
{
    const QDir dir(QStringLiteral(PELLARO_SHARED_DIR "/samples"));
    QStringList files = dir.entryList({QStringLiteral("*.pst"), QStringLiteral("*.ost")}, QDir::Files);
    for (const KnownSample& k : kKnownSamples)
        if (dir.exists(QLatin1String(k.file))) {
            files << QLatin1String(k.file);
            if (k.password)
                RememberPassword(dir.filePath(QLatin1String(k.file)), QLatin1String(k.password));
        }
    if (files.isEmpty())
        GTEST_SKIP() << "no samples in " << dir.path().toStdString();
    for (const QString& f : files) {
        SCOPED_TRACE(f.toStdString());
        expectAgreement(dir.filePath(f));
        // readpst, where present, as a second opinion on how many contacts
        // the file holds.
        if (QStandardPaths::findExecutable(QStringLiteral("readpst")).isEmpty())
            continue;
        TestHome out;
        QProcess readpst;
        readpst.start(QStringLiteral("readpst"),
                      {QStringLiteral("-cv"), QStringLiteral("-tc"), QStringLiteral("-q"), QStringLiteral("-o"),
                       out.path(), dir.filePath(f)});
        ASSERT_TRUE(readpst.waitForFinished(60000));
        int cards = 0;
        QDirIterator it(out.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            cards += int(readAll(it.next()).count("BEGIN:VCARD"));
        int contacts = 0;
        std::function<void(const RDOFolder&)> count = [&](const RDOFolder& folder) {
            for (qint64 k = 1; k <= folder.Items().Count(); ++k)
                contacts += folder.Items().Item(k).MessageClass().startsWith(QStringLiteral("IPM.Contact"));
            for (int i = 1; i <= folder.FolderCount(); ++i)
                count(folder.Folder(i));
        };
        count(RDOSession::OpenPstFile(dir.filePath(f)).IPMRootFolder());
        EXPECT_EQ(contacts, cards);
    }
    ForgetPasswords();
}

namespace {

// Every value the conversion reads of every item, keyed by folder path and
// position; a member that cannot be resolved reads "-".
std::map<QString, QStringList> everyValue(const QString& path)
{
    std::map<QString, QStringList> out;
    const RDOStore store = RDOSession::OpenPstFile(path);
    std::function<void(const RDOFolder&, const QString&)> walk = [&](const RDOFolder& f, const QString& where) {
        for (qint64 k = 1; k <= f.Items().Count(); ++k) {
            const RDOItem i = f.Items().Item(k);
            QStringList v;
            for (QString (RDOItem::*value)() const : {&RDOItem::MessageClass,
                                                      &RDOItem::Body,
                                                      &RDOItem::Categories,
                                                      &RDOItem::FirstName,
                                                      &RDOItem::MiddleName,
                                                      &RDOItem::LastName,
                                                      &RDOItem::Suffix,
                                                      &RDOItem::Title,
                                                      &RDOItem::Email1Address,
                                                      &RDOItem::Email2Address,
                                                      &RDOItem::Email3Address,
                                                      &RDOItem::CompanyName,
                                                      &RDOItem::JobTitle,
                                                      &RDOItem::BusinessAddressStreet,
                                                      &RDOItem::BusinessAddressCity,
                                                      &RDOItem::BusinessAddressPostalCode,
                                                      &RDOItem::BusinessAddressState,
                                                      &RDOItem::BusinessAddressCountry,
                                                      &RDOItem::OfficeLocation,
                                                      &RDOItem::WebPage,
                                                      &RDOItem::Department,
                                                      &RDOItem::ManagerName,
                                                      &RDOItem::AssistantName,
                                                      &RDOItem::BusinessTelephoneNumber,
                                                      &RDOItem::BusinessFaxNumber,
                                                      &RDOItem::MobileTelephoneNumber,
                                                      &RDOItem::PagerNumber,
                                                      &RDOItem::HomeAddressStreet,
                                                      &RDOItem::HomeAddressCity,
                                                      &RDOItem::HomeAddressPostalCode,
                                                      &RDOItem::HomeAddressState,
                                                      &RDOItem::HomeAddressCountry,
                                                      &RDOItem::Spouse,
                                                      &RDOItem::Children,
                                                      &RDOItem::HomeTelephoneNumber,
                                                      &RDOItem::HomeFaxNumber,
                                                      &RDOItem::DLName})
                v << (i.*value)();
            v << i.Birthday().toString(Qt::ISODate) << i.Anniversary().toString(Qt::ISODate);
            for (int m = 1; m <= i.MemberCount(); ++m) {
                try {
                    v << i.MemberText(m);
                } catch (const OutlookError&) {
                    v << QStringLiteral("-");
                }
            }
            out[where + '/' + QString::number(k)] = v;
        }
        for (int s = 1; s <= f.FolderCount(); ++s)
            walk(f.Folder(s), where + '/' + f.Folder(s).Name());
    };
    walk(store.IPMRootFolder(), store.Name());
    return out;
}

}  // namespace

// The same store written with 512-byte pages and with 4 KiB pages (blocks
// compressed or not) reads the same, value by value, in every encoding.
TEST_F(StoreTest, FilesWith4KiBPagesReadLikeTheir512ByteTwins)
{
    using pstwriter::PstEncoding;
    using pstwriter::PstFormat;
    const auto fill = [](pstwriter::PstBuilder& b) {
        b.setStoreDisplayName(QStringLiteral("Twins"));
        auto folder = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
        auto sub = b.addFolder(folder, QStringLiteral("Sub"), QStringLiteral("IPF.Contact"));
        std::vector<pstwriter::ItemHandle> made;
        for (int i = 0; i < 1200; ++i) {
            pstwriter::ContactData c;
            c.givenName = QStringLiteral("Given %1").arg(i);
            c.surname = QString(1 + i % 5, QChar(0x4E00 + i));
            c.displayName = c.givenName + ' ' + c.surname;
            c.email1Address = QStringLiteral("e%1@example.org").arg(i);
            c.email3Address = QStringLiteral("third%1@example.org").arg(i);
            c.workCity = QStringLiteral("Zürich");
            c.homeStreet = QStringLiteral("Line 1\r\nLine 2");
            c.mobilePhone = QStringLiteral("+41 %1").arg(i);
            c.children = QStringList{QStringLiteral("a"), QStringLiteral("b%1").arg(i)};
            c.categories = QStringList{QStringLiteral("K%1").arg(i % 3)};
            // A body over two 64 KiB blocks now and then, the rest small.
            c.body = i % 400 == 0 ? QString(40000, QLatin1Char('a' + i % 26)) : QStringLiteral("note %1").arg(i);
            c.bodyAsRtfOnly = i % 7 == 0;
            if (i % 5 == 0)
                c.birthday = QDateTime(QDate(1940 + i % 80, 1 + i % 12, 1 + i % 28), QTime(0, 0), Qt::UTC);
            made.push_back(b.addContact(i % 10 == 0 ? sub : folder, c));
        }
        pstwriter::DistListData l;
        l.name = QStringLiteral("List");
        for (int i = 0; i < 50; ++i)
            l.members.push_back(pstwriter::DistListMember::reference(made[std::size_t(i * 7)], 1 + i % 3));
        l.members.push_back(pstwriter::DistListMember::oneOff(QStringLiteral("Bob"), QStringLiteral("SMTP"),
                                                              QStringLiteral("bob@example.org")));
        l.members.push_back(pstwriter::DistListMember::dangling());
        b.addDistList(folder, l);
    };
    for (PstEncoding encoding : {PstEncoding::None, PstEncoding::Compressible, PstEncoding::Cyclic}) {
        SCOPED_TRACE(testing::Message() << "encoding " << int(encoding));
        pstwriter::PstBuilder small;
        small.setEncoding(encoding);
        fill(small);
        const auto expected = everyValue(write(small, QStringLiteral("small.pst")));
        ASSERT_EQ(expected.size(), 1201u);
        qint64 sizes[2] = {};
        for (bool compress : {false, true}) {
            pstwriter::PstBuilder large;
            large.setFormat(PstFormat::Unicode4K);
            large.setEncoding(encoding);
            large.setCompressBlocks(compress);
            fill(large);
            const QString path = write(large, QStringLiteral("large.pst"));
            EXPECT_EQ(everyValue(path), expected) << "compressed " << compress;
            struct stat st { };
            ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
            sizes[compress] = qint64(st.st_blocks);
        }
        // Compression took: the data takes fewer disk blocks (the cyclic
        // encoding leaves little to compress but the blocks listing others).
        if (encoding == PstEncoding::Cyclic)
            EXPECT_LE(sizes[1], sizes[0]);
        else
            EXPECT_LT(sizes[1], sizes[0]);
    }
}
