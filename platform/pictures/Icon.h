#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

namespace pictures {

// An icon file holds several images; the one decoded is the largest that fits
// in the target, or the smallest when none fits (the largest without target),
// as the file's directory gives their sizes. Only that image is decoded.
// PictureError for a file that is not an icon, whose directory is damaged or
// too long, or whose chosen image does not decode.
QImage decodeIcon(const QByteArray& bytes, QSize target = QSize());

} // namespace pictures
