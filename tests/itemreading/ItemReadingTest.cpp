#include "export/DateText.h"
#include "export/ItemReading.h"
#include "export/BookValues.h"
#include "tests/support/TempDir.h"
#include "PstWriter.h"

#include <gtest/gtest.h>

#include <QLocale>

#include <memory>
#include <ostream>

using namespace outlook;
using pstwriter::ContactData;
using pstwriter::DistListData;
using pstwriter::DistListMember;
using pstwriter::PstBuilder;

inline std::ostream& operator<<(std::ostream& os, const QString& s)
{
    return os << s.toStdString();
}

namespace {

// The user's regional settings for one test.
class LocaleScope {
public:
    explicit LocaleScope(const QLocale& l) { QLocale::setDefault(l); }
    ~LocaleScope() { QLocale::setDefault(m_before); }

private:
    QLocale m_before;
};

class ItemReadingTest : public ::testing::Test {
protected:
    TestHome home;
    LocaleScope us{QLocale(QLocale::English, QLocale::UnitedStates)};
    PstBuilder b;
    pstwriter::FolderHandle folder
        = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    std::unique_ptr<RDOStore> store;

    RDOItems open()
    {
        const QString path = home.file(QStringLiteral("reading.pst"));
        b.registerNamedProperty(pstwriter::psetidAddress(), 0x8083);
        b.write(path);
        store = std::make_unique<RDOStore>(RDOSession::OpenPstFile(path));
        RDOFolder top = store->IPMRootFolder();
        for (int i = 1; i <= top.FolderCount(); ++i)
            if (top.Folder(i).Name() == QStringLiteral("Contacts"))
                return top.Folder(i).Items();
        throw std::runtime_error("no contacts folder");
    }
};

}  // namespace

TEST_F(ItemReadingTest, FieldsComeInOrderAndFirstAddressTwice)
{
    ContactData c;
    c.givenName = QStringLiteral(" Ann ");
    c.middleName = QStringLiteral("M");
    c.surname = QStringLiteral("O'Neil");
    c.generation = QStringLiteral("III");
    c.displayNamePrefix = QStringLiteral("Ms.");
    c.email1Address = QStringLiteral("ann@example.org");
    c.companyName = QStringLiteral("Co");
    c.jobTitle = QStringLiteral("Boss");
    c.workStreet = QStringLiteral("WS");
    c.workCity = QStringLiteral("WC");
    c.workPostalCode = QStringLiteral("WZ");
    c.workState = QStringLiteral("WSt");
    c.workCountry = QStringLiteral("WCo");
    c.officeLocation = QStringLiteral("Loc");
    c.webPage = QStringLiteral("http://w");
    c.department = QStringLiteral("Dep");
    c.managerName = QStringLiteral("Man");
    c.assistantName = QStringLiteral("Ass");
    c.businessPhone = QStringLiteral("BP");
    c.businessFax = QStringLiteral("BF");
    c.mobilePhone = QStringLiteral("MP");
    c.pager = QStringLiteral("PG");
    c.homeStreet = QStringLiteral("HS");
    c.homeCity = QStringLiteral("HC");
    c.homePostalCode = QStringLiteral("HZ");
    c.homeState = QStringLiteral("HSt");
    c.homeCountry = QStringLiteral("HCo");
    c.spouse = QStringLiteral("Sp");
    c.children = QStringList{QStringLiteral("C1"), QStringLiteral("C2"), QStringLiteral("C3")};
    c.homePhone = QStringLiteral("HP");
    c.homeFax = QStringLiteral("HF");
    c.body = QStringLiteral("Notes");
    c.categories = QStringList{QStringLiteral("A"), QStringLiteral("B")};
    b.addContact(folder, c);

    const PersonFields f = ReadPersonFields(open().Item(1));
    const QStringList got{
        f.elotus_FirstName,       f.elotus_MiddleName,      f.elotus_LastName,     f.elotus_Suffix,
        f.elotus_Title,           f.elotus_Email,           f.elotus_Company,      f.elotus_JobTitle,
        f.elotus_BusinessStreet,  f.elotus_BusinessCity,    f.elotus_BusinessZip,  f.elotus_BusinessState,
        f.elotus_BusinessCountry, f.elotus_Location,        f.elotus_WebPage,      f.elotus_Department,
        f.elotus_Manager,         f.elotus_Assistant,       f.elotus_OfficePhone,  f.elotus_OfficeFax,
        f.elotus_CellPhone,       f.elotus_Pager,           f.elotus_OtherEmail1,  f.elotus_OtherEmail2,
        f.elotus_OtherEmail3,     f.elotus_PersonalStreet,  f.elotus_PersonalCity, f.elotus_PersonalZip,
        f.elotus_PersonalState,   f.elotus_PersonalCountry, f.elotus_Spouse,       f.elotus_Childern,
        f.elotus_HomePhone,       f.elotus_HomeFax,         f.elotus_BirthDay,     f.elotus_Anniversary,
        f.elotus_Comments,        f.elotus_Categories};
    const QStringList want{" Ann ",
                           "M",
                           "O'Neil",
                           "III",
                           "Ms.",
                           "ann@example.org",
                           "Co",
                           "Boss",
                           "WS",
                           "WC",
                           "WZ",
                           "WSt",
                           "WCo",
                           "Loc",
                           "http://w",
                           "Dep",
                           "Man",
                           "Ass",
                           "BP",
                           "BF",
                           "MP",
                           "PG",
                           "ann@example.org",
                           "",
                           "",
                           "HS",
                           "HC",
                           "HZ",
                           "HSt",
                           "HCo",
                           "Sp",
                           "C1, C2, C3",
                           "HP",
                           "HF",
                           "",
                           "",
                           "Notes",
                           "A, B"};
    EXPECT_EQ(got, want);
}

