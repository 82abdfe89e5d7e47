// The export run from a real data file into a real address book: documents,
// labels, the folder walk, destinations, the failures and their causes, and
// the closing message. The run is given its inputs; no program-wide value is
// set, and none is changed by it.

#include "common/values/ProgramValues.h"
#include "export/ConversionDriver.h"
#include "export/ExportLabels.h"
#include "export/ExportMessages.h"
#include "export/ItemReading.h"
#include "export/notes/Notes.h"
#include "tests/support/ExportFixtures.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/RecordingView.h"
#include "tests/support/PrintQt.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TempDir.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <gtest/gtest.h>

#include <optional>

using namespace exporting;

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
    void TearDown() override
    {
        // The run reads and writes no program-wide value.
        EXPECT_TRUE(Global::SelectedStoreID.isEmpty());
        EXPECT_TRUE(Global::SelectedFolders.isEmpty());
        EXPECT_TRUE(Global::DestinationPath.isEmpty());
        EXPECT_TRUE(Global::NewBookPath.isEmpty());
        Global::ResetForTests();
    }

    ExportOutcome run(const QString& pst)
    {
        FileStoreAccess store(pst);
        return runWith(store);
    }

    // The run as the export window makes it: its labels shown through the
    // view.
    ExportOutcome runWith(StoreAccess& store)
    {
        LabelProgress labels(view);
        ExportRequest request;
        request.store = &store;
        request.folders = folders;
        request.destination = destination;
        request.progress = &labels;
        labels.Start();
        const ExportOutcome o = RunExport(request);
        labels.Finish();
        return o;
    }

    // Existing-book mode into a fresh book.
    QString useNewExistingBook()
    {
        const QString book = home.file(QStringLiteral("existing.nsf"));
        makeBook(book);
        destination = {ExportDestination::ExistingBook, book};
        return book;
    }

    TestHome home;
    LabelView view;
    QStringList folders;
    ExportDestination destination;
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
    list.members.push_back(
        DistListMember::oneOff(QStringLiteral("Ann Lee"), QStringLiteral("SMTP"), QStringLiteral("ann@example.org")));
    list.members.push_back(
        DistListMember::oneOff(QStringLiteral("O'Brien"), QStringLiteral("SMTP"), QStringLiteral("ob@example.org")));
    b.addDistList(contacts, list);
    b.addContact(work, person(QStringLiteral("Carl"), QStringLiteral("Weiss")));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));

    const QString picked = home.file(QStringLiteral("picked"));
    QDir().mkpath(picked);
    destination = {ExportDestination::NewBook, picked};
    folders = {reference(pst, QStringLiteral("Contacts")), reference(pst, QStringLiteral("Contacts\\Work")), QString()};

    const ExportOutcome o = run(pst);

    EXPECT_TRUE(o.complete());
    EXPECT_EQ(o.personsWritten, 3);
    EXPECT_EQ(o.groupsWritten, 1);
    EXPECT_EQ(o.itemsFailed, 0);
    const QString folder = picked + QStringLiteral("/Lotus Notes Address Book/");
    EXPECT_EQ(o.bookFolder, folder);
    const QString book = o.bookPath;
    EXPECT_TRUE(book.startsWith(folder + QStringLiteral("names"))) << book.toStdString();
    EXPECT_TRUE(book.endsWith(QStringLiteral(".nsf")));
    EXPECT_TRUE(o.failures.isEmpty());

    const auto docs = documents(book);
    ASSERT_EQ(docs.size(), 4u);

    const ContactData ada = fullContact();
    const auto& p = docs[0];
    EXPECT_EQ(p.form, QStringLiteral("Person"));
    EXPECT_EQ(p.folders, QStringList{QStringLiteral("Outlook Contacts")});
    ASSERT_EQ(p.items.size(), 40u);
    const std::pair<const char*, QString> expected[] = {{"FirstName", ada.givenName},
                                                        {"MiddleName", ada.middleName},
                                                        {"LastName", ada.surname},
                                                        {"Suffix", ada.generation},
                                                        {"Title", ada.displayNamePrefix},
                                                        {"MailAddress", ada.email1Address},
                                                        {"CompanyName", ada.companyName},
                                                        {"JobTitle", ada.jobTitle},
                                                        {"OfficeStreetAddress", ada.workStreet},
                                                        {"OfficeCity", ada.workCity},
                                                        {"OfficeZIP", ada.workPostalCode},
                                                        {"OfficeState", ada.workState},
                                                        {"OfficeCountry", ada.workCountry},
                                                        {"Location", ada.officeLocation},
                                                        {"WebSite", ada.webPage},
                                                        {"Department", ada.department},
                                                        {"Manager", ada.managerName},
                                                        {"Assistant", ada.assistantName},
                                                        {"OfficePhoneNumber", ada.businessPhone},
                                                        {"OfficeFAXPhoneNumber", ada.businessFax},
                                                        {"CellPhoneNumber", ada.mobilePhone},
                                                        {"PhoneNumber_6", ada.pager},
                                                        {"MiscPhone1", ada.email1Address},
                                                        {"MiscPhone2", ada.email2Address},
                                                        {"MiscPhone3", ada.email3Address},
                                                        {"StreetAddress", ada.homeStreet},
                                                        {"City", ada.homeCity},
                                                        {"Zip", ada.homePostalCode},
                                                        {"State", ada.homeState},
                                                        {"Country", ada.homeCountry},
                                                        {"Spouse", ada.spouse},
                                                        {"Children", QStringLiteral("Byron, Anne")},
                                                        {"PhoneNumber", ada.homePhone},
                                                        {"HomeFAXPhoneNumber", ada.homeFax},
                                                        {"Birthday", DateToText(*ada.birthday)},
                                                        {"Anniversary", DateToText(*ada.anniversary)},
                                                        {"Comment", ada.body},
                                                        {"Categories", QStringLiteral("Science, VIP")},
                                                        {"Type", QStringLiteral("Person")}};
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

    EXPECT_EQ(CompletionMessage(o), Success + QStringLiteral("\r\n") + book);
    EXPECT_EQ(CompletionIcon(o), MsgIcon::Information);
}

