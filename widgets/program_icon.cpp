#include "widgets/program_icon.hpp"

#include <QPainter>
#include <QPainterPath>

namespace corvane {
namespace {

QColor ColourOf(ProgramIcon program) {
    switch (program) {
        case ProgramIcon::Keygen: return QColor(196, 132, 28);
        case ProgramIcon::Encrypt: return QColor(28, 110, 140);
        case ProgramIcon::Decrypt: return QColor(110, 60, 150);
    }
    return QColor(28, 110, 140);
}

// The photograph: a framed landscape filling the upper left of the tile.
void DrawPhotograph(QPainter& p) {
    const QRectF frame(14, 18, 72, 56);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 250, 245));
    p.drawRoundedRect(frame.adjusted(-4, -4, 4, 4), 3, 3);
    QLinearGradient sky(frame.topLeft(), frame.bottomLeft());
    sky.setColorAt(0, QColor(120, 180, 230));
    sky.setColorAt(1, QColor(200, 228, 245));
    p.setBrush(sky);
    p.drawRect(frame);
    p.setBrush(QColor(255, 205, 60));
    p.drawEllipse(QPointF(68, 32), 7, 7);
    QPainterPath hills;
    hills.moveTo(frame.left(), frame.bottom());
    hills.lineTo(frame.left(), 58);
    hills.quadTo(30, 40, 46, 56);
    hills.quadTo(60, 46, frame.right(), 60);
    hills.lineTo(frame.right(), frame.bottom());
    hills.closeSubpath();
    p.setBrush(QColor(60, 140, 70));
    p.drawPath(hills);
}

void DrawLock(QPainter& p, bool open) {
    const QColor metal(245, 245, 245);
    const QColor edge(40, 40, 40);
    QPen shackle(edge, 9, Qt::SolidLine, Qt::FlatCap);
    p.setBrush(Qt::NoBrush);
    p.setPen(shackle);
    QPainterPath arc;
    // The open shackle is lifted out of the body on its right leg.
    const qreal left = 62, right = 86, top = open ? 40 : 50, base = 70;
    arc.moveTo(left, base);
    arc.lineTo(left, top + 12);
    arc.arcTo(QRectF(left, top, right - left, 24), 180, -180);
    arc.lineTo(right, open ? top + 18 : base);
    p.drawPath(arc);
    shackle.setColor(metal);
    shackle.setWidth(5);
    p.setPen(shackle);
    p.drawPath(arc);
    p.setPen(QPen(edge, 2.5));
    p.setBrush(QColor(230, 180, 40));
    p.drawRoundedRect(QRectF(52, 68, 44, 30), 4, 4);
    p.setBrush(edge);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(74, 80), 3.5, 3.5);
    p.drawRect(QRectF(72.5, 80, 3, 9));
}

void DrawKey(QPainter& p) {
    const QColor edge(40, 40, 40);
    p.save();
    p.translate(70, 78);
    p.rotate(-35);
    QPainterPath key;
    key.addEllipse(QPointF(-16, 0), 11, 11);
    key.addRect(QRectF(-6, -3.5, 34, 7));
    key.addRect(QRectF(18, 3, 4, 8));
    key.addRect(QRectF(25, 3, 3, 6));
    key.setFillRule(Qt::WindingFill);
    QPainterPath hole;
    hole.addEllipse(QPointF(-18, 0), 4, 4);
    p.setPen(QPen(edge, 2.5));
    p.setBrush(QColor(230, 180, 40));
    p.drawPath(key.simplified().subtracted(hole));
    p.restore();
}

}  // namespace

QImage DrawProgramIcon(ProgramIcon program, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // The artwork is drawn on a 100 x 100 grid.
    p.scale(size / 100.0, size / 100.0);
    const QColor colour = ColourOf(program);
    QLinearGradient tile(0, 0, 0, 100);
    tile.setColorAt(0, colour.lighter(125));
    tile.setColorAt(1, colour.darker(130));
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(4, 4, 92, 92), 18, 18);
    DrawPhotograph(p);
    switch (program) {
        case ProgramIcon::Keygen: DrawKey(p); break;
        case ProgramIcon::Encrypt: DrawLock(p, false); break;
        case ProgramIcon::Decrypt: DrawLock(p, true); break;
    }
    p.end();
    return image;
}

}  // namespace corvane
