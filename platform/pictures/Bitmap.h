#pragma once

#include <QByteArray>
#include <QImage>

namespace pictures {

// A BMP file image (file header, then the device-independent bitmap).
QByteArray encodeBmp(const QImage& image);

// The plain kind of BMP this program writes (24 bits, uncompressed, no larger
// than 16384 pixels a side) read at once, every size checked; a null image
// for anything else.
QImage readPlainBmp(const QByteArray& bytes);

// Empty bytes give a null image; anything else that is not a BMP file image
// throws PictureError.
QImage decodeBmp(const QByteArray& bytes);

} // namespace pictures
