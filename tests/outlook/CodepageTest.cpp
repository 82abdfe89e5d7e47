// 8-bit text in the code page the item, the store or the user names, in
// that order, and Windows-1252 only where none does.
#include "Fixture.h"

#include "source/outlook/Codepage.h"
#include "source/outlook/Ndb.h"
#include "source/outlook/PropertyContext.h"
#include "source/outlook/TableContext.h"

#include <QtEndian>

using namespace outlook;
using pstwriter::PstBuilder;

namespace {

constexpr std::uint16_t kLocaleId = 0x3FF1;  // PidTagMessageLocaleId
constexpr std::uint16_t kCodepage = 0x3FFD;  // PidTagMessageCodepage

pstwriter::ExtraProperty longValue(std::uint16_t id, int value)
{
    pstwriter::ExtraProperty p;
    p.lid = id;
    p.type = 0x0003;
    p.integer = value;
    return p;
}

// An ANSI file written in `codepage` whose items name no code page.
struct AnsiFile {
    PstBuilder b;
    pstwriter::FolderHandle folder;
    AnsiFile(int codepage, const QString& storeName, const QString& folderName)
    {
        b.setFormat(pstwriter::PstFormat::Ansi);
        b.setCodePage(codepage);
        b.setWriteMessageCodepage(false);
        b.setStoreDisplayName(storeName);
        folder = b.addFolder(b.ipmSubtree(), folderName, QStringLiteral("IPF.Contact"));
    }
    void contact(const QString& given, const QString& surname, std::vector<pstwriter::ExtraProperty> extra = {})
    {
        pstwriter::ContactData c;
        c.givenName = given;
        c.surname = surname;
        c.extra = std::move(extra);
        b.addContact(folder, c);
    }
};

QString codePoints(const QString& s)
{
    QStringList out;
    for (QChar c : s)
        out << QString::number(c.unicode(), 16).toUpper();
    return out.join(u' ');
}

}  // namespace

// A Japanese Outlook's ANSI file: items carry their locale (0x0411), not
// their code page. Their texts, and the names of the store and its folders
// (the locale most items carry), are code page 932 as Microsoft maps it; an
// item's own PidTagMessageCodepage comes before its locale.
TEST_F(StoreTest, JapaneseAnsiFileReadsByTheLocaleItsItemsCarry)
{
    AnsiFile f(932, QStringLiteral("個人用フォルダ"), QStringLiteral("連絡先"));
    f.contact(QStringLiteral("コム"), QStringLiteral("①＼～"), {longValue(kLocaleId, 0x0411)});
    f.contact(QStringLiteral("コム"), QString(), {longValue(kLocaleId, 0x0411), longValue(kCodepage, 1252)});
    f.contact(QStringLiteral("連"), QString(), {longValue(kLocaleId, 0x0411)});
    const QString path = write(f.b);

    // The bytes in the file are Shift_JIS as code page 932 has them.
    auto ndb = pst::Ndb::open(path);
    RDOStore store = RDOSession::OpenPstFile(path);
    const RDOFolder folder = child(store.IPMRootFolder(), QStringLiteral("連絡先"));
    const QByteArray id = QByteArray::fromHex(folder.EntryID().toLatin1());
    pst::TableContext table(*ndb, (qFromLittleEndian<quint32>(id.constData() + 20) & ~0x1Fu) | 0x0E);
    const pst::PropertyBag first = pst::readPropertyContext(*ndb, *table.cell32(0, 0x67F2));
    EXPECT_EQ(first.find(0x3A06)->bytes(), QByteArray("\x83\x52\x83\x80"));
    EXPECT_EQ(first.find(0x3A11)->bytes(), QByteArray("\x87\x40\x81\x5F\x81\x60"));

    EXPECT_EQ(store.Name(), QStringLiteral("個人用フォルダ"));
    RDOItem a = folder.Items().Item(1);
    EXPECT_EQ(a.FirstName(), QStringLiteral("コム"));
    // NEC row 13, and the two code points where code page 932 differs from JIS.
    EXPECT_EQ(codePoints(a.LastName()), QStringLiteral("2460 FF3C FF5E"));
    EXPECT_EQ(folder.Items().Item(2).FirstName(), QStringLiteral("ƒRƒ€"));
}

