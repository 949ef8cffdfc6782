#include "Metafile.h"

#include "Limits.h"
#include "PictureError.h"
#include "platform/text/Gbk.h"

#include <QtEndian>
#include <cstdlib>
#include <emf2svg.h>
#include <libwmf/api.h>
#include <libwmf/svg.h>
#include <memory>

namespace pictures {
namespace {

[[noreturn]] void Fail(const QString& detail)
{
    throw PictureError(PictureError::Reason::Corrupt, detail);
}

qint32 Int32At(const QByteArray& bytes, qint64 offset)
{
    return qFromLittleEndian<qint32>(bytes.constData() + offset);
}

quint32 UInt32At(const QByteArray& bytes, qint64 offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

quint16 UInt16At(const QByteArray& bytes, qint64 offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

constexpr quint32 EmrEof = 14;
constexpr qint64 EmfHeaderSize = 88;

// The converter trusts every size and offset of the file. Its records are
// walked here first: each at least a type and a size long, a whole number of
// words, inside the file, the last one the end-of-file record; the header's
// description inside the header. Gives the length up to that last record.
qint64 CheckEmfRecords(const QByteArray& bytes)
{
    const qint64 headerSize = UInt32At(bytes, 4);
    if (headerSize < EmfHeaderSize || headerSize > bytes.size())
        Fail(QStringLiteral("The enhanced metafile's header is damaged."));
    const qint64 descriptionLength = UInt32At(bytes, 60);
    const qint64 descriptionOffset = UInt32At(bytes, 64);
    if ((descriptionLength != 0 || descriptionOffset != 0) &&
        (descriptionLength == 0 || descriptionOffset < EmfHeaderSize ||
         descriptionOffset + 2 * descriptionLength > headerSize))
        Fail(QStringLiteral("The enhanced metafile's description lies outside its header."));
    qint64 at = 0;
    while (at + 8 <= bytes.size()) {
        const quint32 type = UInt32At(bytes, at);
        const qint64 size = UInt32At(bytes, at + 4);
        if (size < 8 || size % 4 != 0 || size > bytes.size() - at)
            Fail(QStringLiteral("The enhanced metafile's record at byte %1 is damaged.").arg(at));
        at += size;
        if (type == EmrEof)
            return at;
    }
    Fail(QStringLiteral("The enhanced metafile has no end-of-file record."));
}

constexpr quint16 WmfEof = 0x0000;
constexpr qint64 WmfHeaderSize = 18;
constexpr qint64 PlaceableHeaderSize = 22;

// The player reserves a buffer as large as the header's largest record and
// reads every record into it. The header and the records are checked first:
// no record larger than the file or the header's largest, none running past
// the file, the last one the end-of-file record.
void CheckWmfRecords(const QByteArray& bytes)
{
    const qint64 start =
        bytes.startsWith(QByteArray::fromHex("d7cdc69a")) ? PlaceableHeaderSize : 0;
    const quint16 type = UInt16At(bytes, start);
    const quint16 headerWords = UInt16At(bytes, start + 2);
    const qint64 largest = qint64(UInt32At(bytes, start + 12)) * 2;
    if ((type != 1 && type != 2) || headerWords != WmfHeaderSize / 2)
        Fail(QStringLiteral("The metafile's header is damaged."));
    if (largest < 6 || largest > bytes.size() - start - WmfHeaderSize)
        Fail(QStringLiteral("The metafile's header gives a record size beyond the file."));
    qint64 at = start + WmfHeaderSize;
    while (at + 6 <= bytes.size()) {
        const qint64 size = qint64(UInt32At(bytes, at)) * 2;
        const quint16 function = UInt16At(bytes, at + 4);
        if (size < 6 || size > largest || size > bytes.size() - at)
            Fail(QStringLiteral("The metafile's record at byte %1 is damaged.").arg(at));
        if (function == WmfEof)
            return;
        at += size;
    }
    Fail(QStringLiteral("The metafile has no end-of-file record."));
}

// Releases a libwmf instance and everything it allocated.
struct WmfInstance
{
    wmfAPI* api = nullptr;
    ~WmfInstance()
    {
        if (api)
            wmf_api_destroy(api);
    }
};

// libwmf writes the text of a text record into the SVG as it stands in the
// metafile: GBK bytes, with neither '<' nor '&' escaped. The document is
// decoded as GBK (ASCII is a part of it) and every text record's content made
// into proper XML character data. libwmf also fills shapes half transparent
// when the background mode is transparent, which in GDI concerns only the
// gaps of hatches and text, not a solid brush.
QByteArray WmfSvgToUtf8(const QByteArray& raw)
{
    QString svg = Gbk::decode(raw);
    svg.replace(QLatin1String("fill-opacity:0.5;"), QLatin1String("fill-opacity:1.0;"));
    const QString open = QStringLiteral("<text ");
    const QString contentStart = QStringLiteral("\n\t>");
    const QString close = QStringLiteral("</text>\n");
    QString result;
    result.reserve(svg.size());
    qsizetype position = 0;
    for (;;) {
        const qsizetype tag = svg.indexOf(open, position);
        if (tag < 0)
            break;
        qsizetype start = svg.indexOf(contentStart, tag);
        if (start < 0)
            break;
        start += contentStart.size();
        const qsizetype end = svg.indexOf(close, start);
        if (end < 0)
            break;
        QString content = svg.mid(start, end - start).toHtmlEscaped();
        // Control characters may not appear in XML at all.
        for (QChar& c : content)
            if (c.unicode() < 0x20)
                c = QLatin1Char(' ');
        result += QStringView(svg).mid(position, start - position);
        result += content;
        position = end;
    }
    result += QStringView(svg).mid(position);
    return result.toUtf8();
}

} // namespace

bool isWindowsMetafile(const QByteArray& bytes)
{
    if (bytes.startsWith(QByteArray::fromHex("d7cdc69a")))
        return bytes.size() >= 22 + 18;
    return bytes.size() >= 18 && (bytes.startsWith(QByteArray::fromHex("01000900")) ||
                                  bytes.startsWith(QByteArray::fromHex("02000900")));
}

bool isEnhancedMetafile(const QByteArray& bytes)
{
    return bytes.size() >= 88 && Int32At(bytes, 0) == 1 && bytes.mid(40, 4) == " EMF";
}

SvgDrawing windowsMetafileToSvg(const QByteArray& bytes)
{
    if (!isWindowsMetafile(bytes))
        Fail(QStringLiteral("Not a Windows metafile."));
    CheckWmfRecords(bytes);

    WmfInstance wmf;
    wmfAPI_Options options{};
    options.function = wmf_svg_function;
    const unsigned long flags =
        WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(&wmf.api, flags, &options) != wmf_E_None)
        Fail(QStringLiteral("The metafile player could not start."));

    // libwmf reads from the buffer while it plays, and wants it writable.
    QByteArray input = bytes;
    if (wmf_mem_open(wmf.api, reinterpret_cast<unsigned char*>(input.data()),
                     static_cast<long>(input.size())) != wmf_E_None)
        Fail(QStringLiteral("The metafile cannot be opened."));
    wmfD_Rect box;
    if (wmf_scan(wmf.api, 0, &box) != wmf_E_None)
        Fail(QStringLiteral("The metafile is damaged."));
    unsigned int width = 0;
    unsigned int height = 0;
    if (wmf_display_size(wmf.api, &width, &height, 96, 96) != wmf_E_None || width == 0 ||
        height == 0)
        Fail(QStringLiteral("The metafile has no extent."));

    wmf_svg_t* device = WMF_SVG_GetData(wmf.api);
    device->out = wmf_stream_create(wmf.api, nullptr);
    device->bbox = box;
    device->width = width;
    device->height = height;
    device->flags |= WMF_SVG_INLINE_IMAGES;
    const wmf_error_t played = wmf_play(wmf.api, 0, &box);
    char* text = nullptr;
    unsigned long length = 0;
    wmf_stream_destroy(wmf.api, device->out, &text, &length);
    device->out = nullptr;
    const QByteArray raw(text, text ? static_cast<qsizetype>(length) : 0);
    if (text)
        wmf_free(wmf.api, text);
    if (played != wmf_E_None || raw.isEmpty())
        Fail(QStringLiteral("The metafile does not play."));

    const QSize size{int(width), int(height)};
    return {WmfSvgToUtf8(raw), QRectF(QPointF(0, 0), QSizeF(size)), size};
}

SvgDrawing enhancedMetafileToSvg(const QByteArray& bytes)
{
    if (!isEnhancedMetafile(bytes))
        Fail(QStringLiteral("Not an enhanced metafile."));
    if (UInt32At(bytes, 48) > quint32(bytes.size()))
        Fail(QStringLiteral("The enhanced metafile is cut short."));
    const qint64 recordsEnd = CheckEmfRecords(bytes);

    // The header's bounds are in device pixels; the frame, the rectangle that
    // makes the picture, in 0.01 mm; the reference device gives pixels per mm.
    // Sizes are worked out in floating point: the file may give any corners.
    const double left = Int32At(bytes, 8);
    const double top = Int32At(bytes, 12);
    const double boundsWidth = double(Int32At(bytes, 16)) - left;
    const double boundsHeight = double(Int32At(bytes, 20)) - top;
    const qint32 deviceWidth = Int32At(bytes, 72);
    const qint32 deviceHeight = Int32At(bytes, 76);
    const qint32 millimetresWide = Int32At(bytes, 80);
    const qint32 millimetresHigh = Int32At(bytes, 84);

    generatorOptions options{};
    // With a prefix the converter closes some elements without it, which
    // makes the document unreadable; without one the elements are plain SVG.
    char nameSpace[] = "";
    options.nameSpace = nameSpace;
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    QByteArray input = bytes.left(recordsEnd);
    char* output = nullptr;
    std::size_t length = 0;
    const int converted =
        emf2svg(input.data(), static_cast<std::size_t>(input.size()), &output, &length, &options);
    const std::unique_ptr<char, decltype(&std::free)> release(output, &std::free);
    // On failure the converter may still leave a partial drawing behind.
    if (converted != 1 || !output || length == 0)
        Fail(QStringLiteral("The enhanced metafile does not play."));
    QByteArray svg(output, static_cast<qsizetype>(length));

    // The SVG has no viewBox: its user units are device pixels counted from
    // the bounds' top-left corner. The picture is the frame, in those units.
    QRectF frame(0, 0, boundsWidth, boundsHeight);
    if (deviceWidth > 0 && deviceHeight > 0 && millimetresWide > 0 && millimetresHigh > 0) {
        const double perUnitX = deviceWidth / (millimetresWide * 100.0);
        const double perUnitY = deviceHeight / (millimetresHigh * 100.0);
        const QRectF framed(QPointF(Int32At(bytes, 24) * perUnitX, Int32At(bytes, 28) * perUnitY),
                            QPointF(Int32At(bytes, 32) * perUnitX, Int32At(bytes, 36) * perUnitY));
        if (framed.width() > 0 && framed.height() > 0)
            frame = framed.translated(-left, -top);
    }
    if (frame.width() <= 0 || frame.height() <= 0)
        Fail(QStringLiteral("The enhanced metafile has no extent."));
    if (frame.width() > MaxDrawingSide || frame.height() > MaxDrawingSide ||
        qAbs(frame.left()) > MaxDrawingSide || qAbs(frame.top()) > MaxDrawingSide)
        Fail(QStringLiteral("The enhanced metafile's frame is too large."));
    return {svg, frame, frame.size().toSize().expandedTo(QSize(1, 1))};
}

} // namespace pictures
