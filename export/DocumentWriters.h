#pragma once
// Writing one Person or Group document into the destination address book.
// Each call opens its own session and the destination chosen by the view's
// destination mode (NewBookPath in new-book mode, DestinationPath otherwise),
// writes, saves and files the document. A failing step is skipped and the next
// one runs; the result tells whether the document was saved and filed.
//
// The store commits documents in groups. The documents of a group whose
// commit fails (a full disk) were reported written by their calls; the end of
// the writing (FinishDocumentWrites) tells how many of them were lost.

#include "export/ExportView.h"
#include "export/PersonFields.h"

// Form "Person", the 38 items, Type "Person"; filed in "Outlook Contacts".
// `SaveIt` is not consulted: the document is always saved.
bool SaveNotesContacts(const PersonFields& fields, bool& SaveIt, const ExportView& view);

// Form "Group", ListName, ListDescription, Members, Type "Group"; filed in
// "Outlook Groups".
bool SaveNotesGroups(const QString& DLName, const QString& Members, const QString& Desc, bool& SaveIt,
                     const ExportView& view);

// Documents the writers reported written that were lost with their group
// since the last call.
struct DocumentsLost {
    qint64 persons = 0;
    qint64 groups = 0;
    qint64 total = 0;  // persons, groups and documents of any other form
};

// Ends the writing: every book written to is committed, folded into one file
// and closed (see notes::FinishWriting). Called at the end of an export run;
// the writers also make sure it runs however the program ends.
DocumentsLost FinishDocumentWrites();
