#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace pictures {

// How far a picture larger than the target is reduced.
enum class JpegFit
{
    Covering,  // by the decoder's 1/2, 1/4 or 1/8 while it still covers the target
    Stretched, // on to exactly the target, aspect not kept, each pixel the
               // average of the area it covers
};

// Decodes a JPEG file image with libjpeg, upright as its EXIF orientation
// says. With a target size the decoder scales by 1/2, 1/4 or 1/8 while the
// result still covers the target, which makes a large photo cheap to reduce;
// Stretched goes on to the target's size as the rows are decoded, without
// holding the picture at the decoded size (a picture smaller than the
// target comes back as it is). PictureError for data that is not a complete
// JPEG (a file cut short included: libjpeg would pad it with grey).
QImage decodeJpeg(const QByteArray& bytes, QSize target = QSize(), JpegFit fit = JpegFit::Covering);

} // namespace pictures
