#pragma once

#include <QByteArray>
#include <QImage>

namespace pictures {

// A BMP file image (file header, then the device-independent bitmap).
QByteArray encodeBmp(const QImage& image);

// The plain kind of BMP this program writes (24 bits, uncompressed, within
// MaxPixels like every picture) read at once, every size checked; a null
// image for anything else. Stored thumbnails come here straight from the
// database, without decodeBmp()'s checks.
QImage readPlainBmp(const QByteArray& bytes);

// Empty bytes give a null image; anything else that is not a BMP file image
// throws PictureError.
QImage decodeBmp(const QByteArray& bytes);

} // namespace pictures
