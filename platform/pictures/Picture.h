#pragma once

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QPainter;
class QSvgRenderer;

namespace pictures {

// The picture types the desktop's own picture holder loads.
enum class Format
{
    Bitmap,           // .bmp
    Icon,             // .ico
    Metafile,         // .wmf
    EnhancedMetafile, // .emf
    Jpeg              // .jpg, .jpeg
};

// The type a file name's extension names, compared without regard to case;
// nothing for any other extension.
std::optional<Format> formatForFileName(const QString& fileName);

// The type the bytes' own signature names, whatever the file is called;
// nothing when they start as none of the types do. Only the first bytes
// are read: the bytes may still not decode.
std::optional<Format> formatOfContent(const QByteArray& bytes);

// The extensions of one type, lower case, without the dot.
QStringList extensions(Format format);

// Every type, in the order dialogs list them.
constexpr Format AllFormats[] = {Format::Bitmap, Format::Icon, Format::Metafile,
                                 Format::EnhancedMetafile, Format::Jpeg};

// A decoded picture: a raster image, or a vector drawing that is rendered at
// whatever size it is drawn.
class Picture final
{
public:
    Picture(Format format, QImage image);
    Picture(Format format, std::shared_ptr<QSvgRenderer> drawing, QRectF frame, QSize size);

    Format format() const { return m_format; }
    QSize size() const; // the natural size in pixels

    // Draws the whole picture stretched over the rectangle.
    void draw(QPainter& painter, const QRectF& target) const;

private:
    Format m_format;
    QImage m_image;
    std::shared_ptr<QSvgRenderer> m_drawing;
    QRectF m_frame; // the part of the drawing that makes the picture
    QSize m_size;
};

// Decodes a file's bytes as the given type; PictureError when they do not
// decode. `target` is the size the picture is meant for, when known: a JPEG
// then decodes at the smallest scale (1/2, 1/4, 1/8) that still covers it, and
// an icon file gives its largest image that fits in it.
Picture decode(const QByteArray& bytes, Format format, QSize target = QSize());

} // namespace pictures