TEST_F(ItemReadingTest, DatesUseTheShortDateFormAndTimeOnlyWhenNotMidnight)
{
    const QDateTime midnight(QDate(1975, 12, 24), QTime(0, 0), Qt::LocalTime);
    EXPECT_EQ(DateToText(midnight), QStringLiteral("12/24/1975"));
    const QDateTime evening(QDate(1975, 12, 24), QTime(23, 59), Qt::LocalTime);
    EXPECT_EQ(DateToText(evening),
              QStringLiteral("12/24/1975 ") + QLocale().toString(QTime(23, 59), QLocale::ShortFormat));
    const QDateTime minuteAfter(QDate(1975, 12, 24), QTime(0, 1), Qt::LocalTime);
    EXPECT_NE(DateToText(minuteAfter), DateToText(midnight));
    EXPECT_TRUE(DateToText(minuteAfter).startsWith(DateToText(midnight) + QLatin1Char(' ')));
    // Seconds are not lost.
    const QDateTime seconds(QDate(1975, 12, 24), QTime(10, 0, 30), Qt::LocalTime);
    EXPECT_TRUE(DateToText(seconds).contains(QStringLiteral("30")));
}

TEST_F(ItemReadingTest, DatesKeepTheirCenturyAndReadBack)
{
    // The short forms of en_US, de_DE and ko_KR have two-digit years; ja_JP's
    // has four already.
    struct Case {
        QLocale locale;
        QString y1947, y2047;
    };
    const Case cases[] = {
        {QLocale(QLocale::English, QLocale::UnitedStates), QStringLiteral("5/17/1947"), QStringLiteral("5/17/2047")},
        {QLocale(QLocale::German, QLocale::Germany), QStringLiteral("17.05.1947"), QStringLiteral("17.05.2047")},
        {QLocale(QLocale::Korean, QLocale::SouthKorea), QStringLiteral("1947. 5. 17."), QStringLiteral("2047. 5. 17.")},
        {QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("1947/05/17"), QStringLiteral("2047/05/17")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString());
        LocaleScope scope(c.locale);
        const QDate old(1947, 5, 17), future(2047, 5, 17);
        EXPECT_EQ(DateToText(QDateTime(old, QTime(0, 0))), c.y1947);
        EXPECT_EQ(DateToText(QDateTime(future, QTime(0, 0))), c.y2047);
        // The vCard export reads them back, as it reads books written with
        // the two-digit form.
        EXPECT_EQ(exporting::parseBookDate(c.y1947, c.locale)->date(), old);
        EXPECT_EQ(exporting::parseBookDate(c.y2047, c.locale)->date(), future);
        const QString withTime = DateToText(QDateTime(future, QTime(14, 30)));
        EXPECT_EQ(exporting::parseBookDate(withTime, c.locale), QDateTime(future, QTime(14, 30))) << withTime;
        EXPECT_EQ(exporting::parseBookDate(c.locale.toString(old, QLocale::ShortFormat), c.locale)->date(), old);
    }
}

