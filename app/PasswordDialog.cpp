#include "app/PasswordDialog.h"

#include "app/Look.h"
#include "app/MainMenu.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

PasswordDialog::PasswordDialog(QWidget* owner, const QString& text, const QString& title)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("PasswordDialog"));
    look::apply(this);
    setWindowTitle(title);
    setModal(true);

    LblPassword = new QLabel(text, this);
    LblPassword->setObjectName(QStringLiteral("LblPassword"));
    LblPassword->setWordWrap(true);
    LblPassword->setTextFormat(Qt::PlainText);
    LblPassword->setMinimumWidth(360);
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    // Nothing typed here is offered to input methods, undo or the clipboard.
    txtPassword->setAttribute(Qt::WA_InputMethodEnabled, false);
    txtPassword->setContextMenuPolicy(Qt::NoContextMenu);
    LblPassword->setBuddy(txtPassword);

    auto* buttons = new QDialogButtonBox(this);
    CmdOK = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    CmdOK->setObjectName(QStringLiteral("CmdOK"));
    CmdOK->setDefault(true);
    CmdCancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    CmdCancel->setObjectName(QStringLiteral("CmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 14, 14, 12);
    layout->setSpacing(10);
    layout->addWidget(LblPassword);
    layout->addWidget(txtPassword);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    txtPassword->setFocus();
    MainMenu::addHelpKey(this, [] { return QStringLiteral("sources.html"); });
}

std::optional<QString> PasswordDialog::Ask(QWidget* owner, const QString& text, const QString& title)
{
    PasswordDialog dialog(owner, text, title);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    QString password = dialog.txtPassword->text();
    // The line keeps no copy once answered.
    dialog.txtPassword->clear();
    return password;
}
