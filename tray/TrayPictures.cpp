#include "tray/TrayPictures.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QPixmap>

namespace {

constexpr int kSide = 32;

// A filled disc with a white outline, the ground of both pictures.
QImage Disc(const QColor& fill)
{
    QImage image(kSide, kSide, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
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

QIcon AllWellPicture()
{
    QImage image = Disc(QColor(0, 150, 60));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QPainterPath tick;
    tick.moveTo(9, 16.5);
    tick.lineTo(14, 21.5);
    tick.lineTo(23, 11);
    painter.drawPath(tick);
    painter.end();
    return ToIcon(image);
}

QIcon FaultPicture()
{
    QImage image = Disc(QColor(220, 0, 0));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(14, 6.5, 4, 13), 2, 2);
    painter.drawEllipse(QRectF(13.5, 21.5, 5, 5));
    painter.end();
    return ToIcon(image);
}
