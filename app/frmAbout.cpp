#include "app/frmAbout.h"

#include "app/Look.h"
#include "app/MainMenu.h"

#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QShowEvent>

namespace {

constexpr int kBannerHeight = 99;  // a quarter of the window
constexpr int kMargin = 24;

QFont sized(QFont font, qreal points, bool bold)
{
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

QLabel* label(QWidget* parent, const QString& text, const QRect& geometry, const QFont& font)
{
    auto* l = new QLabel(text, parent);
    l->setGeometry(geometry);
    l->setFont(font);
    return l;
}

// An address book card: the emblem at the left of the banner.
void drawEmblem(QPainter& p, const QRectF& r)
{
    p.setPen(QPen(QColor(255, 255, 255, 220), 2));
    p.setBrush(QColor(255, 255, 255, 40));
    p.drawRoundedRect(r, 6, 6);
    const QRectF head(r.left() + r.width() * 0.14, r.top() + r.height() * 0.2, r.width() * 0.24, r.width() * 0.24);
    p.setBrush(QColor(255, 255, 255, 200));
    p.setPen(Qt::NoPen);
    p.drawEllipse(head);
    QPainterPath body;
    const qreal bodyTop = head.bottom() + 3;
    body.moveTo(head.left() - 6, r.bottom() - r.height() * 0.16);
    body.quadTo(head.center().x(), bodyTop - 4, head.right() + 6, r.bottom() - r.height() * 0.16);
    body.closeSubpath();
    p.drawPath(body);
    p.setPen(QPen(QColor(255, 255, 255, 200), 3, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 3; ++i) {
        const qreal y = r.top() + r.height() * (0.3 + 0.2 * i);
        p.drawLine(QPointF(r.left() + r.width() * 0.5, y), QPointF(r.right() - r.width() * 0.12, y));
    }
}

}  // namespace

frmAbout::frmAbout(QWidget* owner)
    : QDialog(owner,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
                  | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setModal(true);
    setFixedSize(ClientWidth, ClientHeight);
    setSizeGripEnabled(false);
    look::apply(this);
    const QFont font = look::font();

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(0, 0, ClientWidth, kBannerHeight);
    Image1->setPixmap(banner(ClientWidth, kBannerHeight));

    int y = kBannerHeight + 12;
    Label7 = label(this, QStringLiteral("Korvane"), QRect(kMargin, y, 300, 18), sized(font, 10, true));
    Label7->setObjectName(QStringLiteral("Label7"));
    y += 18;
    Label8 = label(this, QStringLiteral("Pellaro"), QRect(kMargin, y, 300, 30), sized(font, 17, true));
    Label8->setObjectName(QStringLiteral("Label8"));
    y += 36;

    const QFont bold = sized(font, 8.25, true);
    QLabel* versionCaption = label(this, QStringLiteral("Version :"), QRect(kMargin, y, 64, 16), bold);
    versionCaption->setObjectName(QStringLiteral("LblVersionCaption"));
    QLabel* version = label(this, QStringLiteral("6.7"), QRect(kMargin + 66, y, 80, 16), font);
    version->setObjectName(QStringLiteral("LblVersion"));
    y += 18;
    QLabel* notice = label(this, QStringLiteral("Copyright \u00A9 2026 Korvane. All rights reserved."),
                           QRect(kMargin, y, ClientWidth - 2 * kMargin, 16), font);
    notice->setObjectName(QStringLiteral("LblCopyright"));
    y += 28;

    for (int i = 0; i < 4; ++i) {
        QLabel* caption = label(this, QString::fromLatin1(ContactCaptions[i]), QRect(kMargin, y, 120, 16), bold);
        caption->setObjectName(QStringLiteral("LblContactCaption%1").arg(i));
        label(this, QStringLiteral(":"), QRect(kMargin + 124, y, 8, 16), bold);
        QLabel* value = label(this, QString::fromLatin1(ContactValues[i]), QRect(kMargin + 140, y, 300, 16), font);
        value->setObjectName(QStringLiteral("LblContactValue%1").arg(i));
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        y += 20;
    }
    y += 8;

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    rule->setGeometry(kMargin, y, ClientWidth - 2 * kMargin, 2);
    y += 8;

    QLabel* warning = label(
        this,
        QStringLiteral("Warning: this program is protected by copyright law and international treaties. Copying "
                       "or passing on this program, or any part of it, without the written permission of Korvane "
                       "is not allowed and may lead to civil and criminal prosecution."),
        QRect(kMargin, y, ClientWidth - 2 * kMargin, 44), sized(font, 7.5, false));
    warning->setObjectName(QStringLiteral("LblWarning"));
    warning->setWordWrap(true);
    warning->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    warning->setStyleSheet(QStringLiteral("color: #555555;"));

    CmdOk = new QPushButton(QStringLiteral("&OK"), this);
    CmdOk->setObjectName(QStringLiteral("CmdOk"));
    CmdOk->setGeometry(ClientWidth - kMargin - 92, ClientHeight - 12 - 26, 92, 26);
    CmdOk->setDefault(true);
    CmdOk->setAutoDefault(true);
    connect(CmdOk, &QPushButton::clicked, this, &frmAbout::CmdOk_Click);
    MainMenu::addHelpKey(this, [] { return QStringLiteral("menus.html"); });
}

void frmAbout::CmdOk_Click()
{
    accept();
}

void frmAbout::showEvent(QShowEvent* event)
{
    // Centred over the main window each time it is shown.
    if (QWidget* owner = parentWidget()) {
        const QRect area = owner->window()->frameGeometry();
        QRect frame = frameGeometry();
        frame.moveCenter(area.center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

QPixmap frmAbout::banner(int width, int height)
{
    QPixmap pm(width, height);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient sky(0, 0, width, height);
    sky.setColorAt(0, QColor(0x12, 0x3a, 0x73));
    sky.setColorAt(0.55, QColor(0x1f, 0x5e, 0xb8));
    sky.setColorAt(1, QColor(0x3f, 0x9b, 0xd8));
    p.fillRect(QRect(0, 0, width, height), sky);

    // Two soft bands sweeping across.
    for (int i = 0; i < 2; ++i) {
        QPainterPath band;
        const qreal lift = i * 18;
        band.moveTo(0, height * 0.78 - lift);
        band.cubicTo(width * 0.3, height * 0.45 - lift, width * 0.62, height * 1.05 - lift, width, height * 0.5 - lift);
        band.lineTo(width, height);
        band.lineTo(0, height);
        band.closeSubpath();
        p.fillPath(band, QColor(255, 255, 255, i == 0 ? 34 : 22));
    }

    drawEmblem(p, QRectF(22, 18, 76, 60));

    QFont title = look::font();
    title.setPixelSize(24);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(116, 20, width - 130, 32), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Outlook to Notes"));
    QFont line = look::font();
    line.setPixelSize(12);
    p.setFont(line);
    p.setPen(QColor(255, 255, 255, 220));
    p.drawText(QRectF(118, 54, width - 130, 20), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Contacts and distribution lists into address books"));
    p.end();
    return pm;
}
