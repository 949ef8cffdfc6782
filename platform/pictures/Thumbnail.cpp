#include "Thumbnail.h"

#include "Picture.h"

#include <QPainter>

namespace pictures {

QImage makeThumbnail(const Picture& picture, QSize size)
{
    QImage thumbnail(size, QImage::Format_RGB32);
    thumbnail.fill(Qt::white);
    QPainter painter(&thumbnail);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                           QPainter::TextAntialiasing);
    if (picture.format() == Format::Icon) {
        QSize own = picture.size();
        if (own.width() > size.width() || own.height() > size.height())
            own.scale(size, Qt::KeepAspectRatio);
        picture.draw(painter, QRectF(QPointF(0, 0), QSizeF(own)));
    } else {
        picture.draw(painter, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    painter.end();
    return thumbnail;
}

} // namespace pictures
