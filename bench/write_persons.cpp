// Writes COUNT Person documents into a new address book, one writer call per
// contact as the export does, and reports the time taken, until the book is
// finished on disk (its last group committed, its log folded in), and the
// processor time (the machine may be shared).
//
//   write_persons [COUNT] [FOLDER]
//
// COUNT defaults to 100000. The book is created in FOLDER/Lotus Notes
// Address Book/ (default: a temporary folder, removed afterwards). The data
// directory is pointed at a temporary folder too, so the user's notes.ini
// plays no part.

#include "export/BookCreation.h"
#include "export/DocumentWriters.h"
#include "export/FolderCreation.h"
#include "export/notes/BookReader.h"
#include "export/notes/Notes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>

#include <sys/resource.h>
#include <vector>

namespace {

// A contact with values of a realistic size, different for every i (up to
// the thousand the benchmark makes).
PersonFields contact(int i)
{
    const QString n = QString::number(i);
    PersonFields f;
    f.elotus_FirstName = QStringLiteral("First") + n;
    f.elotus_LastName = QStringLiteral("Lastname") + n;
    f.elotus_Title = QStringLiteral("Dr.");
    f.elotus_Email = QStringLiteral("first.last") + n + QStringLiteral("@example.com");
    f.elotus_Company = QStringLiteral("Example Trading Company Ltd");
    f.elotus_JobTitle = QStringLiteral("Senior Accountant");
    f.elotus_BusinessStreet = n + QStringLiteral(" Business Park Road");
    f.elotus_BusinessCity = QStringLiteral("Springfield");
    f.elotus_BusinessZip = QStringLiteral("12345");
    f.elotus_BusinessState = QStringLiteral("State");
    f.elotus_BusinessCountry = QStringLiteral("Country");
    f.elotus_WebPage = QStringLiteral("https://www.example.com/") + n;
    f.elotus_Department = QStringLiteral("Finance");
    f.elotus_OfficePhone = QStringLiteral("+1 555 0100 ") + n;
    f.elotus_OfficeFax = QStringLiteral("+1 555 0101");
    f.elotus_CellPhone = QStringLiteral("+1 555 0199 ") + n;
    f.elotus_OtherEmail1 = f.elotus_Email;
    f.elotus_PersonalStreet = n + QStringLiteral(" Elm Street");
    f.elotus_PersonalCity = QStringLiteral("Shelbyville");
    f.elotus_PersonalZip = QStringLiteral("54321");
    f.elotus_HomePhone = QStringLiteral("+1 555 0111");
    f.elotus_BirthDay = QStringLiteral("07/12/1980");
    f.elotus_Comments = QStringLiteral("Met at the trade fair; prefers e-mail. Contact number ") + n + u'.';
    f.elotus_Categories = QStringLiteral("Business");
    return f;
}

// Processor time of the process so far: user and system.
std::pair<double, double> cpuSeconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return {double(u.ru_utime.tv_sec) + double(u.ru_utime.tv_usec) / 1e6,
            double(u.ru_stime.tv_sec) + double(u.ru_stime.tv_usec) / 1e6};
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 100000;
    QTemporaryDir scratch;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : scratch.path();
    qputenv("XDG_DATA_HOME", (scratch.path() + QStringLiteral("/data")).toLocal8Bit());

    // A new book, written as the export writes it: through one writer from
    // its creation to its end.
    const QString bookFolder = exporting::NewBookFolder(folder);
    exporting::CreateFolderPath(bookFolder);
    exporting::NewBook made = exporting::CreateNewBook(bookFolder);
    const QString bookPath = made.path;

    // A thousand contacts are made before the clock starts and written in
    // turn: what is timed is the writing, from the first document to the
    // book finished on disk, and memory does not grow with the count.
    std::vector<PersonFields> contacts;
    for (int i = 0; i < 1000; ++i)
        contacts.push_back(contact(i));

    QElapsedTimer timer;
    timer.start();
    const auto cpuBefore = cpuSeconds();
    int failed = 0;
    {
        exporting::BookWriter writer(std::move(made.book));
        for (int i = 0; i < count; ++i) {
            if (!writer.WritePerson(contacts[std::size_t(i) % contacts.size()]).written)
                ++failed;
        }
        failed += int(writer.Finish().lost.size());
    }
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const auto cpuAfter = cpuSeconds();
    const double user = cpuAfter.first - cpuBefore.first;
    const double system = cpuAfter.second - cpuBefore.second;
    contacts.clear();

    qint64 stored = 0;
    notes::BookReader(bookPath).forEachDocument(false, [&](const notes::StoredDocument&) { ++stored; });
    std::printf("%d Person documents in %.2f s (%.0f per second; processor %.2f s user, %.2f s system), %d failed, "
                "%lld stored, book %.1f MB\n",
                count, seconds, count / seconds, user, system, failed, static_cast<long long>(stored),
                double(QFileInfo(bookPath).size()) / 1e6);
    return failed == 0 && stored == count ? 0 : 1;
}
