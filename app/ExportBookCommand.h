#pragma once
// File > Export Address Book...: an address book chosen with a file dialog
// written as DXL (for Notes and Domino) or vCard (for other address books) to
// a file chosen with a file dialog, with progress while it runs and the
// outcome in a message box. The work is the command line's `book export`
// (exporting::ExportBook), run on this thread with the window system's
// events processed between documents.

#include "export/BookExport.h"

#include <QString>

#include <functional>

class QWidget;

class ExportBookCommand {
public:
    explicit ExportBookCommand(QWidget* owner);

    // Asks for the book and the output file, exports, tells the outcome.
    // Cancelling a file dialog ends the command without a word.
    void run();

    // Asks where to write and in which format, `suggestion` being the book's
    // name with the extension of the format; empty text on cancel. A file
    // dialog by default; tests put their own answer here.
    std::function<QString(QWidget* owner, const QString& suggestion, exporting::ExportFormat* format)> chooseOutput;

    // How long an export runs before its progress window shows.
    int progressDelayMs = 400;

private:
    QWidget* owner_;
};
