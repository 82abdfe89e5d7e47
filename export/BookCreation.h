#pragma once
// Creating a new, empty address book in the prepared folder.

#include <QDateTime>
#include <QString>

#include "common/dialogs/Dialogs.h"
#include "export/ExportView.h"

#include <functional>
#include <memory>
#include <stdexcept>

namespace notes {
class NotesDatabase;
}

namespace exporting {

// The messages of a new book that could not be made: the design cannot be
// used (the program then ends), or the folder cannot take the book.
namespace booktexts {
inline const QString NotesNotConfigured = QStringLiteral("Lotus Notes NOT INSTALLED or CONFIGURED Properly.");
inline const QString NotesNotConfiguredTitle = QStringLiteral("Notes Not Installed/Configured");
inline const QString BookNotCreatedTitle = QStringLiteral("Address Book Not Created");
}  // namespace booktexts

// Why a new book could not be made.
class BookCreationError : public std::runtime_error {
public:
    enum Kind {
        Design,  // the design cannot be found, read or copied: the store cannot be used
        Folder,  // the folder cannot take the new file (missing, no permission, full)
    };
    BookCreationError(Kind kind, const QString& cause);
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// A new book, open as its creation left it: a book made here is written in
// a mode of its own (see docs/BOOK_FORMAT.md).
struct NewBook {
    QString path;
    std::unique_ptr<notes::NotesDatabase> book;
    NewBook();
    NewBook(NewBook&&) noexcept;
    NewBook& operator=(NewBook&&) noexcept;
    ~NewBook();
};

// Creates a new book "names<dd-mm-yyyy-h-m-s>.nsf" in `folder` (ending in a
// separator) with the design of the first entry of the NAMES setting or of
// "pernames.ntf", and returns it open, with its full path. When a file of
// that name exists already (a second book in the same second), the name gets
// "-2", "-3", ... before ".nsf"; nothing existing is ever replaced. `yield`
// runs once the store is reached and once the book is made. Throws
// BookCreationError.
NewBook CreateNewBook(const QString& folder, const std::function<void()>& yield = {});

// Extends the view's NewBookPath (the prepared folder, ending in a separator) to
// the full path of a new book made by CreateNewBook, after setting the view's
// labels. When the design cannot be read or copied, shows "Lotus Notes NOT
// INSTALLED or CONFIGURED Properly."; when the file cannot be made in the
// folder, a message naming the cause. Either way the program then ends
// through `dialogs`.
void CreateNSF(ExportView& view, Dialogs& dialogs);

// The file name for a new book created at `when`: names07-12-2026-5-43-9.nsf;
// with `sequence` 2 or more, names07-12-2026-5-43-9-2.nsf.
QString NewBookFileName(const QDateTime& when, int sequence = 1);

// The design source named by a NAMES setting: its first entry, untrimmed, or
// "pernames.ntf" when the setting is empty.
QString DesignSourceFromNames(const QString& namesSetting);

}  // namespace exporting

// Callers outside export/ that have not taken the namespace yet.
namespace booktexts = exporting::booktexts;
using exporting::CreateNSF;
