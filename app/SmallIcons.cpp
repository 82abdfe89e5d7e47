#include "app/SmallIcons.h"

#include "app/DrawnIcon.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

#include <functional>

namespace {

using Draw = std::function<void(QPainter&)>;

struct Keyed {
    int position;
    const char* key;
};

constexpr Keyed kKeys[] = {
    {3, "Notesico"},  {56, "Contact"},  {57, "264"},     {58, "tasks"},  {59, "mail"},
    {60, "cal"},      {61, "contacts"}, {62, "journal"}, {63, "Help"},   {64, "Load"},
    {65, "OpenFile"}, {66, "Preview"},  {68, "Abouts"},  {69, "drafts"}, {70, "trash"},
    {71, "inbox"},    {72, "junk"},     {73, "outbox"},  {74, "email"},  {75, "follow-up"},
};

QLinearGradient vertical(qreal top, qreal bottom, const QColor& light, const QColor& dark)
{
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0, light);
    g.setColorAt(1, dark);
    return g;
}

void letter(QPainter& p, const QRectF& box, const QString& text, const QColor& colour, int pixels)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(pixels);
    p.setFont(f);
    p.setPen(colour);
    p.drawText(box, Qt::AlignCenter, text);
}

// A closed folder in the given colour.
void folder(QPainter& p, const QColor& colour)
{
    p.setPen(QPen(colour.darker(160), 0.8));
    p.setBrush(colour.darker(115));
    QPainterPath tab;
    tab.moveTo(1.5, 4);
    tab.lineTo(1.5, 2.5);
    tab.lineTo(6, 2.5);
    tab.lineTo(7.5, 4);
    tab.closeSubpath();
    p.drawPath(tab);
    p.setBrush(vertical(4, 14, colour.lighter(130), colour));
    p.drawRoundedRect(QRectF(1.5, 4, 13, 10), 1, 1);
}

// A head and shoulders.
void person(QPainter& p, qreal x, qreal y, qreal scale, const QColor& colour)
{
    p.setPen(QPen(colour.darker(150), 0.8));
    p.setBrush(vertical(y, y + 12 * scale, colour.lighter(140), colour));
    p.drawEllipse(QRectF(x + 2.5 * scale, y, 5 * scale, 5 * scale));
    QPainterPath body;
    body.moveTo(x, y + 12 * scale);
    body.cubicTo(x, y + 6 * scale, x + 10 * scale, y + 6 * scale, x + 10 * scale, y + 12 * scale);
    body.closeSubpath();
    p.drawPath(body);
}

// An envelope.
void envelope(QPainter& p, const QColor& paper, const QColor& line)
{
    p.setPen(QPen(line, 0.9));
    p.setBrush(vertical(4, 13, Qt::white, paper));
    p.drawRect(QRectF(1.5, 4, 13, 9));
    p.setBrush(Qt::NoBrush);
    QPainterPath flap;
    flap.moveTo(1.5, 4);
    flap.lineTo(8, 9);
    flap.lineTo(14.5, 4);
    p.drawPath(flap);
}

