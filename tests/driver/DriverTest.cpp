// The export run from a real data file into a real address book: documents,
// labels, the folder walk, destinations and the closing message.

#include "app/global/Global.h"
#include "export/ConversionDriver.h"
#include "export/ItemReading.h"
#include "export/notes/Notes.h"
#include "tests/driver/Fixtures.h"
#include "tests/notes/PrintQt.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempDir.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace fixtures;
using pstwriter::ContactData;
using pstwriter::DistListData;
using pstwriter::DistListMember;
using pstwriter::PstBuilder;

namespace {

const QString Success = QStringLiteral("Outlook Contacts Exported Successfully to Lotus Notes Address Book.");

class Run : public ::testing::Test {
protected:
    void SetUp() override { Global::ResetForTests(); }
    void TearDown() override { Global::ResetForTests(); }

    ExportOutcome run(const QString& pst)
    {
        FileStoreAccess store(pst);
        ConversionDriver driver(view, dialogs, store);
        return driver.Run();
    }

    // Existing-book mode into a fresh book.
    QString useNewExistingBook()
    {
        const QString book = home.file(QStringLiteral("existing.nsf"));
        makeBook(book);
        view.newBookMode = false;
        view.existingBookText = book;
        return book;
    }

    TestHome home;
    ScriptedDialogs dialogs;
    LabelView view;
};

// A contact with every value the export reads.
ContactData fullContact()
{
    ContactData c;
    c.givenName = QStringLiteral("Ada");
    c.middleName = QStringLiteral("King");
    c.surname = QStringLiteral("Lovelace");
    c.generation = QStringLiteral("Jr.");
    c.displayNamePrefix = QStringLiteral("Countess");
    c.displayName = QStringLiteral("Ada Lovelace");
    c.email1Address = QStringLiteral("ada@example.org");
    c.email2Address = QStringLiteral("ada.k@example.org");
    c.email3Address = QStringLiteral("  countess@example.org ");
    c.companyName = QStringLiteral("Analytical Engines Ltd");
    c.jobTitle = QStringLiteral("Analyst");
    c.workStreet = QStringLiteral("12 St James's Square");
    c.workCity = QStringLiteral("London");
    c.workState = QStringLiteral("Greater London");
    c.workPostalCode = QStringLiteral("SW1Y 4JH");
    c.workCountry = QStringLiteral("United Kingdom");
    c.officeLocation = QStringLiteral("Room 3");
    c.webPage = QStringLiteral("https://example.org/ada");
    c.department = QStringLiteral("Mathematics");
    c.managerName = QStringLiteral("Charles Babbage");
    c.assistantName = QStringLiteral("Mary");
    c.businessPhone = QStringLiteral("+44 20 1234");
    c.businessFax = QStringLiteral("+44 20 1235");
    c.mobilePhone = QStringLiteral("+44 7700 900");
    c.pager = QStringLiteral("555");
    c.homeStreet = QStringLiteral("Ockham Park");
    c.homeCity = QStringLiteral("Ockham");
    c.homePostalCode = QStringLiteral("GU23");
    c.homeState = QStringLiteral("Surrey");
    c.homeCountry = QStringLiteral("England");
    c.spouse = QStringLiteral("William");
    c.children = {QStringLiteral("Byron"), QStringLiteral("Anne")};
    c.homePhone = QStringLiteral("+44 1483 1");
    c.homeFax = QStringLiteral("+44 1483 2");
    c.birthday = QDateTime(QDate(1815, 12, 10), QTime(0, 0));
    c.anniversary = QDateTime(QDate(1835, 7, 8), QTime(0, 0));
    c.body = QStringLiteral("Notes on the engine.\r\nSecond line.");
    c.categories = {QStringLiteral("Science"), QStringLiteral("VIP")};
    return c;
}

TEST_F(Run, NewBookHoldsEveryContactAndListDocumentByDocument)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    const auto work = b.addFolder(contacts, QStringLiteral("Work"), QStringLiteral("IPF.Contact"));
    b.addContact(contacts, fullContact());
    b.addContact(contacts, person(QStringLiteral("Bob"), QStringLiteral("Stone")));
    DistListData list;
    list.name = QStringLiteral("Friends");
    list.body = QStringLiteral("Close friends");
    list.members.push_back(DistListMember::oneOff(QStringLiteral("Ann Lee"), QStringLiteral("SMTP"),
                                                  QStringLiteral("ann@example.org")));
    list.members.push_back(DistListMember::oneOff(QStringLiteral("O'Brien"), QStringLiteral("SMTP"),
                                                  QStringLiteral("ob@example.org")));
    b.addDistList(contacts, list);
    b.addContact(work, person(QStringLiteral("Carl"), QStringLiteral("Weiss")));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));

    const QString picked = home.file(QStringLiteral("picked"));
    QDir().mkpath(picked);
    Global::DestinationPath = picked;
    Global::SelectedFolders = {reference(pst, QStringLiteral("Contacts")),
                               reference(pst, QStringLiteral("Contacts\\Work")), QString()};

    const ExportOutcome o = run(pst);

    EXPECT_TRUE(o.complete());
    EXPECT_EQ(o.personsWritten, 3);
    EXPECT_EQ(o.groupsWritten, 1);
    EXPECT_EQ(o.itemsFailed, 0);
    const QString folder = picked + QStringLiteral("/Lotus Notes Address Book/");
    EXPECT_EQ(Global::DestinationPath, folder);
    const QString book = Global::NewBookPath;
    EXPECT_TRUE(book.startsWith(folder + QStringLiteral("names"))) << book.toStdString();
    EXPECT_TRUE(book.endsWith(QStringLiteral(".nsf")));
    EXPECT_EQ(o.bookPath, book);
    EXPECT_TRUE(Global::SelectedFolders.isEmpty());

    const auto docs = documents(book);
    ASSERT_EQ(docs.size(), 4u);

    const ContactData ada = fullContact();
    const auto& p = docs[0];
    EXPECT_EQ(p.form, QStringLiteral("Person"));
    EXPECT_EQ(p.folders, QStringList{QStringLiteral("Outlook Contacts")});
    ASSERT_EQ(p.items.size(), 40u);
    const std::pair<const char*, QString> expected[] = {
        {"FirstName", ada.givenName}, {"MiddleName", ada.middleName}, {"LastName", ada.surname},
        {"Suffix", ada.generation}, {"Title", ada.displayNamePrefix}, {"MailAddress", ada.email1Address},
        {"CompanyName", ada.companyName}, {"JobTitle", ada.jobTitle}, {"OfficeStreetAddress", ada.workStreet},
        {"OfficeCity", ada.workCity}, {"OfficeZIP", ada.workPostalCode}, {"OfficeState", ada.workState},
        {"OfficeCountry", ada.workCountry}, {"Location", ada.officeLocation}, {"WebSite", ada.webPage},
        {"Department", ada.department}, {"Manager", ada.managerName}, {"Assistant", ada.assistantName},
        {"OfficePhoneNumber", ada.businessPhone}, {"OfficeFAXPhoneNumber", ada.businessFax},
        {"CellPhoneNumber", ada.mobilePhone}, {"PhoneNumber_6", ada.pager}, {"MiscPhone1", ada.email1Address},
        {"MiscPhone2", ada.email2Address}, {"MiscPhone3", ada.email3Address}, {"StreetAddress", ada.homeStreet},
        {"City", ada.homeCity}, {"Zip", ada.homePostalCode}, {"State", ada.homeState},
        {"Country", ada.homeCountry}, {"Spouse", ada.spouse}, {"Children", QStringLiteral("Byron, Anne")},
        {"PhoneNumber", ada.homePhone}, {"HomeFAXPhoneNumber", ada.homeFax},
        {"Birthday", DateToText(*ada.birthday)}, {"Anniversary", DateToText(*ada.anniversary)},
        {"Comment", ada.body}, {"Categories", QStringLiteral("Science, VIP")}, {"Type", QStringLiteral("Person")}};
    for (const auto& [name, value] : expected)
        EXPECT_EQ(item(p, QString::fromLatin1(name)), value) << name;

    EXPECT_EQ(item(docs[1], QStringLiteral("FirstName")), QStringLiteral("Bob"));
    EXPECT_EQ(item(docs[1], QStringLiteral("LastName")), QStringLiteral("Stone"));
    EXPECT_EQ(item(docs[1], QStringLiteral("MiscPhone2")), QString(""));

    const auto& g = docs[2];
    EXPECT_EQ(g.form, QStringLiteral("Group"));
    EXPECT_EQ(g.folders, QStringList{QStringLiteral("Outlook Groups")});
    EXPECT_EQ(item(g, QStringLiteral("ListName")), QStringLiteral("Friends"));
    EXPECT_EQ(item(g, QStringLiteral("ListDescription")), QStringLiteral("Close friends"));
    EXPECT_EQ(item(g, QStringLiteral("Members")),
              QStringLiteral("'Ann Lee <ann@example.org>' 'O'Brien <ob@example.org>' "));
    EXPECT_EQ(item(g, QStringLiteral("Type")), QStringLiteral("Group"));

    EXPECT_EQ(item(docs[3], QStringLiteral("FirstName")), QStringLiteral("Carl"));

    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, Success + QStringLiteral("\r\n") + book);
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(dialogs.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Export Complete"));
}

