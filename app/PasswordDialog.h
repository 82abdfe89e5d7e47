#pragma once
// The question for the password of a protected data file: what is asked (the
// file, and whether the password given before was wrong), a line that shows
// no character typed, OK and Cancel. Owned by the window that opens the file.

#include <QDialog>
#include <QString>

#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;

class PasswordDialog : public QDialog {
    Q_OBJECT
public:
    PasswordDialog(QWidget* owner, const QString& text, const QString& title);

    // Shows the question modally over `owner`; the password typed, or null
    // when cancelled.
    static std::optional<QString> Ask(QWidget* owner, const QString& text, const QString& title);

    QLabel* LblPassword;
    QLineEdit* txtPassword;
    QPushButton* CmdOK;
    QPushButton* CmdCancel;
};