// An in- or out-tray with an arrow.
void tray(QPainter& p, bool outgoing)
{
    p.setPen(QPen(QColor(0x35, 0x55, 0x80), 0.9));
    p.setBrush(vertical(9, 15, QColor(0xd6, 0xe4, 0xf5), QColor(0x8d, 0xaa, 0xd2)));
    QPainterPath box;
    box.moveTo(1.5, 9);
    box.lineTo(5, 9);
    box.lineTo(6, 11);
    box.lineTo(10, 11);
    box.lineTo(11, 9);
    box.lineTo(14.5, 9);
    box.lineTo(14.5, 14.5);
    box.lineTo(1.5, 14.5);
    box.closeSubpath();
    p.drawPath(box);
    const QColor arrow = outgoing ? QColor(0x2f, 0x9e, 0x44) : QColor(0x1f, 0x6f, 0xc8);
    p.setPen(QPen(arrow, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (outgoing) {
        p.drawLine(QPointF(8, 8), QPointF(8, 1.5));
        p.drawLine(QPointF(5.5, 4), QPointF(8, 1.5));
        p.drawLine(QPointF(10.5, 4), QPointF(8, 1.5));
    } else {
        p.drawLine(QPointF(8, 1.5), QPointF(8, 8));
        p.drawLine(QPointF(5.5, 5.5), QPointF(8, 8));
        p.drawLine(QPointF(10.5, 5.5), QPointF(8, 8));
    }
}

// A sheet of paper with lines.
void sheet(QPainter& p, const QColor& edge)
{
    p.setPen(QPen(edge, 0.9));
    p.setBrush(Qt::white);
    QPainterPath page;
    page.moveTo(3, 1.5);
    page.lineTo(10, 1.5);
    page.lineTo(13, 4.5);
    page.lineTo(13, 14.5);
    page.lineTo(3, 14.5);
    page.closeSubpath();
    p.drawPath(page);
    p.setPen(QPen(edge.lighter(150), 0.8));
    for (qreal y = 6; y < 13; y += 2)
        p.drawLine(QPointF(5, y), QPointF(11, y));
}

void badge(QPainter& p, const QColor& light, const QColor& dark, const QString& text)
{
    QRadialGradient fill(QPointF(6, 5), 10);
    fill.setColorAt(0, light);
    fill.setColorAt(1, dark);
    p.setPen(QPen(dark.darker(140), 1));
    p.setBrush(fill);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    letter(p, QRectF(1.5, 1.5, 13, 13), text, Qt::white, 10);
}

// The data file itself: a drum of records.
void drawStore(QPainter& p)
{
    const QColor body(0x3a, 0x78, 0xc2);
    p.setPen(QPen(body.darker(160), 0.9));
    p.setBrush(vertical(3, 14, body.lighter(150), body));
    QPainterPath drum;
    drum.moveTo(2.5, 4);
    drum.lineTo(2.5, 12.5);
    drum.arcTo(QRectF(2.5, 11, 11, 3.5), 180, 180);
    drum.lineTo(13.5, 4);
    drum.closeSubpath();
    p.drawPath(drum);
    p.setBrush(body.lighter(170));
    p.drawEllipse(QRectF(2.5, 2, 11, 4));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 0.7));
    p.drawArc(QRectF(2.5, 6.5, 11, 3.5), 180 * 16, 180 * 16);
    p.drawArc(QRectF(2.5, 9, 11, 3.5), 180 * 16, 180 * 16);
}

// An address card with a person on it: a contact folder.
void drawContacts(QPainter& p)
{
    p.setPen(QPen(QColor(0x8a, 0x62, 0x1c), 0.9));
    p.setBrush(vertical(2, 14, QColor(0xff, 0xf1, 0xc4), QColor(0xf0, 0xc8, 0x5c)));
    p.drawRoundedRect(QRectF(1.5, 2.5, 13, 11), 1.5, 1.5);
    person(p, 2.8, 4.5, 0.65, QColor(0x2e, 0x6d, 0xb4));
    p.setPen(QPen(QColor(0x8a, 0x62, 0x1c), 0.9));
    p.drawLine(QPointF(10, 6), QPointF(13, 6));
    p.drawLine(QPointF(10, 8.5), QPointF(13, 8.5));
    p.drawLine(QPointF(10, 11), QPointF(12, 11));
}

