#pragma once
// An export view for tests: the destination mode is set by the test, label
// texts and yields are recorded.

#include "export/ExportView.h"

#include <QStringList>

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
