#include "cli/ConsoleDialogs.h"

#include "common/programend/ProgramEnd.h"

#include <cstdio>
#include <cstdlib>

MsgAnswer ConsoleDialogs::MsgBox(QObject*, const QString& text, MsgButtons buttons, MsgIcon, const QString& title,
                                 MsgAnswer defaultAnswer)
{
    // One line, whatever line breaks the text holds.
    QString line = title + QStringLiteral(": ") + text;
    line.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    line.replace(u'\n', u' ');
    line.replace(u'\r', u' ');
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    std::fflush(stderr);
    if (buttons == MsgButtons::YesNo)
        return defaultAnswer == MsgAnswer::Yes ? MsgAnswer::Yes : MsgAnswer::No;
    return MsgAnswer::Ok;
}

QString ConsoleDialogs::GetOpenFileName(QObject*, const QString&, const QString&)
{
    return QString();
}

QString ConsoleDialogs::BrowseForFolder(QObject*, const QString&)
{
    return QString();
}

void ConsoleDialogs::EndProgram(int status)
{
    RunProgramEndWork();
    std::fflush(stdout);
    std::fflush(stderr);
    std::exit(status);
}
