#pragma once

#include <QByteArray>
#include <QRectF>
#include <QSize>

namespace pictures {

// A metafile turned into an SVG document, with the part of the drawing that
// the metafile declares as its picture and its natural size in pixels.
struct SvgDrawing
{
    QByteArray svg; // UTF-8
    QRectF frame;   // in the SVG's user units
    QSize size;
};

bool isWindowsMetafile(const QByteArray& bytes); // placeable or plain WMF header
bool isEnhancedMetafile(const QByteArray& bytes);

// PictureError when the bytes are not a metafile of that kind or do not play.
SvgDrawing windowsMetafileToSvg(const QByteArray& bytes);
SvgDrawing enhancedMetafileToSvg(const QByteArray& bytes);

} // namespace pictures
