#include "app/Look.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QWidget>

#include <algorithm>

namespace look {

namespace {

const QString kTahoma = QStringLiteral("Tahoma");

// Where Tahoma may lie outside the font folders the system searches: Wine's
// own fonts (Debian's fonts-wine). Only the regular face is taken: Wine's
// bold face has the widths of Tahoma Bold but strokes hardly heavier than
// the regular's, so bold captions would not look bold. Bold is drawn from
// the regular face instead.
const char* const kTahomaFolders[] = {"/usr/share/wine/fonts", "/usr/lib/wine/fonts"};

// The faces tried after Tahoma, nearest in width first; none is condensed.
const char* const kFallbacks[] = {"Liberation Sans", "Arimo", "Noto Sans", "DejaVu Sans"};

// Wine's Tahoma comes out lower than Tahoma: a line of it at 8.25 points is
// 11 pixels high, not 13, so lines crowd and descenders are cut. Two things
// in the file cause it. Its embedded bitmaps (tables EBLC and EBDT) carry
// their own, smaller line metrics for the small sizes, and it asks to be laid
// out by its typographic metrics (bit 7, USE_TYPO_METRICS, of fsSelection in
// the OS/2 table), whose ascent is a quarter below the ascent of the hhea
// table that Tahoma is laid out by elsewhere. The copy loaded hides the
// bitmap tables (a table of another name is skipped; the glyphs are drawn
// from their outlines anyway) and clears that bit.
QByteArray withTahomaLineMetrics(QByteArray font)
{
    auto u16 = [&font](qsizetype at) {
        return at + 2 <= font.size() ? quint16((quint8(font[at]) << 8) | quint8(font[at + 1])) : quint16(0);
    };
    auto u32 = [&](qsizetype at) { return (quint32(u16(at)) << 16) | u16(at + 2); };
    constexpr qsizetype FsSelection = 62;
    constexpr quint8 UseTypoMetrics = 0x80;
    const int tables = u16(4);
    for (int i = 0; i < tables; ++i) {
        const qsizetype record = 12 + 16 * qsizetype(i);
        const QByteArray tag = font.mid(record, 4);
        if (tag == "EBLC" || tag == "EBDT") {
            font[record] = 'x';
        } else if (tag == "OS/2" && u32(record + 12) > FsSelection + 1) {
            const qsizetype at = qsizetype(u32(record + 8)) + FsSelection + 1;  // low byte of the big-endian word
            if (at < font.size())
                font[at] = char(quint8(font[at]) & ~UseTypoMetrics);
        }
    }
    return font;
}

QString chooseFamily()
{
    if (!QFontDatabase::hasFamily(kTahoma)) {
        for (const char* folder : kTahomaFolders) {
            QFile file(QDir(QString::fromLatin1(folder)).filePath(QStringLiteral("tahoma.ttf")));
            if (file.open(QIODevice::ReadOnly)
                && QFontDatabase::addApplicationFontFromData(withTahomaLineMetrics(file.readAll())) >= 0)
                break;
        }
    }
    if (QFontDatabase::hasFamily(kTahoma))
        return kTahoma;
    for (const char* family : kFallbacks) {
        if (QFontDatabase::hasFamily(QString::fromLatin1(family)))
            return QString::fromLatin1(family);
    }
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

QString g_family;

const QString& family()
{
    if (g_family.isEmpty())
        g_family = chooseFamily();
    return g_family;
}

}  // namespace

QFont font(qreal points)
{
    QFont f(family());
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    return f;
}

bool hasTahoma()
{
    return family() == kTahoma;
}

void useFamilyForTests(const QString& family)
{
    g_family = family;
}

void setBold(QWidget* widget, bool bold)
{
    QFont f = widget->font();
    f.setBold(bold);
    widget->setFont(f);
    // The skin sets weights by the kind of control; this property wins over
    // those rules.
    widget->setProperty("bold", bold);
}

const QString& skin()
{
    static const QString sheet = QStringLiteral(R"(
frmMain, QDialog, HelpViewer { background: #eef3f9; }
QWidget#HeaderBand {
    background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #ffffff, stop:0.55 #f2f7fd, stop:1 #cfe0f4);
}
QLabel#Label7 { color: #174a8f; }
QLabel#Label8 { color: #10335f; }
QLabel#Label9 { color: #3b4a5c; }
QMenuBar {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fdfeff, stop:1 #dbe6f3);
    border-bottom: 1px solid #a9bcd4;
}
QMenuBar::item { padding: 3px 10px; background: transparent; color: #1d2b3c; }
QMenuBar::item:selected { background: #c4daf3; border: 1px solid #7fa6d6; border-radius: 2px; }
QMenu { background: #ffffff; border: 1px solid #9db4d0; padding: 2px; }
QMenu::item { padding: 4px 20px 4px 6px; color: #1d2b3c; }
QMenu::item:selected { background: #c4daf3; color: #10335f; }
QMenu::icon { padding-left: 4px; }
QTabWidget::pane { border: 1px solid #9db4d0; background: #f7f9fc; top: -1px; }
QTabBar::tab {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fbfcfe, stop:1 #d9e4f1);
    border: 1px solid #9db4d0; border-bottom: none;
    border-top-left-radius: 3px; border-top-right-radius: 3px;
    padding: 4px 14px 4px 8px; margin-right: 2px; color: #1d2b3c;
}
QTabBar::tab:selected { background: #f7f9fc; font-weight: bold; }
QTabBar::tab:disabled { color: #9aa7b6; background: #e6ebf1; }
QGroupBox {
    border: 1px solid #a9bcd4; border-radius: 4px; margin-top: 9px; background: #ffffff;
    font-weight: bold; color: #174a8f;
}
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; }
QGroupBox:disabled { color: #9aa7b6; background: #f3f5f8; }
QGroupBox QLabel, QGroupBox QRadioButton { font-weight: normal; }
QLabel, QRadioButton { color: #1d2b3c; background: transparent; }
QWidget#OptionsPanel { background: #ffffff; border: 1px solid #a9bcd4; border-radius: 4px; }
*[bold="true"] { font-weight: bold; }
QRadioButton:disabled, QLabel:disabled { color: #9aa7b6; }
QRadioButton { spacing: 5px; }
QRadioButton::indicator {
    width: 11px; height: 11px; border: 1px solid #7f9bbf; border-radius: 6px;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #e4edf7, stop:1 #ffffff);
}
QRadioButton::indicator:hover { border-color: #174a8f; }
QRadioButton::indicator:checked {
    background: qradialgradient(cx:0.5, cy:0.5, radius:0.5, fx:0.5, fy:0.5,
                                stop:0 #174a8f, stop:0.42 #174a8f, stop:0.52 #ffffff, stop:1 #ffffff);
}
QRadioButton::indicator:disabled { border-color: #c2cdd9; background: #f0f2f5; }
QRadioButton::indicator:checked:disabled {
    background: qradialgradient(cx:0.5, cy:0.5, radius:0.5, fx:0.5, fy:0.5,
                                stop:0 #9aa7b6, stop:0.42 #9aa7b6, stop:0.52 #f0f2f5, stop:1 #f0f2f5);
}
QPushButton {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #d3e0ef);
    border: 1px solid #7f9bbf; border-radius: 3px; padding: 3px 10px; color: #10335f;
}
QPushButton:hover { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #bcd4ef); }
QPushButton:pressed { background: #b3cbe8; }
QPushButton:default, QPushButton:focus { border-color: #174a8f; }
QPushButton:disabled { color: #9aa7b6; border-color: #c2cdd9; background: #eef1f5; }
QLineEdit, QComboBox, QTreeWidget, QTextBrowser {
    border: 1px solid #9db4d0; border-radius: 2px; background: #ffffff; selection-background-color: #c4daf3;
    selection-color: #10335f;
}
QComboBox QAbstractItemView {
    border: 1px solid #9db4d0; background: #ffffff; outline: none;
    selection-background-color: #c4daf3; selection-color: #10335f;
}
QLineEdit { padding: 1px 3px; }
QLineEdit:disabled, QComboBox:disabled { background: #f0f2f5; color: #9aa7b6; }
QComboBox { padding: 2px 6px; }
QComboBox::drop-down {
    subcontrol-origin: padding; subcontrol-position: top right; width: 20px;
    border-left: 1px solid #9db4d0;
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #d3e0ef);
}
QHeaderView::section {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fbfcfe, stop:1 #dbe6f3);
    border: none; border-bottom: 1px solid #a9bcd4; padding: 3px 6px; font-weight: bold; color: #10335f;
}
QStatusBar {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #e9f0f8, stop:1 #cddbeb);
    border-top: 1px solid #a9bcd4;
}
QStatusBar::item { border: none; }
QStatusBar QLabel { padding: 0 6px; color: #1d2b3c; border-right: 1px solid #a9bcd4; }
QToolTip { background: #ffffe8; color: #1d2b3c; border: 1px solid #9db4d0; padding: 2px; }
QToolBar {
    background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fdfeff, stop:1 #dbe6f3);
    border: none; border-bottom: 1px solid #a9bcd4; spacing: 4px; padding: 2px;
}
QToolButton { color: #10335f; padding: 2px 6px; border: 1px solid transparent; border-radius: 2px; }
QToolButton:hover { background: #c4daf3; border-color: #7fa6d6; }
QToolButton:disabled { color: #9aa7b6; }
QMessageBox QLabel { color: #1d2b3c; }
)");
    return sheet;
}

void apply(QWidget* window)
{
    // The face becomes the application's: controls under a style sheet take
    // their face from the application, not from their window, and so do the
    // dialogs and tool tips Qt makes itself.
    const QFont face = font();
    if (QApplication::font() != face)
        QApplication::setFont(face);
    window->setFont(face);
    window->setStyleSheet(skin());
}

void fitCaption(QLabel* caption, QWidget* value, int minLeft)
{
    caption->ensurePolished();
    const QFontMetrics fm(caption->font());
    const QMargins m = caption->contentsMargins();
    const int frame = m.left() + m.right() + 2 * caption->margin();
    const int need = fm.horizontalAdvance(caption->text()) + frame + 1;
    const int lineHeight = fm.height() + m.top() + m.bottom() + 2 * caption->margin();
    // Blank space between the end of a caption and its value.
    constexpr int Gap = 4;
    QRect r = caption->geometry();
    if (r.height() < lineHeight) {
        r.moveTop(r.top() - (lineHeight - r.height() + 1) / 2);
        r.setHeight(lineHeight);
    }
    // The caption may reach up to a gap before its value.
    const int end = value ? value->x() - Gap : r.x() + r.width();
    if (end - r.x() >= need) {
        r.setWidth(std::max(r.width(), end - r.x()));
    } else {
        r.setLeft(std::max(minLeft, end - need));
        r.setWidth(need);
        if (value && r.x() + r.width() + Gap > value->x()) {
            QRect v = value->geometry();
            v.setLeft(r.x() + r.width() + Gap);
            value->setGeometry(v);
        }
    }
    caption->setGeometry(r);
}

}  // namespace look