Draw pictureFor(int position)
{
    switch (position) {
    case 0:
        return drawStore;
    case 3:  // Notesico: the address book, a bound notebook
        return [](QPainter& p) {
            p.setPen(QPen(QColor(0x7a, 0x1f, 0x1f), 0.9));
            p.setBrush(vertical(1, 15, QColor(0xf0, 0x6b, 0x4f), QColor(0xb8, 0x2e, 0x22)));
            p.drawRoundedRect(QRectF(3, 1.5, 11, 13), 1, 1);
            p.setBrush(QColor(0x50, 0x10, 0x10));
            for (qreal y = 3; y < 14; y += 3)
                p.drawRect(QRectF(1.5, y, 3, 1.2));
            letter(p, QRectF(4, 2, 10, 12), QStringLiteral("N"), Qt::white, 8);
        };
    case 56:  // Contact
        return [](QPainter& p) { person(p, 3, 2, 1.0, QColor(0x2e, 0x6d, 0xb4)); };
    case 57:  // 264: two people
        return [](QPainter& p) {
            person(p, 6, 3, 0.85, QColor(0x6b, 0x8f, 0x3a));
            person(p, 1, 4, 0.9, QColor(0x2e, 0x6d, 0xb4));
        };
    case 58:  // tasks: a ticked box
        return [](QPainter& p) {
            p.setPen(QPen(QColor(0x44, 0x44, 0x44), 0.9));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(2.5, 3.5, 10, 10));
            p.setPen(QPen(QColor(0x1f, 0x9e, 0x3a), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            QPainterPath tick;
            tick.moveTo(4.5, 8);
            tick.lineTo(7, 11);
            tick.lineTo(14, 2.5);
            p.setBrush(Qt::NoBrush);
            p.drawPath(tick);
        };
    case 59:  // mail
        return [](QPainter& p) { envelope(p, QColor(0xe6, 0xe6, 0xd8), QColor(0x6a, 0x6a, 0x50)); };
    case 60:  // cal: a calendar sheet
        return [](QPainter& p) {
            p.setPen(QPen(QColor(0x55, 0x55, 0x55), 0.9));
            p.setBrush(Qt::white);
            p.drawRect(QRectF(1.5, 2.5, 13, 12));
            p.setBrush(QColor(0xc8, 0x32, 0x2a));
            p.drawRect(QRectF(1.5, 2.5, 13, 3.5));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0x80, 0x80, 0x80));
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 4; ++c)
                    p.drawRect(QRectF(3 + c * 2.8, 7.5 + r * 2.3, 1.6, 1.4));
        };
    case 61:
        return drawContacts;
    case 62:  // journal: a book with a bookmark
        return [](QPainter& p) {
            p.setPen(QPen(QColor(0x3d, 0x2a, 0x6b), 0.9));
            p.setBrush(vertical(1, 15, QColor(0x9d, 0x85, 0xd8), QColor(0x5a, 0x3e, 0x9e)));
            p.drawRect(QRectF(2.5, 1.5, 11, 13));
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(0xf2, 0xc1, 0x3a));
            p.drawRect(QRectF(10, 1.5, 2, 6));
        };
    case 63:  // Help
        return [](QPainter& p) { badge(p, QColor(0x6f, 0xa8, 0xf0), QColor(0x1f, 0x5e, 0xb8), QStringLiteral("?")); };
    case 64:  // Load
        return [](QPainter& p) { tray(p, false); };
    case 65:  // OpenFile: an open folder
        return [](QPainter& p) {
            folder(p, QColor(0xe8, 0xb9, 0x3c));
            p.setPen(QPen(QColor(0x8a, 0x62, 0x1c), 0.8));
            p.setBrush(vertical(7, 14, QColor(0xff, 0xe7, 0x9a), QColor(0xf2, 0xc4, 0x4a)));
            QPainterPath front;
            front.moveTo(3.5, 7);
            front.lineTo(15, 7);
            front.lineTo(12.5, 14);
            front.lineTo(1.5, 14);
            front.closeSubpath();
            p.drawPath(front);
        };
    case 66:  // Preview: a magnifier over a sheet
        return [](QPainter& p) {
            sheet(p, QColor(0x70, 0x70, 0x70));
            p.setPen(QPen(QColor(0x33, 0x33, 0x33), 1.2));
            p.setBrush(QColor(0xbf, 0xdf, 0xff, 200));
            p.drawEllipse(QRectF(4.5, 4.5, 6.5, 6.5));
            p.setPen(QPen(QColor(0x5a, 0x3a, 0x1a), 2.2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(10.5, 10.5), QPointF(14, 14));
        };
    case 68:  // Abouts
        return [](QPainter& p) { badge(p, QColor(0x7c, 0xd0, 0x8a), QColor(0x23, 0x85, 0x3b), QStringLiteral("i")); };
    case 69:  // drafts: a sheet and a pencil
        return [](QPainter& p) {
            sheet(p, QColor(0x70, 0x70, 0x70));
            p.setPen(QPen(QColor(0xd9, 0x8a, 0x1c), 2.4, Qt::SolidLine, Qt::FlatCap));
            p.drawLine(QPointF(6, 12.5), QPointF(14, 4.5));
            p.setPen(QPen(QColor(0x33, 0x33, 0x33), 1.2));
            p.drawPoint(QPointF(5.3, 13.2));
        };
    case 70:  // trash: a bin
        return [](QPainter& p) {
            p.setPen(QPen(QColor(0x44, 0x50, 0x5a), 0.9));
            p.setBrush(vertical(4, 15, QColor(0xd4, 0xdb, 0xe0), QColor(0x8c, 0x98, 0xa2)));
            QPainterPath bin;
            bin.moveTo(3, 4.5);
            bin.lineTo(13, 4.5);
            bin.lineTo(12, 14.5);
            bin.lineTo(4, 14.5);
            bin.closeSubpath();
            p.drawPath(bin);
            p.drawRect(QRectF(2, 2.5, 12, 2));
            p.drawLine(QPointF(6.5, 6.5), QPointF(6.5, 12.5));
            p.drawLine(QPointF(9.5, 6.5), QPointF(9.5, 12.5));
        };
    case 71:  // inbox
        return [](QPainter& p) { tray(p, false); };
    case 72:  // junk: an envelope crossed out
        return [](QPainter& p) {
            envelope(p, QColor(0xe6, 0xe6, 0xd8), QColor(0x6a, 0x6a, 0x50));
            p.setPen(QPen(QColor(0xd0, 0x20, 0x20), 2, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(9, 9), QPointF(14.5, 14.5));
            p.drawLine(QPointF(14.5, 9), QPointF(9, 14.5));
        };
    case 73:  // outbox
        return [](QPainter& p) { tray(p, true); };
    case 74:  // email: an at sign
        return [](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(vertical(1, 15, QColor(0x6f, 0xa8, 0xf0), QColor(0x1f, 0x5e, 0xb8)));
            p.drawRoundedRect(QRectF(1, 1, 14, 14), 3, 3);
            letter(p, QRectF(1, 0.5, 14, 14), QStringLiteral("@"), Qt::white, 12);
        };
    case 75:  // follow-up: a red flag
        return [](QPainter& p) {
            p.setPen(QPen(QColor(0x44, 0x44, 0x44), 1.2));
            p.drawLine(QPointF(3.5, 1.5), QPointF(3.5, 15));
            p.setPen(QPen(QColor(0x8a, 0x10, 0x10), 0.8));
            p.setBrush(vertical(2, 9, QColor(0xf0, 0x50, 0x40), QColor(0xc0, 0x18, 0x18)));
            QPainterPath flag;
            flag.moveTo(4, 2);
            flag.cubicTo(7, 0.5, 9, 3.5, 13.5, 2);
            flag.lineTo(13.5, 8.5);
            flag.cubicTo(9, 10, 7, 7, 4, 8.5);
            flag.closeSubpath();
            p.drawPath(flag);
        };
    default:
        break;
    }
    // Positions without a key: plain folders in a few shades.
    static const QColor shades[]
        = {QColor(0xe8, 0xb9, 0x3c), QColor(0x9c, 0xb8, 0xd8), QColor(0xa8, 0xc8, 0x8c), QColor(0xd0, 0xa8, 0xc8)};
    const QColor shade = shades[position % 4];
    return [shade](QPainter& p) { folder(p, shade); };
}

}  // namespace

