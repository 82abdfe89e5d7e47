#include "tests/support/ScriptedDialogs.h"

ScriptedDialogs::ScriptedDialogs()
    : previous_(nullptr)
{
    setDialogs(this);
}

ScriptedDialogs::~ScriptedDialogs()
{
    setDialogs(previous_);
}

MsgAnswer ScriptedDialogs::MsgBox(QObject* owner, const QString& text, MsgButtons buttons, MsgIcon icon,
                                  const QString& title, MsgAnswer defaultAnswer)
{
    messages.append({owner, text, buttons, icon, title, defaultAnswer});
    if (!answers.isEmpty())
        return answers.takeFirst();
    return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
}

QString ScriptedDialogs::GetOpenFileName(QObject* owner, const QString& fileName, const QString& filter)
{
    openFileRequests.append({owner, fileName, filter});
    return openFiles.isEmpty() ? QString() : openFiles.takeFirst();
}

QString ScriptedDialogs::BrowseForFolder(QObject* owner, const QString& title)
{
    folderRequests.append({owner, QString(), title});
    return folders.isEmpty() ? QString() : folders.takeFirst();
}

std::optional<QString> ScriptedDialogs::AskPassword(QObject* owner, const QString& text, const QString& title)
{
    passwordRequests.append({owner, text, title});
    return passwords.isEmpty() ? std::nullopt : passwords.takeFirst();
}

void ScriptedDialogs::EndProgram(int status)
{
    ++endProgramCalls;
    endProgramStatus = status;
    throw ProgramEnded{status};
}
