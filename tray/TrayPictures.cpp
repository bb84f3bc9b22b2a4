#include "tray/TrayPictures.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPixmap>

namespace {

// The pictures are drawn on a 32-unit square, scaled to the side asked for.
constexpr int kSide = 32;

// A painter on `image` that draws in the 32-unit square.
void Begin(QPainter& painter, QImage& image)
{
    painter.begin(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(image.width() / double(kSide), image.height() / double(kSide));
}

// A filled disc with a white outline, the ground of both pictures.
QImage Disc(const QColor& fill, int side)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter;
    Begin(painter, image);
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(fill);
    painter.drawEllipse(QRectF(1.5, 1.5, kSide - 3, kSide - 3));
    return image;
}

QIcon ToIcon(const QImage& image)
{
    return QIcon(QPixmap::fromImage(image));
}

}  // namespace

QIcon AllWellPicture(int side)
{
    QImage image = Disc(QColor(0, 150, 60), side);
    QPainter painter;
    Begin(painter, image);
    painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tick;
    tick.moveTo(9, 16.5);
    tick.lineTo(14, 21.5);
    tick.lineTo(23, 11);
    painter.drawPath(tick);
    painter.end();
    return ToIcon(image);
}

QIcon FaultPicture(int side)
{
    QImage image = Disc(QColor(220, 0, 0), side);
    QPainter painter;
    Begin(painter, image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(14, 6.5, 4, 13), 2, 2);
    painter.drawEllipse(QRectF(13.5, 21.5, 5, 5));
    painter.end();
    return ToIcon(image);
}
