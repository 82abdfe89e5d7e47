#include "export/BookCreation.h"

#include "app/global/Global.h"
#include "export/notes/Notes.h"

#include <memory>

QString NewBookFileName(const QDateTime& when)
{
    // dd-mm-yyyy-h-m-s: day and month two digits, year four, the time without
    // leading zeros.
    return QStringLiteral("names") + when.toString(QStringLiteral("dd-MM-yyyy-H-m-s")) + QStringLiteral(".nsf");
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

    bool created = false;
    try {
        auto session = std::make_unique<notes::NotesSession>();
        view.Yield();
        const QString names = session->GETENVIRONMENTSTRING(QStringLiteral("NAMES"), true);
        auto design = session->GetDatabase(QString(), DesignSourceFromNames(names));
        // The clock is read once, here. The copy is made exclusively: should a
        // book of the same name exist already (a second book in the same
        // second), the copy fails and the program ends below; nothing existing
        // is ever replaced.
        Global::NewBookPath = Global::NewBookPath + NewBookFileName(QDateTime::currentDateTime());
        auto book = design->CreateCopy(QString(), Global::NewBookPath);
        view.Yield();
        book.reset();
        design.reset();
        session.reset();
        created = true;
    } catch (const std::exception&) {
        // Any failure on the way means the address book store cannot be used:
        // reported below, then the program ends.
    }
    if (created)
        return;
    dialogs.MsgBox(nullptr, QStringLiteral("Lotus Notes NOT INSTALLED or CONFIGURED Properly."), MsgButtons::Ok,
                   MsgIcon::Information, QStringLiteral("Notes Not Installed/Configured"));
    dialogs.EndProgram();
}
