#pragma once
// Writing one Person or Group document into the destination address book.
// Each call opens its own session and the destination chosen by the view's
// destination mode (NewBookPath in new-book mode, DestinationPath otherwise),
// writes, saves and files the document. A failing step is skipped and the next
// one runs; the result tells whether the document was saved and filed.

#include "export/ExportView.h"
#include "export/PersonFields.h"

// Form "Person", the 38 items, Type "Person"; filed in "Outlook Contacts".
// `SaveIt` is not consulted: the document is always saved.
bool SaveNotesContacts(const PersonFields& fields, bool& SaveIt, const ExportView& view);

// Form "Group", ListName, ListDescription, Members, Type "Group"; filed in
// "Outlook Groups".
bool SaveNotesGroups(const QString& DLName, const QString& Members, const QString& Desc, bool& SaveIt,
                     const ExportView& view);
