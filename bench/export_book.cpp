// Makes an address book of COUNT documents for the export benchmark, the way
// the conversion writes them (one writer call per contact; every 50th
// document a distribution list), and prints its path.
//
//   export_book BOOK_FOLDER [COUNT]
//
// COUNT defaults to 100000. The book is created in BOOK_FOLDER/Lotus Notes
// Address Book/. The data directory is pointed at a temporary folder, so the
// user's notes.ini plays no part. bench/export_book.sh then times
// `pellaro-cli book export` on it.

#include "common/values/ProgramValues.h"
#include "export/BookCreation.h"
#include "export/DocumentWriters.h"
#include "export/FolderCreation.h"

#include "bench/BenchSupport.h"
#include "common/paths/PathSeparator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

// A contact with values of a realistic size (some needing escaping and
// folding in a vCard), different for every i.
PersonFields contact(int i)
{
    const QString n = QString::number(i);
    PersonFields f;
    f.elotus_FirstName = QStringLiteral("First") + n;
    f.elotus_LastName = QStringLiteral("Lastname-Müller") + n;
    f.elotus_Title = QStringLiteral("Dr.");
    f.elotus_Email = QStringLiteral("first.last") + n + QStringLiteral("@example.com");
    f.elotus_Company = QStringLiteral("Example Trading Company, Ltd");
    f.elotus_JobTitle = QStringLiteral("Senior Accountant");
    f.elotus_BusinessStreet = n + QStringLiteral(" Business Park Road\r\nBuilding 4");
    f.elotus_BusinessCity = QStringLiteral("Springfield");
    f.elotus_BusinessZip = QStringLiteral("12345");
    f.elotus_BusinessCountry = QStringLiteral("Country");
    f.elotus_WebPage = QStringLiteral("https://www.example.com/") + n;
    f.elotus_Department = QStringLiteral("Finance; Controlling");
    f.elotus_OfficePhone = QStringLiteral("+1 555 0100 ") + n;
    f.elotus_CellPhone = QStringLiteral("+1 555 0199 ") + n;
    f.elotus_OtherEmail1 = f.elotus_Email;
    f.elotus_PersonalStreet = n + QStringLiteral(" Elm Street");
    f.elotus_PersonalCity = QStringLiteral("Shelbyville");
    f.elotus_HomePhone = QStringLiteral("+1 555 0111");
    f.elotus_BirthDay = QStringLiteral("7/12/1980");  // as DateToText writes it under en_US
    f.elotus_Comments = QStringLiteral("Met at the trade fair; prefers e-mail, not calls. Contact number ") + n
        + QStringLiteral(". Знает русский, 日本語も少し.");
    f.elotus_Categories = QStringLiteral("Business, Trade fair");
    return f;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fputs("usage: export_book BOOK_FOLDER [COUNT]\n", stderr);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int count = argc > 2 ? std::atoi(argv[2]) : 100000;
    QTemporaryDir scratch;
    qputenv("XDG_DATA_HOME", (scratch.path() + QStringLiteral("/data")).toLocal8Bit());

    BenchView view;
    BenchDialogs dialogs;
    setDialogs(&dialogs);
    const QString bookFolder = folder + QStringLiteral("/Lotus Notes Address Book");
    CreateFolderPath(bookFolder);
    Global::NewBookPath = bookFolder + PathSeparator;
    CreateNSF(view, dialogs);

    QElapsedTimer timer;
    timer.start();
    int failed = 0;
    bool saveIt = true;
    for (int i = 0; i < count; ++i) {
        bool ok;
        if (i % 50 == 49) {
            QString members;
            // Twenty contacts of the book and twenty addresses of no contact.
            for (int k = 1; k <= 20; ++k)
                members += QStringLiteral("'First%1 Lastname-M\u00fcller%1 <first.last%1@example.com>' "
                                          "'Member %1 Name <member%1@example.com>' ")
                               .arg(i - k);
            ok = SaveNotesGroups(QStringLiteral("List ") + QString::number(i), members, QStringLiteral("A list"),
                                 saveIt, view);
        } else {
            ok = SaveNotesContacts(contact(i), saveIt, view);
        }
        failed += ok ? 0 : 1;
    }
    std::fprintf(stderr, "%d documents written in %.1f s, %d failed\n", count, double(timer.nsecsElapsed()) / 1e9,
                 failed);
    std::printf("%s\n", QFile::encodeName(Global::NewBookPath).constData());
    return failed == 0 ? 0 : 1;
}
