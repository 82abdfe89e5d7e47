#include "app/DrawnIcon.h"

#include <QPainter>
#include <QPixmap>

QIcon drawnIcon(const std::function<void(QPainter&)>& draw)
{
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(size / 16.0, size / 16.0);
        draw(p);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}
