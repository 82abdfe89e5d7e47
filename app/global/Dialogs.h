#pragma once
// Every question, message and file choice the program puts to the user goes
// through this interface, so the logic behind the windows can be driven by a
// script in tests. The windowed program installs a Qt implementation.

#include <QString>

#include <cstdlib>

class QWidget;

enum class MsgIcon { Information, Warning, Critical, Question };
enum class MsgButtons { Ok, YesNo };
enum class MsgAnswer { Ok, Yes, No };

class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A message box with a fixed text, buttons, icon and title.
    virtual MsgAnswer MsgBox(QWidget* owner, const QString& text, MsgButtons buttons, MsgIcon icon,
                             const QString& title, MsgAnswer defaultAnswer = MsgAnswer::Ok)
        = 0;

    // An Open dialog. `filter` is written "Label (*.ext)|*.ext". Returns the
    // chosen file's full path, or empty text when cancelled.
    virtual QString GetOpenFileName(QWidget* owner, const QString& fileName, const QString& filter) = 0;

    // A folder chooser with a title. Returns the chosen folder or empty text
    // on cancel or failure.
    virtual QString BrowseForFolder(QWidget* owner, const QString& title) = 0;

    // Ends the program at once with the exit status `status`: no window
    // closes, nothing of the windows runs. Only the program-end work (below)
    // is done first. Leaving because the user asked to ends with
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

// Work that must be done on every way the program ends, the abrupt end of
// EndProgram included: the address books being written are finished, so that
// each file alone holds every document. Added once by the code that starts
// such work (the same function added twice is kept once). Run by every
// EndProgram implementation that ends the process, and at a normal end;
// running it again does nothing until more is added.
void AddProgramEndWork(void (*work)());
void RunProgramEndWork();

// The program's Dialogs. Set once at start-up by the windowed program (or by a
// test); asking before anything was set is a programming error and aborts.
Dialogs& dialogs();
void setDialogs(Dialogs* d);
