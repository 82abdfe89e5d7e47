#pragma once
// The file layer under the address-book store: the item-list codec
// (ItemList.h), statements (Statement.h), the connection to a file of ours
// (Connection.h) and note ids (NoteIds.h). Used by Notes.cpp, BookReader.cpp
// and the template builder; not by the rest of the program.

#include "export/notes/Connection.h"
#include "export/notes/ItemList.h"
#include "export/notes/NoteIds.h"
#include "export/notes/Notes.h"
#include "export/notes/Statement.h"

namespace notes::store {

// Commits what this program has written to the file `file` and not yet
// committed, so that a reader sees it. Defined with the open books.
void commitPendingWrites(const FileIdentity& file);

}  // namespace notes::store
