#include "app/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

MsgAnswer QtDialogs::MsgBox(QWidget* owner, const QString& text, MsgButtons buttons, MsgIcon icon,
                            const QString& title, MsgAnswer defaultAnswer)
{
    QMessageBox box(owner);
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case MsgIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MsgIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgIcon::Critical: box.setIcon(QMessageBox::Critical); break;
    case MsgIcon::Question: box.setIcon(QMessageBox::Question); break;
    }
    if (buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(defaultAnswer == MsgAnswer::No ? QMessageBox::No : QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int answer = box.exec();
    if (buttons == MsgButtons::YesNo)
        return answer == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
    return MsgAnswer::Ok;
}

QString QtDialogs::toQtFilter(const QString& filter)
{
    const qsizetype bar = filter.indexOf(u'|');
    return bar < 0 ? filter : filter.left(bar);
}

QString QtDialogs::GetOpenFileName(QWidget* owner, const QString& fileName, const QString& filter)
{
    return QFileDialog::getOpenFileName(owner, QString(), fileName, toQtFilter(filter));
}

QString QtDialogs::BrowseForFolder(QWidget* owner, const QString& title)
{
    return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
}

void QtDialogs::EndProgram(int status)
{
    // At once: no window closes and no clean-up of the windows runs; only
    // the address books being written are finished first.
    RunProgramEndWork();
    std::fflush(nullptr);
    std::_Exit(status);
}
