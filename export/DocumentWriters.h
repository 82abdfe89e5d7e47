#pragma once
// Writing Person and Group documents into an address book: one book writer
// per destination, opened once, through which every document goes. Each
// document's steps run on their own: a failing step is skipped and the next
// one runs; the result tells whether the document was saved and filed and,
// when not, why.
//
// The store commits documents in groups. A document reported written is in
// the book for good once its group is committed; a group whose commit fails
// (a full disk) loses documents that were reported written. The writer
// tells which (TakeSettled, and at its end Finish).

#include "export/ExportView.h"
#include "export/PersonFields.h"

#include <QString>

#include <memory>
#include <vector>

namespace notes {
class NotesDatabase;
}

namespace exporting {

struct DocumentWritten {
    bool written = false;  // saved and filed
    QString reason;  // the first step that failed, when not written
    qint64 number = 0;  // when written: the document's number in the writing, from 1, rising
};

// What became of the documents reported written, since the last look.
struct DocumentsSettled {
    struct Lost {
        qint64 number = 0;  // DocumentWritten::number
        QString reason;
    };
    std::vector<Lost> lost;  // written, then lost
    // The number of the oldest document written whose group is not committed
    // yet; 0 when there is none. A document of a lower number that was not
    // told lost is in its book for good.
    qint64 oldestUncommitted = 0;
};

// One address book open for writing, from its opening to Finish (or its
// destruction). However the program ends, a book being written is finished
// first.
class BookWriter {
public:
    // Opens the existing book `path`. Throws notes::NotesError when it
    // cannot be opened; the file is then untouched.
    explicit BookWriter(const QString& path);
    // Writes into a book already open (a new book as its creation left it).
    explicit BookWriter(std::unique_ptr<notes::NotesDatabase> book);
    ~BookWriter();
    BookWriter(const BookWriter&) = delete;
    BookWriter& operator=(const BookWriter&) = delete;

    QString path() const;

    // Form "Person", the 38 items, Type "Person"; filed in "Outlook Contacts".
    DocumentWritten WritePerson(PersonFields fields);
    // Form "Group", ListName, ListDescription, Members, Type "Group"; filed in
    // "Outlook Groups".
    DocumentWritten WriteGroup(const QString& DLName, const QString& Members, const QString& Desc);

    // What became of the documents written, since the last call; the writing
    // goes on. Never throws.
    DocumentsSettled TakeSettled();
    // Ends the writing: the last group committed, the book one file again
    // and closed. Returns what was lost since the last look; afterwards
    // every document is settled. Never throws.
    DocumentsSettled Finish();

private:
    std::unique_ptr<notes::NotesDatabase> book_;
    QString path_;
};

// The export window's writers by their old names: one document into the
// book the view's destination mode names (NewBookPath in new-book mode,
// DestinationPath otherwise), chosen afresh at every call. True when the
// document was written; it is in the book for good once its group is
// committed. The writer stays open on that book until a document goes to
// another one or FinishDocumentWrites. `SaveIt` is not consulted: the
// document is always saved.
bool SaveNotesContacts(const PersonFields& fields, bool& SaveIt, const ExportView& view);
bool SaveNotesGroups(const QString& DLName, const QString& Members, const QString& Desc, bool& SaveIt,
                     const ExportView& view);

// Finishes every book still being written, as the program's end does.
// Returns how many documents the window's writers reported written were
// lost with their group since the last call.
qint64 FinishDocumentWrites();

}  // namespace exporting

// Callers outside export/ that have not taken the namespace yet.
using exporting::FinishDocumentWrites;
using exporting::SaveNotesContacts;
using exporting::SaveNotesGroups;
