#pragma once
// Writing one Person or Group document into an address book. Each call opens
// its own session and the book, writes, saves and files the document. A
// failing step is skipped and the next one runs; the result tells whether the
// document was saved and filed and, when not, why.
//
// The store commits documents in groups. The documents of a group whose
// commit fails (a full disk) were reported written by their calls; the
// writing tells which of them were lost (TakeLostDocuments, and at its end
// FinishDocumentWrites), and which are in their book for good
// (OldestUncommittedDocument).

#include "export/ExportView.h"
#include "export/PersonFields.h"

#include <vector>

struct DocumentWritten {
    bool written = false;  // saved and filed
    QString reason;  // the first step that failed, when not written
    qint64 number = 0;  // when written: the document's number in the writing, rising
};

// Form "Person", the 38 items, Type "Person"; filed in "Outlook Contacts".
DocumentWritten WritePerson(PersonFields fields, const QString& book);

// Form "Group", ListName, ListDescription, Members, Type "Group"; filed in
// "Outlook Groups".
DocumentWritten WriteGroup(const QString& DLName, const QString& Members, const QString& Desc, const QString& book);

// The same, into the book the export window's destination mode names:
// NewBookPath in new-book mode, DestinationPath otherwise. `SaveIt` is not
// consulted: the document is always saved.
bool SaveNotesContacts(const PersonFields& fields, bool& SaveIt, const ExportView& view);
bool SaveNotesGroups(const QString& DLName, const QString& Members, const QString& Desc, bool& SaveIt,
                     const ExportView& view);

// Documents the writers reported written that were lost with their group
// since the last call.
struct DocumentsLost {
    qint64 persons = 0;
    qint64 groups = 0;
    qint64 total = 0;  // persons, groups and documents of any other form
    std::vector<qint64> numbers;  // DocumentWritten::number of each
    QString cause;  // why the first of them was lost
};

// The documents lost since the last call of this or FinishDocumentWrites;
// the writing goes on.
DocumentsLost TakeLostDocuments();

// The number of the oldest document written whose group is not committed
// yet; 0 when there is none. A document of a lower number that was not told
// lost is in its book for good.
qint64 OldestUncommittedDocument();

// Ends the writing: every book written to is committed, folded into one file
// and closed (see notes::FinishWriting). Called at the end of an export run;
// the writers also make sure it runs however the program ends.
DocumentsLost FinishDocumentWrites();
