#pragma once
// Helpers of the export-run tests: data files written with the PST writer,
// folder references as the tree makes them, and the documents of a book.

#include "export/ExportView.h"
#include "export/notes/BookReader.h"

#include <PstWriter.h>

#include <QString>
#include <QStringList>

#include <vector>

namespace fixtures {

// Writes `builder` to `path` and returns the path.
QString write(const pstwriter::PstBuilder& builder, const QString& path);

// The reference of the folder at `folderPath` ("Contacts\Friends", below the
// top of the store) of the data file `pst`: entry identifier, "#", path.
// Finds folders of any class.
QString reference(const QString& pst, const QString& folderPath);

// A new, empty address book at `path` with the design of pernames.ntf.
void makeBook(const QString& path);

std::vector<notes::StoredDocument> documents(const QString& book);

// The value of item `name` of `doc`; a null text when the item is missing.
QString item(const notes::StoredDocument& doc, const QString& name);

// A contact with only a first and a last name (and the display name).
pstwriter::ContactData person(const QString& first, const QString& last);

// What the labels showed, at one moment of the run.
struct Labels {
    QString header, processing, found, current;
    bool operator==(const Labels&) const = default;
};

// An export view that keeps the labels as a window would, counts how often
// they were set, and records what they showed at every yield.
class LabelView : public ExportView {
public:
    bool newBookMode = true;
    QString existingBookText;

    Labels now;
    bool subjectShown = false;
    int labelWrites = 0;
    std::vector<Labels> atYield;
    QStringList headers;  // every text LblSaveHeader was given, in order

    bool IsNewBookMode() const override { return newBookMode; }
    QString ExistingBookText() const override { return existingBookText; }
    void SetSaveHeader(const QString& t) override
    {
        now.header = t;
        headers.append(t);
        ++labelWrites;
    }
    void SetProcessing(const QString& t) override
    {
        now.processing = t;
        ++labelWrites;
    }
    void SetFound(const QString& t) override
    {
        now.found = t;
        ++labelWrites;
    }
    void SetCurrent(const QString& t) override
    {
        now.current = t;
        ++labelWrites;
    }
    void ShowSubject() override { subjectShown = true; }
    void Yield() override { atYield.push_back(now); }
};

} // namespace fixtures
