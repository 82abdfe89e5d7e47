#pragma once
// Dialogs for the command line: messages go to stderr as one line
// "title: text", choices of files and folders are never offered (empty), and
// ending the program exits with the status asked for (1 unless told).

#include "common/dialogs/Dialogs.h"

class ConsoleDialogs : public Dialogs {
public:
    MsgAnswer MsgBox(QObject* owner, const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title,
                     MsgAnswer defaultAnswer = MsgAnswer::Ok) override;
    QString GetOpenFileName(QObject* owner, const QString& fileName, const QString& filter) override;
    QString BrowseForFolder(QObject* owner, const QString& title) override;
    [[noreturn]] void EndProgram(int status = EXIT_FAILURE) override;
};
