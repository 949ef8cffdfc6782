#include "Picture.h"

#include "Bitmap.h"
#include "Icon.h"
#include "Jpeg.h"
#include "Metafile.h"
#include "PictureError.h"

#include <QFileInfo>
#include <QPainter>
#include <QSvgRenderer>

namespace pictures {
namespace {

Picture Drawing(Format format, const SvgDrawing& drawing)
{
    auto renderer = std::make_shared<QSvgRenderer>(drawing.svg);
    if (!renderer->isValid())
        throw PictureError(PictureError::Reason::Corrupt,
                           QStringLiteral("The drawing cannot be rendered."));
    return Picture(format, std::move(renderer), drawing.frame, drawing.size);
}

} // namespace

std::optional<Format> formatForFileName(const QString& fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    for (const Format format : AllFormats)
        if (extensions(format).contains(suffix))
            return format;
    return std::nullopt;
}

std::optional<Format> formatOfContent(const QByteArray& bytes)
{
    const auto startsWith = [&bytes](const char* hex) {
        return bytes.startsWith(QByteArray::fromHex(hex));
    };
    if (startsWith("424d")) // "BM"
        return Format::Bitmap;
    if (startsWith("ffd8ff"))
        return Format::Jpeg;
    // Reserved 0, type 1 (icon), at least one image.
    if (startsWith("00000100") && bytes.size() >= 6 && (bytes.at(4) != 0 || bytes.at(5) != 0))
        return Format::Icon;
    // Record 1, the header, with " EMF" at offset 40.
    if (startsWith("01000000") && bytes.mid(40, 4) == QByteArrayLiteral(" EMF"))
        return Format::EnhancedMetafile;
    // The placeable header's key, or a memory or disk metafile's header of
    // nine words.
    if (startsWith("d7cdc69a") || startsWith("01000900") || startsWith("02000900"))
        return Format::Metafile;
    return std::nullopt;
}

QStringList extensions(Format format)
{
    switch (format) {
    case Format::Bitmap:
        return {QStringLiteral("bmp")};
    case Format::Icon:
        return {QStringLiteral("ico")};
    case Format::Metafile:
        return {QStringLiteral("wmf")};
    case Format::EnhancedMetafile:
        return {QStringLiteral("emf")};
    case Format::Jpeg:
        return {QStringLiteral("jpg"), QStringLiteral("jpeg")};
    }
    return {};
}

Picture::Picture(Format format, QImage image) : m_format(format), m_image(std::move(image)) {}

Picture::Picture(Format format, std::shared_ptr<QSvgRenderer> drawing, QRectF frame, QSize size)
    : m_format(format), m_drawing(std::move(drawing)), m_frame(frame), m_size(size)
{
    m_drawing->setViewBox(m_frame);
}

QSize Picture::size() const
{
    return m_drawing ? m_size : m_image.size();
}

void Picture::draw(QPainter& painter, const QRectF& target) const
{
    if (m_drawing) {
        m_drawing->render(&painter, target);
        return;
    }
    // Qt's smooth scaling averages the pixels it drops, where a stretched
    // draw would only sample them. It scales a 32-bit image only: a 1-bit
    // image would come back 1-bit with its palette lost, black and white.
    const QSize size = target.size().toSize();
    if (size == m_image.size()) {
        painter.drawImage(target.topLeft(), m_image);
        return;
    }
    const QImage::Format wide =
        m_image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    painter.drawImage(target.topLeft(), m_image.convertToFormat(wide).scaled(
                                            size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

Picture decode(const QByteArray& bytes, Format format, QSize target)
{
    switch (format) {
    case Format::Bitmap:
        if (bytes.isEmpty())
            throw PictureError(PictureError::Reason::Corrupt, QStringLiteral("The file is empty."));
        return Picture(format, decodeBmp(bytes));
    case Format::Icon:
        return Picture(format, decodeIcon(bytes, target));
    case Format::Jpeg:
        return Picture(format, decodeJpeg(bytes, target));
    case Format::Metafile:
        return Drawing(format, windowsMetafileToSvg(bytes));
    case Format::EnhancedMetafile:
        return Drawing(format, enhancedMetafileToSvg(bytes));
    }
    throw PictureError(PictureError::Reason::UnknownFormat, QString());
}

} // namespace pictures
