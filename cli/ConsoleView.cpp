#include "cli/ConsoleView.h"

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

void ConsoleView::SetSaveHeader(const QString&) { }
void ConsoleView::SetProcessing(const QString&) { }
void ConsoleView::SetFound(const QString&) { }
void ConsoleView::SetCurrent(const QString&) { }
void ConsoleView::ShowSubject() { }
void ConsoleView::Yield() { }
