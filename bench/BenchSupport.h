#pragma once
// What the benchmark programs put in place of the export window and the
// message boxes: a view in new-book mode that shows nothing, and dialogs that
// print their message on stderr.

#include "common/dialogs/Dialogs.h"
#include "common/values/ProgramValues.h"
#include "export/ExportView.h"
#include "common/programend/ProgramEnd.h"

#include <cstdio>
#include <cstdlib>

class BenchView : public ExportView {
public:
    bool IsNewBookMode() const override { return true; }
    QString ExistingBookText() const override { return QString(); }
    QString DestinationPath() const override { return Global::DestinationPath; }
    QString NewBookPath() const override { return Global::NewBookPath; }
    void SetNewBookPath(const QString& path) override { Global::NewBookPath = path; }
    void SetSaveHeader(const QString&) override { }
    void SetProcessing(const QString&) override { }
    void SetFound(const QString&) override { }
    void SetCurrent(const QString&) override { }
    void ShowSubject() override { }
    void Yield() override { }
};

class BenchDialogs : public Dialogs {
public:
    MsgAnswer MsgBox(QObject*, const QString& text, MsgButtons, MsgIcon, const QString& title, MsgAnswer) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
        return MsgAnswer::Ok;
    }
    QString GetOpenFileName(QObject*, const QString&, const QString&) override { return QString(); }
    QString BrowseForFolder(QObject*, const QString&) override { return QString(); }
    [[noreturn]] void EndProgram(int status = EXIT_FAILURE) override
    {
        RunProgramEndWork();
        std::exit(status);
    }
};