TEST_F(Run, ExistingBookGetsTheDocumentsAndTheMessageNamesIt)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    b.addContact(contacts, person(QStringLiteral("Bob"), QStringLiteral("Stone")));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));

    const QString book = useNewExistingBook();
    view.existingBookText = QStringLiteral("  ") + book + QStringLiteral(" ");
    Global::NewBookPath = QStringLiteral("/earlier/Lotus Notes Address Book/names01-01-2026-1-2-3.nsf");
    Global::SelectedFolders = {reference(pst, QStringLiteral("Contacts"))};

    const ExportOutcome o = run(pst);

    EXPECT_EQ(o.personsWritten, 2);
    EXPECT_EQ(Global::DestinationPath, book);
    // The book created last stays remembered; the message names the one written to.
    EXPECT_EQ(Global::NewBookPath, QStringLiteral("/earlier/Lotus Notes Address Book/names01-01-2026-1-2-3.nsf"));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, Success + QStringLiteral("\r\n") + book);
    const auto docs = documents(book);
    ASSERT_EQ(docs.size(), 2u);
    EXPECT_EQ(item(docs[0], QStringLiteral("FirstName")), QStringLiteral("Ann"));
    EXPECT_EQ(item(docs[1], QStringLiteral("FirstName")), QStringLiteral("Bob"));
}