TEST_F(Run, ExistingBookGetsTheDocumentsAndTheMessageNamesIt)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    b.addContact(contacts, person(QStringLiteral("Bob"), QStringLiteral("Stone")));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));

    const QString book = useNewExistingBook();
    folders = {reference(pst, QStringLiteral("Contacts"))};

    const ExportOutcome o = run(pst);

    EXPECT_EQ(o.personsWritten, 2);
    EXPECT_EQ(CompletionMessage(o), Success + QStringLiteral("\r\n") + book);
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
    folders = {reference(pst, QStringLiteral("Contacts"))};

    const ExportOutcome o = run(pst);

    EXPECT_EQ(o.personsWritten, 119);
    EXPECT_EQ(o.groupsWritten, 1);
    EXPECT_TRUE(view.subjectShown);
    // After logging on, after taking the book's path, then once per item.
    ASSERT_EQ(view.atYield.size(), 122u);
    EXPECT_EQ(
        view.atYield[0],
        (Labels{QStringLiteral("Checking Configuration..."), QStringLiteral("Processing..."), QString(), QString()}));
    EXPECT_EQ(view.atYield[1], view.atYield[0]);
    for (int position = 1; position <= 120; ++position) {
        const Labels& l = view.atYield[std::size_t(position) + 1];
        const QString name = position < 120 ? QStringLiteral("Given%1 Sur%1").arg(position) : QStringLiteral("Team");
        EXPECT_EQ(
            l,
            (Labels{QStringLiteral("Contacts"), name, QStringLiteral("120"), QStringLiteral("%1/120").arg(position)}))
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
    folders = {QString(), QStringLiteral("   "), QStringLiteral("\t")};
    EXPECT_TRUE(run(pst).complete());
    EXPECT_EQ(view.labelWrites, 4);
    EXPECT_EQ(view.now.header, QStringLiteral("Checking Configuration..."));
    EXPECT_TRUE(documents(book).empty());

    // Blanks around a real slot change nothing about it.
    view = LabelView();
    folders = {QString(), reference(pst, QStringLiteral("Contacts")), QStringLiteral(" "), QString()};
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
    const auto suffixed = b.addFolder(b.ipmSubtree(), QStringLiteral("Special"), QStringLiteral("IPF.Contact.Special"));
    b.addContact(suffixed, person(QStringLiteral("Bob"), QStringLiteral("Stone")));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    const QString book = useNewExistingBook();
    folders = {reference(pst, QStringLiteral("Inbox")), reference(pst, QStringLiteral("Special"))};

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
    folders = {reference(pst, QStringLiteral("Full")), reference(pst, QStringLiteral("Empty"))};

    run(pst);

    // The empty folder's name was shown; the run ends showing the last item
    // beside its own folder.
    EXPECT_EQ(view.headers.mid(1),
              (QStringList{QStringLiteral("Full"), QStringLiteral("Empty"), QStringLiteral("Full")}));
    EXPECT_EQ(
        view.now,
        (Labels{QStringLiteral("Full"), QStringLiteral("Bob Stone"), QStringLiteral("2"), QStringLiteral("2/2")}));
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
    folders = {reference(pst, QStringLiteral("Contacts"))};

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
        destination = {ExportDestination::NewBook, picked};
        const ExportOutcome o = run(pst);
        const QString expected = home.file(leaf.left(1)) + QStringLiteral("/Backup/Lotus Notes Address Book/");
        EXPECT_EQ(o.bookFolder, expected);
        EXPECT_TRUE(o.bookPath.startsWith(expected + QStringLiteral("names")));
        EXPECT_TRUE(QFileInfo::exists(o.bookPath));
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
    folders = {reference(pst, QStringLiteral("Big"))};

    const ExportOutcome o = run(pst);

    EXPECT_EQ(o.personsWritten, Count);
    EXPECT_EQ(o.itemsFailed, 0);
    EXPECT_EQ(view.now.current, QStringLiteral("32770/32770"));
    const auto docs = documents(book);
    ASSERT_EQ(docs.size(), std::size_t(Count));
    EXPECT_EQ(item(docs.back(), QStringLiteral("FirstName")), QStringLiteral("32770"));
}

