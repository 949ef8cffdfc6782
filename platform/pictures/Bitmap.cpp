#include "Bitmap.h"

#include "PictureError.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

namespace pictures {
namespace {

// Qt reads a BMP whose pixel data stops early and leaves the rest black; the
// desktop's loader refuses it. The headers say how much data must follow.
bool IsComplete(const QByteArray& bytes)
{
    const auto u16 = [&bytes](int at) {
        return qFromLittleEndian<quint16>(bytes.constData() + at);
    };
    const auto u32 = [&bytes](int at) {
        return qFromLittleEndian<quint32>(bytes.constData() + at);
    };
    if (bytes.size() < 14 + 12)
        return false;
    const qint64 offset = u32(10);
    const quint32 headerSize = u32(14);
    qint64 width = 0;
    qint64 height = 0;
    qint64 bits = 0;
    quint32 compression = 0;
    qint64 imageSize = 0;
    if (headerSize == 12) { // OS/2 core header
        width = u16(18);
        height = u16(20);
        bits = u16(24);
    } else {
        if (bytes.size() < 14 + 40)
            return false;
        width = qint32(u32(18));
        height = qint32(u32(22));
        bits = u16(28);
        compression = u32(30);
        imageSize = u32(34);
    }
    // Uncompressed rows are padded to four bytes; compressed data states its size.
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    const qint64 needed =
        uncompressed ? (qAbs(width) * bits + 31) / 32 * 4 * qAbs(height) : imageSize;
    return offset + needed <= bytes.size();
}

} // namespace

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
    if (!IsComplete(bytes))
        throw PictureError(PictureError::Reason::Corrupt,
                           QStringLiteral("The BMP file image is cut short."));
    return image;
}

} // namespace pictures