const SmallIcons& SmallIcons::list()
{
    static const SmallIcons icons;
    return icons;
}

SmallIcons::SmallIcons()
{
    for (int i = 0; i < Count; ++i)
        icons_[size_t(i)] = drawnIcon(pictureFor(i));
}

QIcon SmallIcons::icon(int position) const
{
    if (position < 0 || position >= Count)
        return QIcon();
    return icons_[size_t(position)];
}

QString SmallIcons::key(int position) const
{
    for (const Keyed& k : kKeys) {
        if (k.position == position)
            return QString::fromLatin1(k.key);
    }
    return QString();
}

int SmallIcons::indexOf(const QString& key) const
{
    for (const Keyed& k : kKeys) {
        if (key == QLatin1String(k.key))
            return k.position;
    }
    return -1;
}

QPixmap SmallIcons::logo(int size)
{
    // An address card in front of a drum of records: contacts leaving a
    // data file for an address book.
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);

    QRadialGradient disc(QPointF(18, 14), 34);
    disc.setColorAt(0, QColor(0x5c, 0x9c, 0xe6));
    disc.setColorAt(1, QColor(0x17, 0x4a, 0x8f));
    p.setPen(QPen(QColor(0x10, 0x33, 0x66), 1.2));
    p.setBrush(disc);
    p.drawRoundedRect(QRectF(1, 1, 46, 46), 9, 9);

    p.setPen(QPen(QColor(0x8a, 0x62, 0x1c), 1.2));
    p.setBrush(vertical(10, 40, QColor(0xff, 0xf4, 0xd0), QColor(0xf0, 0xc8, 0x5c)));
    p.drawRoundedRect(QRectF(8, 12, 32, 24), 3, 3);
    person(p, 11, 16, 1.35, QColor(0x2e, 0x6d, 0xb4));
    p.setPen(QPen(QColor(0x8a, 0x62, 0x1c), 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(27, 19), QPointF(36, 19));
    p.drawLine(QPointF(27, 24), QPointF(36, 24));
    p.drawLine(QPointF(27, 29), QPointF(33, 29));

    p.setPen(QPen(QColor(0x1f, 0x7a, 0x30), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawLine(QPointF(30, 41), QPointF(42, 41));
    p.drawLine(QPointF(38, 37), QPointF(42, 41));
    p.drawLine(QPointF(38, 45), QPointF(42, 41));
    return pm;
}
