#pragma once

#include <QtGlobal>

namespace pictures {

// The most pixels a raster picture may have, for every reader alike (the
// stored thumbnails' too): a 64-megapixel photo decodes in a few hundred
// megabytes; a header that asks for more is refused before the decoder
// allocates anything.
constexpr qint64 MaxPixels = qint64(8192) * 8192;

// The most pixels a side of a drawing may measure.
constexpr double MaxDrawingSide = 1 << 20;

} // namespace pictures
