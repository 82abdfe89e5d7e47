#include "Fixture.h"

#include <cstdlib>
#include <ctime>

using namespace outlook;
using pstwriter::ContactData;
using pstwriter::PstBuilder;

namespace {

// Sets TZ for one test and puts it back afterwards.
class TimeZone {
public:
    explicit TimeZone(const char* tz)
    {
        if (const char* old = std::getenv("TZ")) {
            had_ = true;
            old_ = old;
        }
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TimeZone()
    {
        if (had_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool had_ = false;
    std::string old_;
};

ContactData everyValue()
{
    ContactData c;
    c.givenName = QStringLiteral("Zoë");
    c.middleName = QStringLiteral(" Ann ");
    c.surname = QStringLiteral("O'Brien");
    c.generation = QStringLiteral("Jr.");
    c.displayNamePrefix = QStringLiteral("Dr.");
    c.displayName = QStringLiteral("Dr. Zoë O'Brien");
    c.email1Address = QStringLiteral("zoe@example.org");
    c.email2Address = QStringLiteral("zoe.obrien@example.com");
    c.email3Address = QStringLiteral("z@example.net");
    c.companyName = QStringLiteral("Ōkami & Söhne");
    c.jobTitle = QStringLiteral("Chief 'Everything' Officer");
    c.workStreet = QStringLiteral("1 Main St\r\nSuite 2");
    c.workCity = QStringLiteral("Zürich");
    c.workPostalCode = QStringLiteral("8001");
    c.workState = QStringLiteral("ZH");
    c.workCountry = QStringLiteral("Switzerland");
    c.officeLocation = QStringLiteral("Building 7");
    c.webPage = QStringLiteral("https://example.org/~zoe");
    c.department = QStringLiteral("R&D");
    c.managerName = QStringLiteral("Märta");
    c.assistantName = QStringLiteral("Bob");
    c.businessPhone = QStringLiteral("+41 44 000 00 00");
    c.businessFax = QStringLiteral("+41 44 000 00 01");
    c.mobilePhone = QStringLiteral("+41 79 000 00 00");
    c.pager = QStringLiteral("12345");
    c.homeStreet = QStringLiteral("Rue 9");
    c.homeCity = QStringLiteral("Genève");
    c.homePostalCode = QStringLiteral("1201");
    c.homeState = QStringLiteral("GE");
    c.homeCountry = QStringLiteral("Suisse");
    c.spouse = QStringLiteral("李小龍");
    c.children = QStringList{QStringLiteral("Ann"), QStringLiteral("Ben")};
    c.homePhone = QStringLiteral("+41 22 000 00 00");
    c.homeFax = QStringLiteral("+41 22 000 00 01");
    c.body = QStringLiteral("Line one\r\nLine 'two' 😀");
    c.categories = QStringList{QStringLiteral("Friends"), QStringLiteral("VIP")};
    return c;
}

}  // namespace

class ContactTest : public StoreTest {
protected:
    // Writes the contacts into one folder and returns its items.
    RDOItems itemsOf(PstBuilder& b, const std::vector<ContactData>& contacts)
    {
        auto folder = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
        for (const ContactData& c : contacts)
            b.addContact(folder, c);
        store_ = std::make_unique<RDOStore>(RDOSession::OpenPstFile(write(b)));
        return child(store_->IPMRootFolder(), QStringLiteral("Contacts")).Items();
    }
    std::unique_ptr<RDOStore> store_;
};

TEST_F(ContactTest, EveryValueRoundTrips)
{
    PstBuilder b;
    const ContactData c = everyValue();
    RDOItem item = itemsOf(b, {c}).Item(1);
    EXPECT_EQ(item.MessageClass(), QStringLiteral("IPM.Contact"));
    EXPECT_EQ(item.FirstName(), c.givenName);
    EXPECT_EQ(item.MiddleName(), c.middleName);
    EXPECT_EQ(item.LastName(), c.surname);
    EXPECT_EQ(item.Suffix(), c.generation);
    EXPECT_EQ(item.Title(), c.displayNamePrefix);
    EXPECT_EQ(item.Email1Address(), c.email1Address);
    EXPECT_EQ(item.Email2Address(), c.email2Address);
    EXPECT_EQ(item.Email3Address(), c.email3Address);
    EXPECT_EQ(item.CompanyName(), c.companyName);
    EXPECT_EQ(item.JobTitle(), c.jobTitle);
    EXPECT_EQ(item.BusinessAddressStreet(), c.workStreet);
    EXPECT_EQ(item.BusinessAddressCity(), c.workCity);
    EXPECT_EQ(item.BusinessAddressPostalCode(), c.workPostalCode);
    EXPECT_EQ(item.BusinessAddressState(), c.workState);
    EXPECT_EQ(item.BusinessAddressCountry(), c.workCountry);
    EXPECT_EQ(item.OfficeLocation(), c.officeLocation);
    EXPECT_EQ(item.WebPage(), c.webPage);
    EXPECT_EQ(item.Department(), c.department);
    EXPECT_EQ(item.ManagerName(), c.managerName);
    EXPECT_EQ(item.AssistantName(), c.assistantName);
    EXPECT_EQ(item.BusinessTelephoneNumber(), c.businessPhone);
    EXPECT_EQ(item.BusinessFaxNumber(), c.businessFax);
    EXPECT_EQ(item.MobileTelephoneNumber(), c.mobilePhone);
    EXPECT_EQ(item.PagerNumber(), c.pager);
    EXPECT_EQ(item.HomeAddressStreet(), c.homeStreet);
    EXPECT_EQ(item.HomeAddressCity(), c.homeCity);
    EXPECT_EQ(item.HomeAddressPostalCode(), c.homePostalCode);
    EXPECT_EQ(item.HomeAddressState(), c.homeState);
    EXPECT_EQ(item.HomeAddressCountry(), c.homeCountry);
    EXPECT_EQ(item.Spouse(), c.spouse);
    EXPECT_EQ(item.Children(), QStringLiteral("Ann, Ben"));
    EXPECT_EQ(item.HomeTelephoneNumber(), c.homePhone);
    EXPECT_EQ(item.HomeFaxNumber(), c.homeFax);
    EXPECT_EQ(item.Body(), c.body);
    EXPECT_EQ(item.Categories(), QStringLiteral("Friends, VIP"));
    EXPECT_TRUE(IsNoDate(item.Birthday()));
    EXPECT_TRUE(IsNoDate(item.Anniversary()));
}

TEST_F(ContactTest, AbsentAndEmptyValuesReadAsEmptyText)
{
    PstBuilder b;
    ContactData absent;
    ContactData empty;
    empty.givenName = QStringLiteral("");
    empty.writeEmptyStrings = true;
    ContactData blanks;
    blanks.givenName = QStringLiteral("  ");
    blanks.surname = QStringLiteral(" trailing ");
    blanks.children = QStringList{QStringLiteral("Only")};
    RDOItems items = itemsOf(b, {absent, empty, blanks});
    for (qint64 k = 1; k <= 2; ++k) {
        RDOItem i = items.Item(k);
        EXPECT_EQ(i.FirstName(), QString());
        EXPECT_EQ(i.Email1Address(), QString());
        EXPECT_EQ(i.BusinessAddressCity(), QString());
        EXPECT_EQ(i.Children(), QString());
        EXPECT_EQ(i.Categories(), QString());
        EXPECT_EQ(i.Body(), QString());
    }
    EXPECT_EQ(items.Item(3).FirstName(), QStringLiteral("  "));
    EXPECT_EQ(items.Item(3).LastName(), QStringLiteral(" trailing "));
    EXPECT_EQ(items.Item(3).Children(), QStringLiteral("Only"));
}

TEST_F(ContactTest, NamedPropertiesResolveBySetAndId)
{
    PstBuilder b;
    // Another property set takes the first ids and reuses the e-mail's number.
    b.registerNamedProperty(pstwriter::psetidCommon(), 0x8083);
    b.registerNamedProperty(pstwriter::psetidAppointment(), 0x8045);
    ContactData c;
    c.email1Address = QStringLiteral("right@example.org");
    c.extra.push_back(pstwriter::ExtraProperty::named(pstwriter::psetidCommon(), 0x8083, QStringLiteral("wrong")));
    c.extra.push_back(
        pstwriter::ExtraProperty::named(pstwriter::psetidAppointment(), 0x8045, QStringLiteral("wrong street")));
    c.extra.push_back(pstwriter::ExtraProperty::namedString(pstwriter::psetidCommon(), QStringLiteral("Keywords"),
                                                            QStringLiteral("not categories")));
    RDOItem item = itemsOf(b, {c}).Item(1);
    EXPECT_EQ(item.Email1Address(), QStringLiteral("right@example.org"));
    EXPECT_EQ(item.BusinessAddressStreet(), QString());
    EXPECT_EQ(item.Categories(), QString());
}

TEST_F(ContactTest, BodyStoredOnlyAsRtfGivesItsText)
{
    PstBuilder b;
    ContactData c;
    c.body = QStringLiteral("First {line}\r\nback\\slash ünïcode €");
    c.bodyAsRtfOnly = true;
    EXPECT_EQ(itemsOf(b, {c}).Item(1).Body(), c.body);
}

TEST_F(ContactTest, DatesAreGivenInLocalTime)
{
    TimeZone tz("America/New_York");
    PstBuilder b;
    ContactData c;
    // Midnight local time, as Outlook stores a birthday typed in New York.
    c.birthday = QDateTime(QDate(1980, 3, 1), QTime(0, 0), Qt::LocalTime);
    // One minute before midnight UTC, which is still the previous evening here.
    c.anniversary = QDateTime(QDate(2001, 7, 1), QTime(23, 59), Qt::UTC);
    RDOItem item = itemsOf(b, {c}).Item(1);
    EXPECT_EQ(item.Birthday(), QDateTime(QDate(1980, 3, 1), QTime(0, 0), Qt::LocalTime));
    EXPECT_EQ(item.Birthday().date(), QDate(1980, 3, 1));
    EXPECT_EQ(item.Birthday().time(), QTime(0, 0));
    EXPECT_EQ(item.Anniversary().date(), QDate(2001, 7, 1));
    EXPECT_EQ(item.Anniversary().time(), QTime(19, 59));
}

TEST_F(ContactTest, TheSameFileReadsInAnotherTimeZone)
{
    QString path;
    {
        TimeZone tz("Asia/Tokyo");
        PstBuilder b;
        ContactData c;
        c.birthday = QDateTime(QDate(1990, 1, 1), QTime(0, 0), Qt::LocalTime);  // 1989-12-31 15:00 UTC
        auto folder = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
        b.addContact(folder, c);
        path = write(b);
    }
    TimeZone tz("Europe/London");
    RDOItem item = child(RDOSession::OpenPstFile(path).IPMRootFolder(), QStringLiteral("Contacts")).Items().Item(1);
    EXPECT_EQ(item.Birthday().date(), QDate(1989, 12, 31));
    EXPECT_EQ(item.Birthday().time(), QTime(15, 0));
}

TEST_F(ContactTest, StoredNoDateReadsAsNoDate)
{
    PstBuilder b;
    ContactData c;
    c.birthday = QDateTime(QDate(4501, 1, 1), QTime(0, 0), Qt::UTC);
    RDOItem item = itemsOf(b, {c}).Item(1);
    EXPECT_TRUE(IsNoDate(item.Birthday()));
    EXPECT_EQ(item.Birthday().time(), QTime(0, 0));
}

TEST_F(ContactTest, ValuesOfAnotherTypeAreReadNotRefused)
{
    // As other writers store them: a number where text belongs (the
    // "Keywords" of one real file among them), a list where one text belongs,
    // one text where a list belongs, text where a date belongs.
    PstBuilder b;
    ContactData c;
    c.givenName = QStringLiteral("Ok");
    auto extra = [&](pstwriter::ExtraProperty p) { c.extra.push_back(std::move(p)); };
    pstwriter::ExtraProperty surname;
    surname.lid = 0x3A11;
    surname.type = 0x0003;
    surname.integer = 7;
    extra(surname);
    pstwriter::ExtraProperty keywords = pstwriter::ExtraProperty::namedString(
        QUuid(0x00020329, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46), QStringLiteral("Keywords"), QString());
    keywords.type = 0x0003;
    keywords.integer = 3;
    extra(keywords);
    pstwriter::ExtraProperty company;
    company.lid = 0x3A16;
    company.type = 0x101F;
    company.texts = QStringList{QStringLiteral("North"), QStringLiteral("South")};
    extra(company);
    extra(pstwriter::ExtraProperty::tagged(0x3A58, QStringLiteral("Only child")));
    extra(pstwriter::ExtraProperty::tagged(0x3A42, QStringLiteral("not a date")));
    // 8-bit texts in a Unicode file, in the item's code page.
    b.setCodePage(1251);
    ContactData d;
    d.givenName = QStringLiteral("Olga");
    d.surname = QString::fromUtf8("Иванова");
    d.categories = QStringList{QStringLiteral("A"), QString::fromUtf8("Б")};
    d.eightBitTexts = true;
    // One text where the categories' list belongs.
    ContactData e;
    e.extra.push_back(pstwriter::ExtraProperty::namedString(QUuid(0x00020329, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46),
                                                            QStringLiteral("Keywords"), QStringLiteral("Solo")));
    RDOItems items = itemsOf(b, {c, d, e});
    EXPECT_EQ(items.Item(2).LastName(), QString::fromUtf8("Иванова"));
    EXPECT_EQ(items.Item(2).Categories(), QString::fromUtf8("A, Б"));
    EXPECT_EQ(items.Item(3).Categories(), QStringLiteral("Solo"));
    RDOItem item = items.Item(1);
    EXPECT_EQ(item.FirstName(), QStringLiteral("Ok"));
    EXPECT_EQ(item.LastName(), QString());
    EXPECT_EQ(item.Categories(), QString());
    EXPECT_EQ(item.CompanyName(), QStringLiteral("North, South"));
    EXPECT_EQ(item.Children(), QStringLiteral("Only child"));
    EXPECT_TRUE(IsNoDate(item.Birthday()));
}