// A Russian file records its locale on the message store; its items carry
// none. The store's locale decides for items and names, before the code page
// the user names.
TEST_F(StoreTest, StoreLocaleDecidesWhereItemsNameNone)
{
    AnsiFile f(1251, QStringLiteral("Личные папки"), QStringLiteral("Контакты"));
    f.b.addStoreProperty(longValue(kLocaleId, 0x0419));
    f.contact(QStringLiteral("Иван"), QStringLiteral("Петров"));
    const QString path = write(f.b);
    SetUserCodepage(1253);
    RDOStore store = RDOSession::OpenPstFile(path);
    SetUserCodepage(0);
    EXPECT_EQ(store.Name(), QStringLiteral("Личные папки"));
    const RDOFolder folder = child(store.IPMRootFolder(), QStringLiteral("Контакты"));
    EXPECT_EQ(folder.Items().Item(1).FirstName() + u' ' + folder.Items().Item(1).LastName(),
              QStringLiteral("Иван Петров"));
}

// Where neither item nor store names a code page: the user's, else the one of
// the user's locale, else Windows-1252.
TEST_F(StoreTest, UserCodepageDecidesWhereTheFileNamesNone)
{
    AnsiFile f(1253, QStringLiteral("Αρχεία"), QStringLiteral("Επαφές"));
    f.contact(QStringLiteral("Δημήτρης"), QString());
    const QString path = write(f.b);
    const QByteArray bytes("\xC4\xE7\xEC\xDE\xF4\xF1\xE7\xF2");
    const int fallback = pst::userLocaleCodepage() ? pst::userLocaleCodepage() : 1252;
    {
        RDOStore store = RDOSession::OpenPstFile(path);
        EXPECT_EQ(store.IPMRootFolder().Folder(2).Items().Item(1).FirstName(),
                  pst::decodeCodepage(bytes.constData(), bytes.size(), fallback));
    }
    SetUserCodepage(ParseCodepage(QStringLiteral("windows-1253")));
    RDOStore store = RDOSession::OpenPstFile(path);
    EXPECT_EQ(store.Name(), QStringLiteral("Αρχεία"));
    EXPECT_EQ(child(store.IPMRootFolder(), QStringLiteral("Επαφές")).Items().Item(1).FirstName(),
              QStringLiteral("Δημήτρης"));
    SetUserCodepage(0);
}

TEST(Codepages, NamesLocalesAndLocaleIdsGiveTheirAnsiCodePage)
{
    EXPECT_EQ(ParseCodepage(QStringLiteral("932")), 932);
    EXPECT_EQ(ParseCodepage(QStringLiteral("cp932")), 932);
    EXPECT_EQ(ParseCodepage(QStringLiteral("Shift_JIS")), 932);
    EXPECT_EQ(ParseCodepage(QStringLiteral("WINDOWS-1251")), 1251);
    EXPECT_EQ(ParseCodepage(QStringLiteral("koi8-r")), 20866);
    EXPECT_EQ(ParseCodepage(QStringLiteral("utf-8")), 65001);
    for (const char* bad : {"", "klingon", "99999", "cp", "-1252"}) {
        try {
            ParseCodepage(QLatin1String(bad));
            ADD_FAILURE() << bad;
        } catch (const OutlookError& e) {
            EXPECT_EQ(e.cause(), Cause::NotFound);
        }
    }
    EXPECT_THROW(SetUserCodepage(12345), OutlookError);

    const std::pair<std::uint32_t, int> lcids[] = {
        {0x0411, 932},  {0x0419, 1251}, {0x0408, 1253}, {0x0804, 936},  {0x0404, 950},  {0x0412, 949},
        {0x0415, 1250}, {0x041F, 1254}, {0x040D, 1255}, {0x0401, 1256}, {0x0426, 1257}, {0x042A, 1258},
        {0x041E, 874},  {0x0409, 1252}, {0x0C1A, 1251}, {0x081A, 1250}, {0x082C, 1251}, {0x0439, 0},
    };
    for (const auto& [lcid, cp] : lcids)
        EXPECT_EQ(pst::ansiCodepageOfLcid(lcid), cp) << std::hex << lcid;
    const std::pair<const char*, int> locales[] = {
        {"ja_JP.UTF-8", 932},  {"ru_RU.UTF-8", 1251},  {"el_GR", 1253},
        {"zh_TW.UTF-8", 950},  {"zh_CN.GB18030", 936}, {"sr_RS", 1251},
        {"sr_RS@latin", 1250}, {"de_DE@euro", 1252},   {"C", 0},
        {"POSIX", 0},          {"C.UTF-8", 0},
    };
    for (const auto& [name, cp] : locales)
        EXPECT_EQ(pst::ansiCodepageOfLocale(name), cp) << name;
}
