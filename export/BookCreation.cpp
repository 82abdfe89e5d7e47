#include "export/BookCreation.h"

#include "app/global/Global.h"
#include "export/notes/Notes.h"

#include <cerrno>
#include <memory>

namespace {

// New books one folder takes within one second before giving up.
constexpr int MaxBooksPerSecond = 1000;

} // namespace

QString NewBookFileName(const QDateTime& when, int sequence)
{
    // dd-mm-yyyy-h-m-s: day and month two digits, year four, the time without
    // leading zeros.
    QString name = QStringLiteral("names") + when.toString(QStringLiteral("dd-MM-yyyy-H-m-s"));
    if (sequence > 1)
        name += u'-' + QString::number(sequence);
    return name + QStringLiteral(".nsf");
}

QString DesignSourceFromNames(const QString& namesSetting)
{
    if (namesSetting.isEmpty())
        return QStringLiteral("pernames.ntf");
    // The first entry as it stands, blanks kept; a leading comma gives the
    // empty name, which the store then refuses.
    const qsizetype comma = namesSetting.indexOf(u',');
    return comma < 0 ? namesSetting : namesSetting.left(comma);
}

void CreateNSF(ExportView& view, Dialogs& dialogs)
{
    view.SetSaveHeader(QStringLiteral("Creating Lotus Notes Address Book"));
    view.SetProcessing(QStringLiteral("Please Wait..."));

    // Which of the two failures ended the creation: the design (the store
    // cannot be used) or the file (the folder cannot take it).
    QString fileProblem;
    bool created = false;
    try {
        auto session = std::make_unique<notes::NotesSession>();
        view.Yield();
        const QString names = session->GETENVIRONMENTSTRING(QStringLiteral("NAMES"), true);
        auto design = session->GetDatabase(QString(), DesignSourceFromNames(names));
        // The clock is read once, here. Each copy is made exclusively: a name
        // taken already (a second book in the same second) gives the next one.
        const QString folder = Global::NewBookPath;
        const QDateTime now = QDateTime::currentDateTime();
        std::unique_ptr<notes::NotesDatabase> book;
        for (int sequence = 1; !book; ++sequence) {
            const QString path = folder + NewBookFileName(now, sequence);
            try {
                book = design->CreateCopy(QString(), path);
                Global::NewBookPath = path;
            } catch (const notes::NotesFileError& e) {
                if (e.error() != EEXIST || sequence >= MaxBooksPerSecond)
                    throw;
            }
        }
        view.Yield();
        book.reset();
        design.reset();
        session.reset();
        created = true;
    } catch (const notes::NotesFileError& e) {
        fileProblem = QString::fromStdString(e.what());
    } catch (const std::exception&) {
        // The address book store cannot be used: reported below, then the
        // program ends.
    }
    if (created)
        return;
    if (!fileProblem.isEmpty())
        dialogs.MsgBox(nullptr, QStringLiteral("The new Lotus Notes Address Book could not be created.\r\n") + fileProblem,
                       MsgButtons::Ok, MsgIcon::Critical, QStringLiteral("Address Book Not Created"));
    else
        dialogs.MsgBox(nullptr, QStringLiteral("Lotus Notes NOT INSTALLED or CONFIGURED Properly."), MsgButtons::Ok,
                       MsgIcon::Information, QStringLiteral("Notes Not Installed/Configured"));
    dialogs.EndProgram();
}
