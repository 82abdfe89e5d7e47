#include "export/DocumentWriters.h"

#include "export/notes/Notes.h"
#include "common/programend/ProgramEnd.h"

#include <memory>
#include <string>
#include <utility>

namespace {

void finishAtProgramEnd()
{
    FinishDocumentWrites();
}

// One document write. Every step runs on its own: a failing step is dropped
// and the next one runs, so one bad value never loses the rest of the
// document. A step whose object could not be made fails in turn.
class DocumentWrite {
public:
    DocumentWrite(const QString& book, const char16_t* form)
    {
        // The books written to are finished on every way out of the program.
        AddProgramEndWork(finishAtProgramEnd);
        step([&] { session_ = std::make_unique<notes::NotesSession>(); });
        step([&] { database_ = need(session_).GetDatabase(QString(), book); });
        step([&] { document_ = need(database_).CreateDocument(); });
        item(u"Form", text(form));
    }

    ~DocumentWrite()
    {
        // Document, database, session: the reverse of their creation.
        document_.reset();
        database_.reset();
        session_.reset();
    }

    DocumentWrite(const DocumentWrite&) = delete;
    DocumentWrite& operator=(const DocumentWrite&) = delete;

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
    // A text over a string literal, without copying it.
    static QString text(const char16_t* literal)
    {
        return QString::fromRawData(reinterpret_cast<const QChar*>(literal),
                                    qsizetype(std::char_traits<char16_t>::length(literal)));
    }

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

    std::unique_ptr<notes::NotesSession> session_;
    std::unique_ptr<notes::NotesDatabase> database_;
    std::unique_ptr<notes::NotesDocument> document_;
    QString firstFailure_;
};

QString destinationOf(const ExportView& view)
{
    return view.IsNewBookMode() ? view.NewBookPath() : view.DestinationPath();
}

}  // namespace

DocumentWritten WritePerson(PersonFields f, const QString& book)
{
    DocumentWrite w(book, u"Person");
    for (const PersonItem& i : PersonItems)
        w.item(PersonItemName(i), std::move(f.*i.field));
    w.item(u"Type", QStringLiteral("Person"));
    return w.saveAndFile(u"Outlook Contacts");
}

DocumentWritten WriteGroup(const QString& DLName, const QString& Members, const QString& Desc, const QString& book)
{
    DocumentWrite w(book, u"Group");
    w.item(u"ListName", DLName);
    w.item(u"ListDescription", Desc);
    w.item(u"Members", Members);
    w.item(u"Type", QStringLiteral("Group"));
    return w.saveAndFile(u"Outlook Groups");
}

bool SaveNotesContacts(const PersonFields& fields, bool& SaveIt, const ExportView& view)
{
    (void)SaveIt;  // the document is saved whatever the caller passes
    return WritePerson(fields, destinationOf(view)).written;
}

bool SaveNotesGroups(const QString& DLName, const QString& Members, const QString& Desc, bool& SaveIt,
                     const ExportView& view)
{
    (void)SaveIt;  // the document is saved whatever the caller passes
    return WriteGroup(DLName, Members, Desc, destinationOf(view)).written;
}

namespace {

DocumentsLost told(notes::LostDocuments lost)
{
    DocumentsLost result;
    result.persons = lost.byForm.value(QStringLiteral("Person"));
    result.groups = lost.byForm.value(QStringLiteral("Group"));
    result.total = lost.total;
    result.numbers = std::move(lost.numbers);
    result.cause = std::move(lost.cause);
    return result;
}

}  // namespace

DocumentsLost FinishDocumentWrites()
{
    return told(notes::FinishWriting());
}

DocumentsLost TakeLostDocuments()
{
    return told(notes::TakeLostDocuments());
}

qint64 OldestUncommittedDocument()
{
    return notes::OldestUncommittedDocument();
}
