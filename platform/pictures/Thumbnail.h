#pragma once

#include <QImage>
#include <QSize>

namespace pictures {

class Picture;
enum class Format;

// A white image of the given size with the whole picture stretched over it,
// aspect not kept and nothing cropped. An icon is the exception: it stays at
// its own size in the top-left corner (scaled down only when it is larger than
// the thumbnail), the rest white.
QImage makeThumbnail(const Picture& picture, QSize size);

// The thumbnail of a file's bytes of the type, as makeThumbnail makes it of
// the decoded picture; a large JPEG is reduced while it decodes, never held
// whole. PictureError when the bytes do not decode.
QImage makeThumbnail(const QByteArray& bytes, Format format, QSize size);

} // namespace pictures