TEST_F(Run, LabelsShowFolderItemPositionAndCountAtEveryItem)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    for (int i = 1; i < 120; ++i)
        b.addContact(contacts, person(QStringLiteral("Given%1").arg(i), QStringLiteral("Sur%1").arg(i)));
    DistListData list;
    list.name = QStringLiteral("Team");
    b.addDistList(contacts, list);
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    useNewExistingBook();
    Global::SelectedFolders = {reference(pst, QStringLiteral("Contacts"))};

    const ExportOutcome o = run(pst);

    EXPECT_EQ(o.personsWritten, 119);
    EXPECT_EQ(o.groupsWritten, 1);
    EXPECT_TRUE(view.subjectShown);
    // After logging on, after taking the book's path, then once per item.
    ASSERT_EQ(view.atYield.size(), 122u);
    EXPECT_EQ(view.atYield[0], (Labels{QStringLiteral("Checking Configuration..."),
                                       QStringLiteral("Processing..."), QString(), QString()}));
    EXPECT_EQ(view.atYield[1], view.atYield[0]);
    for (int position = 1; position <= 120; ++position) {
        const Labels& l = view.atYield[std::size_t(position) + 1];
        const QString name = position < 120
                                 ? QStringLiteral("Given%1 Sur%1").arg(position)
                                 : QStringLiteral("Team");
        EXPECT_EQ(l, (Labels{QStringLiteral("Contacts"), name, QStringLiteral("120"),
                             QStringLiteral("%1/120").arg(position)}))
            << "position " << position;
    }
}

