#include "gui/window_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// A module box with its serial plug on the left and a network plug on the right, and a "Q".
QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // The two plugs.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x55, 0x5b, 0x66));
    p.drawRoundedRect(QRectF(2, 24, 10, 16), 2, 2);
    p.drawRoundedRect(QRectF(52, 26, 10, 12), 2, 2);

    // The box.
    QLinearGradient fill(0, 8, 0, 56);
    fill.setColorAt(0, QColor(0x3d, 0x7e, 0xd6));
    fill.setColorAt(1, QColor(0x1c, 0x4a, 0x94));
    p.setBrush(fill);
    p.setPen(QPen(QColor(0x12, 0x30, 0x60), 2));
    p.drawRoundedRect(QRectF(9, 8, 46, 48), 8, 8);

    // The letter.
    p.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(19, 17, 26, 26));
    p.drawLine(QPointF(36, 36), QPointF(44, 46));
    return pixmap;
}

}  // namespace

QIcon UtilityIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(DrawIcon(size));
    return icon;
}
