#include "Bitmap.h"

#include "PictureError.h"

#include <QBuffer>
#include <QImageReader>

namespace pictures {

QByteArray encodeBmp(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "BMP"))
        throw PictureError(PictureError::Reason::Corrupt,
                           QStringLiteral("The image cannot be written as a BMP file image."));
    return bytes;
}

QImage decodeBmp(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return QImage();
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "bmp");
    QImage image = reader.read();
    if (image.isNull())
        throw PictureError(PictureError::Reason::Corrupt,
                           QStringLiteral("Not a BMP file image: %1").arg(reader.errorString()));
    return image;
}

} // namespace pictures
