#include "export/DocumentWriters.h"

#include "export/notes/Notes.h"
#include "common/programend/ProgramEnd.h"

#include <memory>
#include <string>
#include <utility>

namespace exporting {

namespace {

void finishAtProgramEnd()
{
    notes::FinishWriting();
}

// A text over a string literal, without copying it.
QString text(const char16_t* literal)
{
    return QString::fromRawData(reinterpret_cast<const QChar*>(literal),
                                qsizetype(std::char_traits<char16_t>::length(literal)));
}

// One document write. Every step runs on its own: a failing step is dropped
// and the next one runs, so one bad value never loses the rest of the
// document. A step whose object could not be made fails in turn.
class DocumentWrite {
public:
    DocumentWrite(notes::NotesDatabase* book, const char16_t* form)
    {
        step([&] {
            if (!book)
                throw notes::NotesError("the address book is not open");
            document_ = book->CreateDocument();
        });
        item(u"Form", text(form));
    }

    void item(const char16_t* name, QString value) { item(text(name), std::move(value)); }

    void item(const QString& name, QString value)
    {
        step([&] { need(document_).ReplaceItemValue(name, std::move(value)); });
    }

    // Saves and files the document; written when both succeeded, with the
    // first failure as the reason otherwise.
    DocumentWritten saveAndFile(const char16_t* folder)
    {
        bool saved = false;
        bool filed = false;
        step([&] {
            need(document_).Save(false, false);
            saved = true;
        });
        step([&] {
            need(document_).PutInFolder(text(folder));
            filed = true;
        });
        DocumentWritten result;
        result.written = saved && filed;
        if (result.written)
            result.number = document_->WrittenNumber();
        else
            result.reason = firstFailure_.isEmpty() ? QStringLiteral("the document was not saved") : firstFailure_;
        return result;
    }

private:
    template <class Object> static Object& need(const std::unique_ptr<Object>& object)
    {
        if (!object)
            throw notes::NotesError("an earlier step failed");
        return *object;
    }

    template <class Step> void step(Step&& run)
    {
        try {
            std::forward<Step>(run)();
        } catch (const std::exception& e) {
            // Skip-on-error: this step is lost, the write goes on. The caller
            // learns the outcome, and the first cause, from saveAndFile().
            if (firstFailure_.isEmpty())
                firstFailure_ = QString::fromUtf8(e.what());
        }
    }

    std::unique_ptr<notes::NotesDocument> document_;
    QString firstFailure_;
};

DocumentsSettled settled(notes::WritingProgress progress)
{
    DocumentsSettled result;
    result.oldestUncommitted = progress.oldestUncommitted;
    result.lost.reserve(progress.lost.size());
    for (notes::LostDocument& lost : progress.lost) {
        QString cause = lost.cause.isEmpty() ? QStringLiteral("the address book could not be finished") : lost.cause;
        if (lost.withGroup)
            cause = QStringLiteral("written, then lost with its group: ") + cause;
        result.lost.push_back({lost.number, std::move(cause)});
    }
    return result;
}

}  // namespace

BookWriter::BookWriter(const QString& path)
    : path_(path)
{
    // The books being written are finished on every way out of the program.
    AddProgramEndWork(finishAtProgramEnd);
    book_ = notes::NotesSession().GetDatabase(QString(), path);
}

BookWriter::BookWriter(std::unique_ptr<notes::NotesDatabase> book)
    : book_(std::move(book))
    , path_(book_ ? book_->FilePath() : QString())
{
    AddProgramEndWork(finishAtProgramEnd);
}

BookWriter::~BookWriter() = default;

QString BookWriter::path() const
{
    return path_;
}

DocumentWritten BookWriter::WritePerson(PersonFields f)
{
    DocumentWrite w(book_.get(), u"Person");
    for (const PersonItem& i : PersonItems)
        w.item(PersonItemName(i), std::move(f.*i.field));
    w.item(u"Type", QStringLiteral("Person"));
    return w.saveAndFile(u"Outlook Contacts");
}

DocumentWritten BookWriter::WriteGroup(const QString& DLName, const QString& Members, const QString& Desc)
{
    DocumentWrite w(book_.get(), u"Group");
    w.item(u"ListName", DLName);
    w.item(u"ListDescription", Desc);
    w.item(u"Members", Members);
    w.item(u"Type", QStringLiteral("Group"));
    return w.saveAndFile(u"Outlook Groups");
}

DocumentsSettled BookWriter::TakeSettled()
{
    return book_ ? settled(book_->TakeProgress()) : DocumentsSettled();
}

DocumentsSettled BookWriter::Finish()
{
    return book_ ? settled(book_->EndWriting()) : DocumentsSettled();
}

namespace {

QString destinationOf(const ExportView& view)
{
    return view.IsNewBookMode() ? view.NewBookPath() : view.DestinationPath();
}

// The writer of the window's writers: open on the book the last document
// went to, until a document goes to another book or the writing is
// finished. (The run has a writer of its own.)
struct WindowWriter {
    std::unique_ptr<BookWriter> writer;
    QString destination;
    qint64 lost = 0;  // documents reported written, then lost

    void finish()
    {
        if (writer)
            lost += qint64(writer->Finish().lost.size());
        writer.reset();
    }
};

WindowWriter& windowWriter()
{
    static WindowWriter w;
    return w;
}

BookWriter* writerFor(const ExportView& view)
{
    WindowWriter& w = windowWriter();
    const QString destination = destinationOf(view);
    if (w.writer && w.destination == destination)
        return w.writer.get();
    w.finish();
    try {
        w.writer = std::make_unique<BookWriter>(destination);
        w.destination = destination;
    } catch (const notes::NotesError&) {
        // A destination that cannot be opened writes nothing.
        return nullptr;
    }
    return w.writer.get();
}

}  // namespace

bool SaveNotesContacts(const PersonFields& fields, bool& SaveIt, const ExportView& view)
{
    (void)SaveIt;  // the document is saved whatever the caller passes
    BookWriter* writer = writerFor(view);
    return writer && writer->WritePerson(fields).written;
}

bool SaveNotesGroups(const QString& DLName, const QString& Members, const QString& Desc, bool& SaveIt,
                     const ExportView& view)
{
    (void)SaveIt;  // the document is saved whatever the caller passes
    BookWriter* writer = writerFor(view);
    return writer && writer->WriteGroup(DLName, Members, Desc).written;
}

qint64 FinishDocumentWrites()
{
    WindowWriter& w = windowWriter();
    w.finish();
    notes::FinishWriting();
    return std::exchange(w.lost, 0);
}

}  // namespace exporting
