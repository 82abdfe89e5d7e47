#pragma once
// Every message the export run's outcome is told to the user in: the closing
// message, the refusals, and a failed item or folder as one line. The window
// shows them in message boxes; the command line prints them.

#include "common/dialogs/Dialogs.h"
#include "export/ConversionDriver.h"

#include <QString>

namespace exporting {

// The closing message of a run that reached its folders: the text, and the
// icon (information when nothing failed, warning otherwise). The title is
// "Export Complete" either way.
QString CompletionMessage(const ExportOutcome& outcome);
MsgIcon CompletionIcon(const ExportOutcome& outcome);

// The message of a run whose store could not be opened, with the cause.
QString StoreFailureMessage(const ExportOutcome& outcome);

// The message of a run whose existing book was refused: the book and the
// cause.
QString BookRefusedMessage(const ExportOutcome& outcome);

// The message of a run whose new book's folder could not take the book: the
// folder and the cause.
QString BookFolderMessage(const ExportOutcome& outcome);

// An item or folder that failed, as one line: "Contacts\Friends #12 (Ann
// Lee): <reason>"; an item without a name (or a blank one) by its place
// alone.
QString FailureLine(const ItemReport& item);
QString FailureLine(const FolderFailure& folder);

}  // namespace exporting

using exporting::FailureLine;
