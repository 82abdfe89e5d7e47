#include "cli/ConsoleView.h"

#include "common/values/ProgramValues.h"

#include <utility>

ConsoleView::ConsoleView(bool newBookMode, QString existingBookText)
    : newBookMode_(newBookMode)
    , existingBookText_(std::move(existingBookText))
{
}

bool ConsoleView::IsNewBookMode() const
{
    return newBookMode_;
}

QString ConsoleView::ExistingBookText() const
{
    return existingBookText_;
}

// The book commands keep their destinations where the windows keep theirs.
QString ConsoleView::DestinationPath() const
{
    return Global::DestinationPath;
}

QString ConsoleView::NewBookPath() const
{
    return Global::NewBookPath;
}

void ConsoleView::SetNewBookPath(const QString& path)
{
    Global::NewBookPath = path;
}

void ConsoleView::SetSaveHeader(const QString&) { }
void ConsoleView::SetProcessing(const QString&) { }
void ConsoleView::SetFound(const QString&) { }
void ConsoleView::SetCurrent(const QString&) { }
void ConsoleView::ShowSubject() { }
void ConsoleView::Yield() { }
