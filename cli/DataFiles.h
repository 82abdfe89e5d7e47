#pragma once
// Opening the data files named on the command line: the passwords of a
// password file, a password asked at the terminal, the code page the user
// names. Shared by the commands that read data files.

#include "source/outlook/Outlook.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace cli {

// The passwords of a password file (UTF-8, a byte-order mark allowed): one a
// line, without its line end (LF or CR LF); an empty line is none. Returns false, with `problem` set, when the
// file cannot be read.
bool ReadPasswordFile(const QString& path, QStringList& passwords, QString& problem);

// Asks for a password on standard input, `prompt` written to standard error,
// nothing echoed. Null when standard input is not a terminal or has ended.
std::optional<QString> AskTerminalPassword(const QString& prompt);

// Takes the code page of --codepage for 8-bit text that names none of its
// own. Returns false, with `problem` set, for a code page not known.
bool UseCodepage(const QString& text, QString& problem);

// Opens data files for reading with the passwords at hand: those of the
// password file, else whatever is typed at the terminal (each password typed
// is tried on the files opened after it too).
class DataFileOpener {
public:
    // `passwordFile` names the password file given, empty for none.
    DataFileOpener(QString passwordFile, QStringList passwords);

    // Opens `path` (its top folder reached). A protected file is tried with every
    // password at hand; with no password file, the terminal on standard input
    // is asked (three times at most) when none fits. Throws
    // outlook::OutlookError, its cause Protected or WrongPassword when no
    // password opened it.
    outlook::RDOStore Open(const QString& path);

    // The one line telling why the protected file `path` was not opened
    // (error of Open with the cause Protected or WrongPassword): no password
    // given, or none of them right. Never holds a password.
    QString PasswordProblem(const QString& path, const outlook::OutlookError& error) const;

private:
    QString passwordFile_;
    QStringList passwords_;
};

// True when `error` is about a password: none given, or a wrong one.
bool IsPasswordProblem(const outlook::OutlookError& error);

}  // namespace cli
