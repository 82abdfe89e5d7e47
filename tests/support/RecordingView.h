#pragma once
// Export views for tests: the destination mode is set by the test, the
// destination books are the program-wide values (as the window keeps them),
// label texts and yields are recorded.

#include "common/values/ProgramValues.h"
#include "export/ExportView.h"

#include <QStringList>

#include <vector>

class RecordingView : public ExportView {
public:
    bool newBookMode = true;
    QString existingBookText;
    QStringList saveHeader, processing, found, current;
    int subjectShown = 0;
    int yields = 0;
    // What the labels showed at each yield.
    QStringList headerAtYield;

    bool IsNewBookMode() const override { return newBookMode; }
    QString ExistingBookText() const override { return existingBookText; }
    QString DestinationPath() const override { return Global::DestinationPath; }
    QString NewBookPath() const override { return Global::NewBookPath; }
    void SetNewBookPath(const QString& path) override { Global::NewBookPath = path; }
    void SetSaveHeader(const QString& t) override { saveHeader.append(t); }
    void SetProcessing(const QString& t) override { processing.append(t); }
    void SetFound(const QString& t) override { found.append(t); }
    void SetCurrent(const QString& t) override { current.append(t); }
    void ShowSubject() override { ++subjectShown; }
    void Yield() override
    {
        ++yields;
        headerAtYield.append(saveHeader.isEmpty() ? QString() : saveHeader.last());
    }
};

namespace fixtures {

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
    QString DestinationPath() const override { return Global::DestinationPath; }
    QString NewBookPath() const override { return Global::NewBookPath; }
    void SetNewBookPath(const QString& path) override { Global::NewBookPath = path; }
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

}  // namespace fixtures
