#pragma once
// A Dialogs implementation for tests: records every call and answers from a
// script queued beforehand. Unscripted questions get a default answer
// (No for Yes/No questions, Ok otherwise; empty text for file choices; a
// password question cancelled).

#include "common/dialogs/Dialogs.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class ScriptedDialogs : public Dialogs {
public:
    struct Message {
        QObject* owner;
        QString text;
        MsgButtons buttons;
        MsgIcon icon;
        QString title;
        MsgAnswer defaultAnswer;
    };
    struct FileRequest {
        QObject* owner;
        QString fileName;
        QString filterOrTitle;
    };
    struct PasswordRequest {
        QObject* owner;
        QString text;
        QString title;
    };

    // Installs itself as the program's dialogs for its lifetime.
    ScriptedDialogs();
    ~ScriptedDialogs() override;

    MsgAnswer MsgBox(QObject* owner, const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title,
                     MsgAnswer defaultAnswer) override;
    QString GetOpenFileName(QObject* owner, const QString& fileName, const QString& filter) override;
    QString BrowseForFolder(QObject* owner, const QString& title) override;
    std::optional<QString> AskPassword(QObject* owner, const QString& text, const QString& title) override;
    [[noreturn]] void EndProgram(int status = EXIT_FAILURE) override;

    // Script.
    QList<MsgAnswer> answers;  // next MsgBox answers
    QStringList openFiles;  // next GetOpenFileName results
    QStringList folders;  // next BrowseForFolder results
    QList<std::optional<QString>> passwords;  // next AskPassword answers; null: cancelled

    // Record.
    QList<Message> messages;
    QList<FileRequest> openFileRequests;
    QList<FileRequest> folderRequests;
    QList<PasswordRequest> passwordRequests;
    int endProgramCalls = 0;
    int endProgramStatus = -1;  // status of the last EndProgram

private:
    Dialogs* previous_;
};