// A compressed RTF body that does not decompress: the contact cannot be read.
pstwriter::ExtraProperty brokenRtfBody()
{
    pstwriter::ExtraProperty p;
    p.lid = 0x1009;  // PidTagRtfCompressed
    p.type = 0x0102;  // PT_BINARY
    p.binary = QByteArray::fromHex("10000000"
                                   "20000000"
                                   "4C5A4675"
                                   "00000000")
        + QByteArray(16, '\xFF');
    return p;
}

// Records every item the run reports done.
class ItemLog : public ExportProgress {
public:
    std::vector<ItemReport> done;
    void ItemDone(const ItemReport& item) override { done.push_back(item); }
};

TEST_F(Run, EveryFailedItemIsNamedWithItsFolderPositionAndCause)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    const auto friends = b.addFolder(contacts, QStringLiteral("Friends"), QStringLiteral("IPF.Contact"));
    b.addContact(friends, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    ContactData badBody = person(QStringLiteral("Bob"), QStringLiteral("Stone"));
    badBody.extra.push_back(brokenRtfBody());
    b.addContact(friends, badBody);
    ContactData badToo = person(QStringLiteral("Cy"), QStringLiteral("Long"));
    badToo.extra.push_back(brokenRtfBody());
    b.addContact(friends, badToo);
    DistListData list;
    list.name = QStringLiteral("Team, \"A\"");
    b.addDistList(friends, list);
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    const QString book = useNewExistingBook();
    folders = {reference(pst, QStringLiteral("Contacts\\Friends")), QStringLiteral("00000000DEADBEEF#Gone")};

    ItemLog log;
    FileStoreAccess store(pst);
    ExportRequest request;
    request.store = &store;
    request.folders = folders;
    request.destination = destination;
    request.progress = &log;
    const ExportOutcome o = RunExport(request);

    EXPECT_EQ(o.stop, ExportOutcome::Ran);
    EXPECT_EQ(o.personsWritten, 1);
    EXPECT_EQ(o.groupsWritten, 1);
    EXPECT_EQ(o.itemsFailed, 2);
    ASSERT_EQ(o.failures.size(), 2);
    const ItemReport& bob = o.failures[0];
    EXPECT_EQ(bob.folder, QStringLiteral("Contacts\\Friends"));
    EXPECT_EQ(bob.position, 2);
    EXPECT_EQ(bob.name, QStringLiteral("Bob Stone"));
    EXPECT_EQ(bob.messageClass, QStringLiteral("IPM.Contact"));
    EXPECT_FALSE(bob.reason.isEmpty());
    EXPECT_EQ(o.failures[1].position, 3);
    EXPECT_EQ(FailureLine(bob), QStringLiteral("Contacts\\Friends #2 (Bob Stone): ") + bob.reason);
    // An item whose name could not be read is named by its place alone.
    ItemReport nameless = bob;
    nameless.name.clear();
    EXPECT_EQ(FailureLine(nameless), QStringLiteral("Contacts\\Friends #2: ") + bob.reason);
    nameless.name = QStringLiteral(" ");  // a contact with neither first nor last name
    EXPECT_EQ(FailureLine(nameless), QStringLiteral("Contacts\\Friends #2: ") + bob.reason);

    ASSERT_EQ(o.folderFailures.size(), 1);
    EXPECT_EQ(o.folderFailures[0].folder, QStringLiteral("Gone"));
    EXPECT_FALSE(o.folderFailures[0].reason.isEmpty());

    // Every item walked was told, written or not, in order.
    ASSERT_EQ(log.done.size(), 4u);
    EXPECT_TRUE(log.done[0].written);
    EXPECT_EQ(log.done[0].name, QStringLiteral("Ann Lee"));
    EXPECT_FALSE(log.done[1].written);
    EXPECT_TRUE(log.done[3].written);
    EXPECT_TRUE(log.done[3].isGroup);
    EXPECT_EQ(log.done[3].name, QStringLiteral("Team, \"A\""));
    EXPECT_EQ(documents(book).size(), 2u);

    // The warning names the first cause and how many more there are.
    EXPECT_EQ(CompletionIcon(o), MsgIcon::Warning);
    const QString message = CompletionMessage(o);
    EXPECT_TRUE(message.contains(QStringLiteral("1 Person and 1 Group documents were written; 2 items could not be "
                                                "exported. 1 folders could not be opened.")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(FailureLine(o.folderFailures[0]) + QStringLiteral(" (and 2 more)")));
    EXPECT_TRUE(message.endsWith(QStringLiteral("\r\n") + book));
}

TEST_F(Run, OnAFullDiskEveryItemIsToldOnceAsTheBookHoldsIt)
{
    // 3,000 contacts of about 1 KB into a new book that cannot grow past
    // 2.5 MB (a file size limit stands in for a full disk): groups of
    // documents are lost after they were written. Every item is told once,
    // in order, written exactly when its document is in the book, and every
    // lost one is a failure named by its place.
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    constexpr int Count = 3000;
    for (int i = 1; i <= Count; ++i) {
        ContactData c = person(QStringLiteral("P%1").arg(i), QStringLiteral("L"));
        c.body = QString(900, u'x');
        b.addContact(contacts, c);
    }
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    const QString picked = home.file(QStringLiteral("picked"));
    QDir().mkpath(picked);
    ItemLog log;
    FileStoreAccess store(pst);
    ExportRequest request;
    request.store = &store;
    request.folders = {reference(pst, QStringLiteral("Contacts"))};
    request.destination = {ExportDestination::NewBook, picked};
    request.progress = &log;

    std::optional<FileSizeLimit> full(2500 * 1024);
    const ExportOutcome o = RunExport(request);
    full.reset();

    QSet<QString> inBook;
    for (const auto& d : documents(o.bookPath))
        inBook.insert(d.items[1].value);  // FirstName
    EXPECT_GT(inBook.size(), 0);
    EXPECT_LT(inBook.size(), Count);
    EXPECT_EQ(o.personsWritten, inBook.size());
    EXPECT_EQ(o.itemsFailed, Count - inBook.size());
    ASSERT_EQ(o.failures.size(), o.itemsFailed);
    for (const ItemReport& f : o.failures) {
        EXPECT_EQ(f.folder, QStringLiteral("Contacts"));
        EXPECT_FALSE(inBook.contains(f.name.section(u' ', 0, 0))) << qPrintable(f.name);
        EXPECT_FALSE(f.reason.isEmpty());
    }
    ASSERT_EQ(log.done.size(), std::size_t(Count));
    for (int i = 0; i < Count; ++i) {
        const ItemReport& r = log.done[std::size_t(i)];
        ASSERT_EQ(r.position, i + 1);
        EXPECT_EQ(r.written, inBook.contains(QStringLiteral("P%1").arg(i + 1))) << i + 1;
    }
}

TEST_F(Run, BookThatIsNotOursIsRefusedBeforeAnythingIsRead)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    const QString foreign = home.file(QStringLiteral("letter.nsf"));
    const QByteArray bytes("Dear reader, this is not an address book.\n");
    ASSERT_TRUE(writeAll(foreign, bytes));
    destination = {ExportDestination::ExistingBook, foreign};
    folders = {reference(pst, QStringLiteral("Contacts"))};

    const ExportOutcome o = run(pst);

    EXPECT_EQ(o.stop, ExportOutcome::BookRefused);
    EXPECT_TRUE(o.stopReason.contains(QStringLiteral("not an address book"))) << o.stopReason.toStdString();
    EXPECT_EQ(o.personsWritten, 0);
    EXPECT_TRUE(view.atYield.empty());
    EXPECT_EQ(readAll(foreign), bytes);
    const QString message = BookRefusedMessage(o);
    EXPECT_TRUE(message.contains(foreign));
    EXPECT_TRUE(message.contains(o.stopReason));
}