TEST_F(Run, BlankSlotsAreSkippedWithoutTouchingTheLabels)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    const QString book = useNewExistingBook();

    // Only blank slots: the start texts and nothing else.
    Global::SelectedFolders = {QString(), QStringLiteral("   "), QStringLiteral("\t")};
    run(pst);
    EXPECT_EQ(view.labelWrites, 4);
    EXPECT_EQ(view.now.header, QStringLiteral("Checking Configuration..."));
    EXPECT_TRUE(documents(book).empty());
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Information);
    EXPECT_TRUE(Global::SelectedFolders.isEmpty());

    // Blanks around a real slot change nothing about it.
    view = LabelView();
    view.newBookMode = false;
    view.existingBookText = book;
    Global::SelectedFolders = {QString(), reference(pst, QStringLiteral("Contacts")), QStringLiteral(" "),
                               QString()};
    const ExportOutcome o = run(pst);
    EXPECT_EQ(o.personsWritten, 1);
    EXPECT_EQ(view.labelWrites, 4 + 1 + 3);
    EXPECT_EQ(view.headers.last(), QStringLiteral("Contacts"));
}

TEST_F(Run, FolderOfAnotherClassIsSkippedAfterItsNameIsShown)
{
    PstBuilder b;
    const auto notesFolder = b.addFolder(b.ipmSubtree(), QStringLiteral("Inbox"), QStringLiteral("IPF.Note"));
    b.addContact(notesFolder, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    const auto suffixed =
        b.addFolder(b.ipmSubtree(), QStringLiteral("Special"), QStringLiteral("IPF.Contact.Special"));
    b.addContact(suffixed, person(QStringLiteral("Bob"), QStringLiteral("Stone")));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    const QString book = useNewExistingBook();
    Global::SelectedFolders = {reference(pst, QStringLiteral("Inbox")), reference(pst, QStringLiteral("Special"))};

    const ExportOutcome o = run(pst);

    EXPECT_EQ(view.headers.mid(1), (QStringList{QStringLiteral("Inbox"), QStringLiteral("Special")}));
    EXPECT_EQ(view.now.found, QString());
    EXPECT_EQ(view.now.current, QString());
    EXPECT_TRUE(documents(book).empty());
    EXPECT_TRUE(o.complete());
}

TEST_F(Run, EmptyContactFolderLeavesTheCountsAndTheEndShowsTheLastItemsFolder)
{
    PstBuilder b;
    const auto full = b.addFolder(b.ipmSubtree(), QStringLiteral("Full"), QStringLiteral("IPF.Contact"));
    b.addContact(full, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    b.addContact(full, person(QStringLiteral("Bob"), QStringLiteral("Stone")));
    b.addFolder(b.ipmSubtree(), QStringLiteral("Empty"), QStringLiteral("IPF.Contact"));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    useNewExistingBook();
    Global::SelectedFolders = {reference(pst, QStringLiteral("Full")), reference(pst, QStringLiteral("Empty"))};

    run(pst);

    // The empty folder's name was shown; the run ends showing the last item
    // beside its own folder.
    EXPECT_EQ(view.headers.mid(1), (QStringList{QStringLiteral("Full"), QStringLiteral("Empty"), QStringLiteral("Full")}));
    EXPECT_EQ(view.now, (Labels{QStringLiteral("Full"), QStringLiteral("Bob Stone"), QStringLiteral("2"),
                                QStringLiteral("2/2")}));
}

TEST_F(Run, OnlyTheExactListClassMakesAGroup)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    DistListData list;
    list.name = QStringLiteral("Real list");
    b.addDistList(contacts, list);
    list.name = QStringLiteral("Small case");
    list.messageClass = QStringLiteral("ipm.distlist");
    b.addDistList(contacts, list);
    list.name = QStringLiteral("Suffixed");
    list.messageClass = QStringLiteral("IPM.DistList.X");
    b.addDistList(contacts, list);
    ContactData custom = person(QStringLiteral("Cy"), QStringLiteral("Form"));
    custom.messageClass = QStringLiteral("IPM.Contact.Custom");
    b.addContact(contacts, custom);
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    const QString book = useNewExistingBook();
    Global::SelectedFolders = {reference(pst, QStringLiteral("Contacts"))};

    const ExportOutcome o = run(pst);

    EXPECT_EQ(o.groupsWritten, 1);
    EXPECT_EQ(o.personsWritten, 3);
    const auto docs = documents(book);
    ASSERT_EQ(docs.size(), 4u);
    EXPECT_EQ(docs[0].form, QStringLiteral("Group"));
    EXPECT_EQ(docs[1].form, QStringLiteral("Person"));
    EXPECT_EQ(docs[2].form, QStringLiteral("Person"));
    EXPECT_EQ(docs[3].form, QStringLiteral("Person"));
    EXPECT_EQ(item(docs[3], QStringLiteral("FirstName")), QStringLiteral("Cy"));
}

TEST_F(Run, PickedFolderWithOrWithoutSeparatorGivesTheSameBookFolder)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    for (const QString& leaf : {QStringLiteral("a/Backup"), QStringLiteral("b/Backup/")}) {
        const QString picked = home.file(leaf);
        QDir().mkpath(picked);
        Global::DestinationPath = picked;
        run(pst);
        const QString expected = home.file(leaf.left(1)) + QStringLiteral("/Backup/Lotus Notes Address Book/");
        EXPECT_EQ(Global::DestinationPath, expected);
        EXPECT_TRUE(Global::NewBookPath.startsWith(expected + QStringLiteral("names")));
        EXPECT_TRUE(QFileInfo::exists(Global::NewBookPath));
    }
}

