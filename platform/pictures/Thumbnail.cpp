#include "Thumbnail.h"

#include "Jpeg.h"
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

QImage makeThumbnail(const QByteArray& bytes, Format format, QSize size)
{
    if (format == Format::Jpeg)
        return makeThumbnail(Picture(format, decodeJpeg(bytes, size, JpegFit::Stretched)), size);
    return makeThumbnail(decode(bytes, format, size), size);
}

} // namespace pictures
