#pragma once

#include <QImage>
#include <QSize>

namespace pictures {

class Picture;

// A white image of the given size with the whole picture stretched over it,
// aspect not kept and nothing cropped. An icon is the exception: it stays at
// its own size in the top-left corner (scaled down only when it is larger than
// the thumbnail), the rest white.
QImage makeThumbnail(const Picture& picture, QSize size);

} // namespace pictures