TEST_F(Run, FolderOfMoreThan32767ItemsIsWalkedToTheEnd)
{
    constexpr int Count = 32770;
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Big"), QStringLiteral("IPF.Contact"));
    ContactData c;
    for (int i = 1; i <= Count; ++i) {
        c.givenName = QString::number(i);
        b.addContact(contacts, c);
    }
    const QString pst = write(b, home.file(QStringLiteral("big.pst")));
    const QString book = useNewExistingBook();
    Global::SelectedFolders = {reference(pst, QStringLiteral("Big"))};

    const ExportOutcome o = run(pst);

    EXPECT_EQ(o.personsWritten, Count);
    EXPECT_EQ(o.itemsFailed, 0);
    EXPECT_EQ(view.now.current, QStringLiteral("32770/32770"));
    const auto docs = documents(book);
    ASSERT_EQ(docs.size(), std::size_t(Count));
    EXPECT_EQ(item(docs.back(), QStringLiteral("FirstName")), QStringLiteral("32770"));
}

TEST_F(Run, DestinationFailingForEveryDocumentIsReportedAsFailure)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    b.addContact(contacts, person(QStringLiteral("Bob"), QStringLiteral("Stone")));
    DistListData list;
    list.name = QStringLiteral("Team");
    b.addDistList(contacts, list);
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    const QString foreign = home.file(QStringLiteral("letter.nsf"));
    const QByteArray bytes("Dear reader, this is not an address book.\n");
    ASSERT_TRUE(writeAll(foreign, bytes));
    view.newBookMode = false;
    view.existingBookText = foreign;
    Global::SelectedFolders = {reference(pst, QStringLiteral("Contacts"))};

    const ExportOutcome o = run(pst);

    EXPECT_FALSE(o.complete());
    EXPECT_EQ(o.personsWritten, 0);
    EXPECT_EQ(o.groupsWritten, 0);
    EXPECT_EQ(o.itemsFailed, 3);
    ASSERT_EQ(dialogs.messages.size(), 1);
    const auto& m = dialogs.messages[0];
    EXPECT_EQ(m.icon, MsgIcon::Warning);
    EXPECT_EQ(m.title, QStringLiteral("Export Complete"));
    EXPECT_FALSE(m.text.contains(Success));
    EXPECT_TRUE(m.text.contains(QStringLiteral("0 Person and 0 Group documents were written")));
    EXPECT_TRUE(m.text.contains(QStringLiteral("3 items could not be exported")));
    EXPECT_TRUE(m.text.endsWith(QStringLiteral("\r\n") + foreign));
    EXPECT_EQ(readAll(foreign), bytes);
    EXPECT_TRUE(Global::SelectedFolders.isEmpty());
}

