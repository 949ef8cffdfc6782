#pragma once

#include <QByteArray>
#include <QImage>

namespace pictures {

// A BMP file image (file header, then the device-independent bitmap).
QByteArray encodeBmp(const QImage& image);

// Empty bytes give a null image; anything else that is not a BMP file image
// throws PictureError.
QImage decodeBmp(const QByteArray& bytes);

} // namespace pictures
