#include "app/QtDialogs.h"

#include "app/Look.h"
#include "app/MainMenu.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include <QGridLayout>
#include <QSpacerItem>

#include <cstdio>
#include <cstdlib>

namespace {

// Room the window frame takes beside the title: the window's icon and the
// buttons of its title bar.
constexpr int TitleBarChrome = 120;

// A message box is only as wide as its text and buttons; a longer title
// would be cut off in the title bar. Widen the box so the whole title shows,
// measured in the title bar's usual face, bold, which is at most one step
// larger than the box's own.
void fitToTitle(QMessageBox& box)
{
    QFont titleFont = box.font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.25);
    const int width = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + TitleBarChrome;
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                      grid->columnCount());
}

} // namespace

MsgAnswer QtDialogs::MsgBox(QWidget* owner, const QString& text, MsgButtons buttons, MsgIcon icon,
                            const QString& title, MsgAnswer defaultAnswer)
{
    QMessageBox box(owner);
    look::apply(&box);
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
    fitToTitle(box);
    MainMenu::addHelpKey(&box, [] { return QStringLiteral("messages.html"); });
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
    // At once: no window closes and no clean-up of the windows runs. Nothing
    // is pending: every document was committed when it was saved.
    std::fflush(nullptr);
    std::_Exit(status);
}
