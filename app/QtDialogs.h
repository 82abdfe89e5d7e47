#pragma once
// The program's dialogs on Qt widgets.

#include "common/dialogs/Dialogs.h"

class QtDialogs : public Dialogs {
public:
    MsgAnswer MsgBox(QObject* owner, const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title,
                     MsgAnswer defaultAnswer) override;
    QString GetOpenFileName(QObject* owner, const QString& fileName, const QString& filter) override;
    QString BrowseForFolder(QObject* owner, const QString& title) override;
    std::optional<QString> AskPassword(QObject* owner, const QString& text, const QString& title) override;
    [[noreturn]] void EndProgram(int status = EXIT_FAILURE) override;

    // "Label (*.ext)|*.ext" as a Qt name filter "Label (*.ext)".
    static QString toQtFilter(const QString& filter);
};