TEST_F(Run, FolderThatCannotBeFoundAgainIsReportedAndTheRestWritten)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    const QString book = useNewExistingBook();
    Global::SelectedFolders = {QStringLiteral("00000000DEADBEEF#Gone"), reference(pst, QStringLiteral("Contacts"))};

    const ExportOutcome o = run(pst);

    EXPECT_EQ(o.foldersFailed, 1);
    EXPECT_EQ(o.personsWritten, 1);
    EXPECT_EQ(documents(book).size(), 1u);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].icon, MsgIcon::Warning);
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("1 Person and 0 Group documents were written")));
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("1 folders could not be opened")));
}

TEST_F(Run, StoreThatCannotBeOpenedWritesNothing)
{
    const QString picked = home.file(QStringLiteral("picked"));
    QDir().mkpath(picked);
    Global::NewBookPath = QStringLiteral("/earlier/names.nsf");

    // A data file that is not there, and a profile store that is not known.
    for (int attemptNo = 0; attemptNo < 2; ++attemptNo) {
        Global::DestinationPath = picked;
        Global::SelectedFolders = {QStringLiteral("0011#Contacts"), QString()};
        ExportOutcome o;
        if (attemptNo == 0) {
            o = run(home.file(QStringLiteral("missing.pst")));
        } else {
            Global::SelectedStoreID = QStringLiteral("0123456789ABCDEF");
            ProfileStoreAccess store;
            ConversionDriver driver(view, dialogs, store);
            o = driver.Run();
        }
        EXPECT_FALSE(o.storeOpened);
        ASSERT_EQ(dialogs.messages.size(), attemptNo + 1);
        EXPECT_EQ(dialogs.messages.last().text, StoreFailureMessage());
        EXPECT_EQ(dialogs.messages.last().icon, MsgIcon::Critical);
        EXPECT_TRUE(QDir(picked).isEmpty());
        EXPECT_EQ(Global::NewBookPath, QStringLiteral("/earlier/names.nsf"));
        EXPECT_TRUE(Global::SelectedFolders.isEmpty());
    }
}

TEST_F(Run, ProfileStoreIsFoundAgainBySelectedStoreID)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    {
        outlook::RDOSession session;
        session.Logon();
        Global::SelectedStoreID = session.AddPSTStore(pst).EntryID();
        session.Logoff();
    }
    const QString book = useNewExistingBook();
    Global::SelectedFolders = {reference(pst, QStringLiteral("Contacts"))};

    ProfileStoreAccess store;
    ConversionDriver driver(view, dialogs, store);
    const ExportOutcome o = driver.Run();

    EXPECT_EQ(o.personsWritten, 1);
    EXPECT_EQ(documents(book).size(), 1u);
}

TEST_F(Run, BookThatCannotBeCreatedEndsTheProgramBeforeAnythingIsWritten)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    ASSERT_TRUE(writeAll(QDir(notes::NotesSession::DataDirectory()).filePath(QStringLiteral("notes.ini")),
                         "NAMES=nowhere.nsf\n"));
    const QString picked = home.file(QStringLiteral("picked"));
    QDir().mkpath(picked);
    Global::DestinationPath = picked;
    Global::SelectedFolders = {reference(pst, QStringLiteral("Contacts"))};

    EXPECT_THROW(run(pst), ProgramEnded);
    EXPECT_EQ(dialogs.endProgramCalls, 1);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("Lotus Notes NOT INSTALLED or CONFIGURED Properly."));
    EXPECT_TRUE(QDir(picked + QStringLiteral("/Lotus Notes Address Book")).isEmpty());
}

} // namespace
