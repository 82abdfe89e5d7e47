#include "export/BookCreation.h"

#include "export/notes/Notes.h"

#include <cerrno>
#include <memory>

namespace exporting {

namespace {

// New books one folder takes within one second before giving up.
constexpr int MaxBooksPerSecond = 1000;

}  // namespace

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

BookCreationError::BookCreationError(Kind kind, const QString& cause)
    : std::runtime_error(cause.toStdString())
    , kind_(kind)
{
}

NewBook::NewBook() = default;
NewBook::NewBook(NewBook&&) noexcept = default;
NewBook& NewBook::operator=(NewBook&&) noexcept = default;
NewBook::~NewBook() = default;

NewBook CreateNewBook(const QString& folder, const std::function<void()>& yield)
{
    auto breathe = [&] {
        if (yield)
            yield();
    };
    try {
        auto session = std::make_unique<notes::NotesSession>();
        breathe();
        const QString names = session->GETENVIRONMENTSTRING(QStringLiteral("NAMES"), true);
        auto design = session->GetDatabase(QString(), DesignSourceFromNames(names));
        // The clock is read once, here. Each copy is made exclusively: a name
        // taken already (a second book in the same second) gives the next one.
        const QDateTime now = QDateTime::currentDateTime();
        std::unique_ptr<notes::NotesDatabase> book;
        QString path;
        for (int sequence = 1; !book; ++sequence) {
            path = folder + NewBookFileName(now, sequence);
            try {
                book = design->CreateCopy(QString(), path);
            } catch (const notes::NotesFileError& e) {
                if (e.error() != EEXIST || sequence >= MaxBooksPerSecond)
                    throw;
            }
        }
        breathe();
        design.reset();
        session.reset();
        NewBook made;
        made.path = path;
        made.book = std::move(book);
        return made;
    } catch (const notes::NotesFileError& e) {
        throw BookCreationError(BookCreationError::Folder, QString::fromUtf8(e.what()));
    } catch (const std::exception& e) {
        // Anything else: the address book store cannot be used.
        throw BookCreationError(BookCreationError::Design, QString::fromUtf8(e.what()));
    }
}

void CreateNSF(ExportView& view, Dialogs& dialogs)
{
    view.SetSaveHeader(QStringLiteral("Creating Lotus Notes Address Book"));
    view.SetProcessing(QStringLiteral("Please Wait..."));
    try {
        // The book is made and closed: the writers open it again by its path.
        view.SetNewBookPath(CreateNewBook(view.NewBookPath(), [&] { view.Yield(); }).path);
        return;
    } catch (const BookCreationError& e) {
        if (e.kind() == BookCreationError::Folder)
            dialogs.MsgBox(nullptr,
                           QStringLiteral("The new Lotus Notes Address Book could not be created.\r\n")
                               + QString::fromUtf8(e.what()),
                           MsgButtons::Ok, MsgIcon::Critical, booktexts::BookNotCreatedTitle);
        else
            dialogs.MsgBox(nullptr, booktexts::NotesNotConfigured, MsgButtons::Ok, MsgIcon::Information,
                           booktexts::NotesNotConfiguredTitle);
    }
    dialogs.EndProgram();
}

}  // namespace exporting