TEST_F(ItemReadingTest, DatesAreWrittenAsTheLocaleWritesThemInEveryLocale)
{
    // Dates are written without QLocale where the form allows; the text must
    // be QLocale's own in every locale: every month and day of the week,
    // numbers of one and two digits, years before 1000, times with and
    // without seconds.
    QList<QDate> dates = {QDate(1601, 1, 1), QDate(999, 10, 31)};
    for (int month = 1; month <= 12; ++month)
        dates.append(QDate(1940 + month, month, 2 * month + 1));
    const QTime times[] = {QTime(0, 0), QTime(9, 5), QTime(23, 59, 30)};
    QList<QLocale> locales = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    locales.append(QLocale::c());
    ASSERT_GT(locales.size(), 100);
    for (const QLocale& locale : locales) {
        LocaleScope scope(locale);
        const QString form = FullYearDateFormat(locale);
        QString withSeconds = locale.timeFormat(QLocale::LongFormat);
        withSeconds = withSeconds.remove(QLatin1Char('t')).trimmed();
        for (const QDate& date : dates) {
            for (const QTime& time : times) {
                QString want = locale.toString(date, form);
                if (time != QTime(0, 0))
                    want += QLatin1Char(' ')
                        + locale.toString(time, time.second() ? withSeconds : locale.timeFormat(QLocale::ShortFormat));
                EXPECT_EQ(DateToText(QDateTime(date, time)), want) << locale.name();
            }
        }
    }
}

TEST_F(ItemReadingTest, NoDateBecomesEmptyText)
{
    // Outlook's placeholder for a missing date must not be written as a date.
    EXPECT_EQ(DateToText(QDateTime(QDate(4501, 1, 1), QTime(0, 0), Qt::LocalTime)), QString());
    ContactData c;
    c.givenName = QStringLiteral("No dates");
    b.addContact(folder, c);
    ContactData d;
    d.birthday = QDateTime(QDate(1980, 5, 17), QTime(0, 0), Qt::LocalTime);
    b.addContact(folder, d);
    RDOItems items = open();
    const PersonFields none = ReadPersonFields(items.Item(1));
    EXPECT_EQ(none.elotus_BirthDay, QString());
    EXPECT_EQ(none.elotus_Anniversary, QString());
    const PersonFields some = ReadPersonFields(items.Item(2));
    EXPECT_EQ(some.elotus_BirthDay, QStringLiteral("5/17/1980"));
}

TEST_F(ItemReadingTest, AnUnreadableValueFailsTheWholeContact)
{
    ContactData c;
    c.givenName = QStringLiteral("Broken");
    // A value of another type is read (as absent); a compressed RTF body
    // that does not decompress cannot be.
    pstwriter::ExtraProperty bad;
    bad.lid = 0x1009;
    bad.type = 0x0102;
    bad.binary = QByteArray::fromHex("10000000"
                                     "20000000"
                                     "4C5A4675"
                                     "00000000")
        + QByteArray(16, '\xFF');
    c.extra.push_back(bad);
    b.addContact(folder, c);
    EXPECT_THROW(ReadPersonFields(open().Item(1)), OutlookError);
}

TEST_F(ItemReadingTest, MemberTextQuotesEachMemberAndLeavesOutUnreadableOnes)
{
    ContactData ann;
    ann.displayName = QStringLiteral("Ann Lee");
    ann.email1Address = QStringLiteral("ann@example.org");
    auto annItem = b.addContact(folder, ann);
    DistListData list;
    list.name = QStringLiteral("Team");
    list.body = QStringLiteral("The team");
    list.members.push_back(DistListMember::reference(annItem, 1));
    list.members.push_back(DistListMember::dangling());
    list.members.push_back(DistListMember::oneOff(QStringLiteral("O'Brien"), QStringLiteral("SMTP"), QString()));
    list.members.push_back(DistListMember::oneOff(QString(), QStringLiteral("SMTP"), QStringLiteral("b@x.org")));
    b.addDistList(folder, list);
    DistListData empty;
    empty.name = QStringLiteral("Empty");
    b.addDistList(folder, empty);

    RDOItems items = open();
    RDOItem l = items.Item(2);
    EXPECT_EQ(l.MessageClass(), QStringLiteral("IPM.DistList"));
    EXPECT_EQ(ReadMemberText(l), QStringLiteral("'Ann Lee <ann@example.org>' 'O'Brien' 'b@x.org' "));
    EXPECT_EQ(ReadMemberText(items.Item(3)), QString());
}
