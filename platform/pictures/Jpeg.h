#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace pictures {

// Decodes a JPEG file image with libjpeg, upright as its EXIF orientation
// says. With a target size the decoder scales by 1/2, 1/4 or 1/8 while the
// result still covers the target, which makes a large photo cheap to reduce.
// PictureError for data that is not a complete JPEG (a file cut short
// included: libjpeg would pad it with grey).
QImage decodeJpeg(const QByteArray& bytes, QSize target = QSize());

} // namespace pictures
