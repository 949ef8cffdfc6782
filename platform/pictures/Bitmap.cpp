#include "Bitmap.h"

#include "PictureError.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

namespace pictures {
namespace {

quint16 U16(const QByteArray& bytes, int at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

quint32 U32(const QByteArray& bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

// Qt reads a BMP whose pixel data stops early and leaves the rest black; the
// desktop's loader refuses it. The headers say how much data must follow.
bool IsComplete(const QByteArray& bytes)
{
    if (bytes.size() < 14 + 12)
        return false;
    const qint64 offset = U32(bytes, 10);
    const quint32 headerSize = U32(bytes, 14);
    qint64 width = 0;
    qint64 height = 0;
    qint64 bits = 0;
    quint32 compression = 0;
    qint64 imageSize = 0;
    if (headerSize == 12) { // OS/2 core header
        width = U16(bytes, 18);
        height = U16(bytes, 20);
        bits = U16(bytes, 24);
    } else {
        if (bytes.size() < 14 + 40)
            return false;
        width = qint32(U32(bytes, 18));
        height = qint32(U32(bytes, 22));
        bits = U16(bytes, 28);
        compression = U32(bytes, 30);
        imageSize = U32(bytes, 34);
    }
    // Uncompressed rows are padded to four bytes; compressed data states its size.
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    const qint64 needed =
        uncompressed ? (qAbs(width) * bits + 31) / 32 * 4 * qAbs(height) : imageSize;
    return offset + needed <= bytes.size();
}

// The BMPs this program writes, 24 bits uncompressed, read row by row:
// several times faster than Qt's reader, which matters on every move through
// the record grid. A null image for any other kind.
QImage ReadPlainBmp(const QByteArray& bytes)
{
    if (bytes.size() < 14 + 40)
        return QImage();
    const qint64 offset = U32(bytes, 10);
    const qint32 width = qint32(U32(bytes, 18));
    const qint32 height = qint32(U32(bytes, 22));
    if (U32(bytes, 14) < 40 || U16(bytes, 28) != 24 || U32(bytes, 30) != 0 || width <= 0 ||
        height == 0 || width > 0x4000 || qAbs(height) > 0x4000)
        return QImage();
    const qint64 stride = (qint64(width) * 3 + 3) / 4 * 4;
    const int rows = qAbs(height);
    if (offset + stride * rows > bytes.size())
        return QImage();
    QImage image(width, rows, QImage::Format_RGB32);
    if (image.isNull())
        return QImage();
    uchar* bits = image.bits();
    for (int y = 0; y < rows; ++y) {
        const int stored = height > 0 ? rows - 1 - y : y; // bottom-up unless the height is negative
        const auto* pixel =
            reinterpret_cast<const uchar*>(bytes.constData() + offset + stride * stored);
        auto* line = reinterpret_cast<QRgb*>(bits + image.bytesPerLine() * y);
        // Four bytes at once: blue, green, red and the next pixel's blue, in
        // whose place the opaque alpha goes. The last pixel may end the data.
        int x = 0;
        for (; x < width - 1; ++x, pixel += 3)
            line[x] = qFromLittleEndian<quint32>(pixel) | 0xff000000u;
        line[x] = qRgb(pixel[2], pixel[1], pixel[0]);
    }
    return image;
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
    if (!bytes.startsWith("BM"))
        throw PictureError(PictureError::Reason::Corrupt, QStringLiteral("Not a BMP file image."));
    if (QImage plain = ReadPlainBmp(bytes); !plain.isNull())
        return plain;
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
