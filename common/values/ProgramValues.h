#pragma once
// Values the windows share for the whole run of the program. They start empty,
// are never loaded from or saved to disk, and only SelectedFolders is emptied
// by the export run.

#include <QString>
#include <QStringList>

namespace Global {

// Entry identifier of the Outlook store whose folders the tree shows.
extern QString SelectedStoreID;

// Folder references ("<entry id>#<folder path>") of the ticked folders, from
// index 0; unused slots hold empty text and readers skip blank slots.
extern QStringList SelectedFolders;

// The folder picked for a new address book, or the path of an existing one.
extern QString DestinationPath;

// The folder prepared for a new address book (ending in a separator) and,
// once the book is created, the full path of the new file.
extern QString NewBookPath;

// Clears every value, as at program start. For tests.
void ResetForTests();

}  // namespace Global
