#include "app/QtDialogs.h"

#include "app/Look.h"
#include "app/MainMenu.h"
#include "app/PasswordDialog.h"
#include "common/programend/ProgramEnd.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
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

// The picture of a message box, drawn in the colours of the windows: a blue
// badge for information and questions, an amber triangle for warnings, a red
// badge for errors.
QPixmap messagePicture(MsgIcon icon, qreal ratio)
{
    constexpr int Size = 32;
    QPixmap pm(QSize(Size, Size) * ratio);
    pm.setDevicePixelRatio(ratio);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area(1.5, 1.5, Size - 3, Size - 3);
    QColor light(0x5c, 0x9c, 0xe6);
    QColor dark(0x17, 0x4a, 0x8f);
    QColor ink = Qt::white;
    QString sign = QStringLiteral("i");
    if (icon == MsgIcon::Warning) {
        light = QColor(0xf7, 0xc9, 0x4a);
        dark = QColor(0xc9, 0x8a, 0x0b);
        ink = QColor(0x4a, 0x35, 0x00);
        sign = QStringLiteral("!");
    } else if (icon == MsgIcon::Critical) {
        light = QColor(0xe8, 0x6a, 0x6a);
        dark = QColor(0xa6, 0x1b, 0x1b);
        sign = QStringLiteral("\u00D7");
    } else if (icon == MsgIcon::Question) {
        sign = QStringLiteral("?");
    }
    QLinearGradient fill(area.topLeft(), area.bottomLeft());
    fill.setColorAt(0, light);
    fill.setColorAt(1, dark);
    p.setBrush(fill);
    p.setPen(QPen(dark.darker(130), 1));
    QRectF signArea = area;
    if (icon == MsgIcon::Warning) {
        QPainterPath triangle;
        triangle.moveTo(area.center().x(), area.top());
        triangle.lineTo(area.right(), area.bottom() - 1);
        triangle.lineTo(area.left(), area.bottom() - 1);
        triangle.closeSubpath();
        p.drawPath(triangle);
        signArea.setTop(area.top() + area.height() * 0.3);
    } else {
        p.drawEllipse(area);
    }
    QFont font = look::font();
    font.setBold(true);
    font.setPixelSize(icon == MsgIcon::Critical ? 24 : 19);
    p.setFont(font);
    p.setPen(ink);
    p.drawText(signArea, Qt::AlignCenter, sign);
    return pm;
}

// The window a dialog belongs to, or none.
QWidget* window(QObject* owner)
{
    return qobject_cast<QWidget*>(owner);
}

}  // namespace

MsgAnswer QtDialogs::MsgBox(QObject* owner, const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title,
                            MsgAnswer defaultAnswer)
{
    QMessageBox box(window(owner));
    look::apply(&box);
    box.setWindowTitle(title);
    box.setText(text);
    switch (icon) {
    case MsgIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MsgIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MsgIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    case MsgIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    if (buttons == MsgButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(defaultAnswer == MsgAnswer::No ? QMessageBox::No : QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    // The box keeps its kind of icon; only the picture is ours.
    if (auto* picture = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label")))
        picture->setPixmap(messagePicture(icon, box.devicePixelRatioF()));
    // Plain captions on the buttons, as on every other button of the program.
    for (QAbstractButton* button : box.buttons())
        button->setIcon(QIcon());
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

QString QtDialogs::GetOpenFileName(QObject* owner, const QString& fileName, const QString& filter)
{
    return QFileDialog::getOpenFileName(window(owner), QString(), fileName, toQtFilter(filter));
}

QString QtDialogs::BrowseForFolder(QObject* owner, const QString& title)
{
    return QFileDialog::getExistingDirectory(window(owner), title, QString(), QFileDialog::ShowDirsOnly);
}

std::optional<QString> QtDialogs::AskPassword(QObject* owner, const QString& text, const QString& title)
{
    return PasswordDialog::Ask(window(owner), text, title);
}

void QtDialogs::EndProgram(int status)
{
    // At once: no window closes and no clean-up of the windows runs; only
    // the address books being written are finished first.
    RunProgramEndWork();
    std::fflush(nullptr);
    std::_Exit(status);
}
