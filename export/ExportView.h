#pragma once
// What the export logic needs of the export window: the destination mode, the
// chosen existing book, where the destination books are kept, the status
// labels and a way to let the window system breathe. The window implements it
// (over the program-wide values it keeps); tests and the command line record
// or print it instead.

#include <QString>

class ExportView {
public:
    virtual ~ExportView() = default;

    // New-book mode: `OptNewNSF` is selected. Read afresh at every use.
    virtual bool IsNewBookMode() const = 0;
    // The text of `txtExNSFFileName`, untrimmed.
    virtual QString ExistingBookText() const = 0;

    // The destination books as the window keeps them: the existing book
    // (`DestinationPath`), and the folder prepared for a new book, which
    // book creation extends to the new book's full path (`NewBookPath`).
    virtual QString DestinationPath() const = 0;
    virtual QString NewBookPath() const = 0;
    virtual void SetNewBookPath(const QString& path) = 0;

    virtual void SetSaveHeader(const QString& text) = 0;  // LblSaveHeader
    virtual void SetProcessing(const QString& text) = 0;  // LblProcessing
    virtual void SetFound(const QString& text) = 0;  // LblFound
    virtual void SetCurrent(const QString& text) = 0;  // LblCurrent
    virtual void ShowSubject() = 0;  // LblSubject visible

    // Let the window system process pending events (labels repaint).
    virtual void Yield() = 0;

    // The run has set its last texts: a view that repaints its labels less
    // often than they are set shows the latest texts now.
    virtual void ShowLatest() { }
};
