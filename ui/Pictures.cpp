#include "ui/Pictures.h"
#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace rv::pictures {

namespace {

constexpr int kSize = 32;

QPixmap draw(const std::function<void(QPainter&)>& paint) {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    paint(p);
    return pixmap;
}

QPainterPath heart() {
    QPainterPath path;
    path.moveTo(16, 28);
    path.cubicTo(2, 18, 2, 6, 9, 5);
    path.cubicTo(13, 4, 16, 8, 16, 10);
    path.cubicTo(16, 8, 19, 4, 23, 5);
    path.cubicTo(30, 6, 30, 18, 16, 28);
    return path;
}

QPixmap arrow(bool right, bool toEnd) {
    return draw([=](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 90, 160));
        QPolygonF tri;
        if (right)
            tri << QPointF(9, 6) << QPointF(23, 16) << QPointF(9, 26);
        else
            tri << QPointF(23, 6) << QPointF(9, 16) << QPointF(23, 26);
        p.drawPolygon(tri);
        if (toEnd) p.drawRect(right ? QRectF(24, 6, 3, 20) : QRectF(5, 6, 3, 20));
    });
}

} // namespace

QPixmap alive() {
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(120, 0, 0), 1.5));
        p.setBrush(QColor(220, 30, 40));
        p.drawPath(heart());
    });
}

QPixmap dead() {
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 60), 1.5));
        p.setBrush(QColor(150, 150, 150));
        p.drawPath(heart());
        p.setPen(QPen(Qt::black, 2));
        p.drawPolyline(QPolygonF()
                       << QPointF(16, 9) << QPointF(13, 15) << QPointF(18, 19) << QPointF(15, 26));
    });
}

QPixmap arrowLeft() {
    return arrow(false, false);
}
QPixmap arrowRight() {
    return arrow(true, false);
}
QPixmap firstArrow() {
    return arrow(false, true);
}
QPixmap lastArrow() {
    return arrow(true, true);
}

QPixmap plus() {
    return draw([](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 140, 60));
        p.drawRect(QRectF(13, 5, 6, 22));
        p.drawRect(QRectF(5, 13, 22, 6));
    });
}

QPixmap cross() {
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(190, 20, 20), 5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(8, 8, 24, 24);
        p.drawLine(24, 8, 8, 24);
    });
}

QPixmap book() {
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(40, 40, 90), 1.5));
        p.setBrush(QColor(70, 110, 190));
        p.drawRect(QRectF(7, 4, 18, 24));
        p.setPen(QPen(Qt::white, 1.5));
        for (int y : {10, 14, 18})
            p.drawLine(11, y, 21, y);
    });
}

QPixmap globe() {
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(20, 80, 120), 1.5));
        p.setBrush(QColor(120, 190, 230));
        p.drawEllipse(QRectF(4, 4, 24, 24));
        p.drawEllipse(QRectF(11, 4, 10, 24));
        p.drawLine(4, 16, 28, 16);
    });
}

QPixmap info() {
    return draw([](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 90, 160));
        p.drawEllipse(QRectF(4, 4, 24, 24));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(14.5, 8, 3, 3));
        p.drawRect(QRectF(14.5, 13, 3, 11));
    });
}

QPixmap funnel() {
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(40, 40, 40), 1.5));
        p.setBrush(QColor(240, 190, 40));
        p.drawPolygon(QPolygonF() << QPointF(4, 6) << QPointF(28, 6) << QPointF(18, 17)
                                  << QPointF(18, 27) << QPointF(14, 24) << QPointF(14, 17));
    });
}

QPixmap funnelOff() {
    return draw([](QPainter& p) {
        p.drawPixmap(0, 0, funnel());
        p.setPen(QPen(QColor(190, 20, 20), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(5, 27, 27, 5);
    });
}

QPixmap sheet() {
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(30, 100, 50), 1.2));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(5, 5, 22, 22));
        for (int i = 1; i < 4; ++i) {
            p.drawLine(5, 5 + i * 5.5, 27, 5 + i * 5.5);
            p.drawLine(5 + i * 5.5, 5, 5 + i * 5.5, 27);
        }
    });
}

QPixmap document() {
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 60), 1.2));
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF() << QPointF(7, 4) << QPointF(20, 4) << QPointF(26, 10)
                                  << QPointF(26, 28) << QPointF(7, 28));
        for (int y : {12, 16, 20, 24})
            p.drawLine(10, y, 23, y);
    });
}

QPixmap import() {
    return draw([](QPainter& p) {
        p.drawPixmap(0, 0, document());
        p.setPen(QPen(QColor(30, 140, 60), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(16, 8, 16, 22);
        p.drawLine(11, 17, 16, 22);
        p.drawLine(21, 17, 16, 22);
    });
}

QPixmap disk() {
    return draw([](QPainter& p) {
        p.setPen(QPen(QColor(30, 30, 60), 1.2));
        p.setBrush(QColor(60, 80, 140));
        p.drawRect(QRectF(5, 5, 22, 22));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(9, 5, 14, 8));
        p.drawRect(QRectF(9, 18, 14, 9));
    });
}

QPixmap restore() {
    return draw([](QPainter& p) {
        p.drawPixmap(0, 0, disk());
        p.setPen(QPen(QColor(240, 190, 40), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(8, 8, 16, 16), 30 * 16, 270 * 16);
    });
}

const std::vector<LogoPart>& logoParts() {
    // A load cell on its bearing plate, set on the rock.
    static const std::vector<LogoPart> parts{
        {QRectF(2, 20, 28, 10), QColor(90, 70, 50)},  // the rock
        {QRectF(12, 6, 8, 14), QColor(220, 160, 40)}, // the cell
        {QRectF(9, 4, 14, 3), QColor(40, 40, 40)},    // the plate
    };
    return parts;
}

QImage logoImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(double(size) / kLogoGrid, double(size) / kLogoGrid);
    p.setPen(Qt::NoPen);
    for (const LogoPart& part : logoParts()) {
        p.setBrush(part.colour);
        p.drawRect(part.rect);
    }
    return image;
}

QPixmap logo() {
    return QPixmap::fromImage(logoImage(kSize));
}

QIcon logoIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(logoImage(size)));
    return icon;
}

namespace {
QPixmap box(bool ticked) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(70, 70, 70), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 1.5, 12, 12));
    if (ticked) {
        p.setPen(QPen(QColor(20, 110, 40), 2));
        p.drawPolyline(QPolygonF() << QPointF(4, 8) << QPointF(7, 11) << QPointF(12, 4));
    }
    return pixmap;
}
} // namespace

QPixmap boxTicked() {
    return box(true);
}

QPixmap boxEmpty() {
    return box(false);
}

} // namespace rv::pictures