TEST_F(Run, NewBookFolderBlockedByAFileIsNamedWithTheCause)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    const QString picked = home.file(QStringLiteral("picked"));
    QDir().mkpath(picked);
    ASSERT_TRUE(writeAll(picked + QStringLiteral("/Lotus Notes Address Book"), "in the way"));
    destination = {ExportDestination::NewBook, picked};
    folders = {reference(pst, QStringLiteral("Contacts"))};

    const ExportOutcome o = run(pst);

    EXPECT_EQ(o.stop, ExportOutcome::BookFolderFailed);
    EXPECT_EQ(o.bookFolder, picked + QStringLiteral("/Lotus Notes Address Book/"));
    EXPECT_TRUE(o.stopReason.contains(QStringLiteral("in the way"))) << o.stopReason.toStdString();
    EXPECT_EQ(readAll(picked + QStringLiteral("/Lotus Notes Address Book")), QByteArray("in the way"));
    EXPECT_TRUE(BookFolderMessage(o).contains(o.bookFolder));
}

TEST_F(Run, StoreThatCannotBeOpenedWritesNothing)
{
    const QString picked = home.file(QStringLiteral("picked"));
    QDir().mkpath(picked);

    // A data file that is not there, and a profile store that is not known.
    for (int attemptNo = 0; attemptNo < 2; ++attemptNo) {
        destination = {ExportDestination::NewBook, picked};
        folders = {QStringLiteral("0011#Contacts"), QString()};
        ExportOutcome o;
        if (attemptNo == 0) {
            o = run(home.file(QStringLiteral("missing.pst")));
        } else {
            ProfileStoreAccess store(QStringLiteral("0123456789ABCDEF"));
            o = runWith(store);
        }
        EXPECT_FALSE(o.storeOpened());
        EXPECT_FALSE(o.stopReason.isEmpty());
        EXPECT_TRUE(StoreFailureMessage(o).endsWith(QStringLiteral("\r\n") + o.stopReason));
        EXPECT_TRUE(QDir(picked).isEmpty());
    }
}

