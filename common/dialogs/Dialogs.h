#pragma once
// Every question, message and file choice the program puts to the user goes
// through this interface, so the logic behind the windows can be driven by a
// script in tests. The windowed program installs a Qt implementation. The
// owner of a dialog is the window it belongs to, handed through as a QObject
// so that nothing below the windows needs to know widgets.

#include <QString>

#include <cstdlib>
#include <optional>

class QObject;

enum class MsgIcon { Information, Warning, Critical, Question };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A message box with a fixed text, buttons, icon and title.
    virtual MsgAnswer MsgBox(QObject* owner, const QString& text, MsgButtons buttons, MsgIcon icon,
                             const QString& title, MsgAnswer defaultAnswer = MsgAnswer::Ok)
        = 0;

    // An Open dialog. `filter` is written "Label (*.ext)|*.ext". Returns the
    // chosen file's full path, or empty text when cancelled.
    virtual QString GetOpenFileName(QObject* owner, const QString& fileName, const QString& filter) = 0;

    // A folder chooser with a title. Returns the chosen folder or empty text
    // on cancel or failure.
    virtual QString BrowseForFolder(QObject* owner, const QString& title) = 0;

    // Asks for the password of a protected file; `text` says which file, and
    // whether the one given before was wrong. What is typed is not shown.
    // Returns the password, or null when cancelled (and where there is no
    // one to ask).
    virtual std::optional<QString> AskPassword(QObject* owner, const QString& text, const QString& title)
    {
        (void)owner;
        (void)text;
        (void)title;
        return std::nullopt;
    }

    // Ends the program at once with the exit status `status`: no window
    // closes, nothing of the windows runs. Only the program-end work
    // (common/programend) is done first. Leaving because the user asked to ends with
    // EXIT_SUCCESS; giving up because something the program needs is
    // missing ends with the default, EXIT_FAILURE.
    // Implementations used in tests throw ProgramEnded instead.
    [[noreturn]] virtual void EndProgram(int status = EXIT_FAILURE) = 0;
};

// Thrown by test implementations of Dialogs::EndProgram, carrying the exit
// status asked for. Deliberately not a std::exception, so the per-step error
// handling of the export never swallows it.
struct ProgramEnded {
    int status = EXIT_FAILURE;
};

// The program's Dialogs. Set once at start-up by the windowed program (or by a
// test); asking before anything was set is a programming error and aborts.
Dialogs& dialogs();
void setDialogs(Dialogs* d);