TEST_F(Run, ProfileStoreIsFoundAgainByItsIdentifier)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    QString storeId;
    {
        outlook::RDOSession session;
        session.Logon();
        storeId = session.AddPSTStore(pst).EntryID();
        session.Logoff();
    }
    const QString book = useNewExistingBook();
    folders = {reference(pst, QStringLiteral("Contacts"))};

    ProfileStoreAccess store(storeId);
    const ExportOutcome o = runWith(store);

    EXPECT_EQ(o.personsWritten, 1);
    EXPECT_EQ(documents(book).size(), 1u);
}

TEST_F(Run, BookWhoseDesignCannotBeFoundStopsBeforeAnythingIsWritten)
{
    PstBuilder b;
    const auto contacts = b.addFolder(b.ipmSubtree(), QStringLiteral("Contacts"), QStringLiteral("IPF.Contact"));
    b.addContact(contacts, person(QStringLiteral("Ann"), QStringLiteral("Lee")));
    const QString pst = write(b, home.file(QStringLiteral("in.pst")));
    ASSERT_TRUE(writeAll(QDir(notes::NotesSession::DataDirectory()).filePath(QStringLiteral("notes.ini")),
                         "NAMES=nowhere.nsf\n"));
    const QString picked = home.file(QStringLiteral("picked"));
    QDir().mkpath(picked);
    destination = {ExportDestination::NewBook, picked};
    folders = {reference(pst, QStringLiteral("Contacts"))};

    const ExportOutcome o = run(pst);

    EXPECT_EQ(o.stop, ExportOutcome::BookDesignMissing);
    EXPECT_EQ(o.personsWritten, 0);
    EXPECT_TRUE(QDir(picked + QStringLiteral("/Lotus Notes Address Book")).isEmpty());
}

}  // namespace
