#include "Jpeg.h"

#include "Limits.h"
#include "PictureError.h"
#include "RowAverage.h"

#include <QTransform>
#include <QtEndian>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <optional>

// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace pictures {
namespace {

constexpr long MaxDecoderMemory = 256L * 1024 * 1024;

// libjpeg reports a fatal error by calling error_exit, which must not return:
// it jumps back to the decoder with the message kept here.
struct ErrorManager
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool cutShort;
};

void OnError(j_common_ptr info)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings and traces are not printed. A file that ends before its data does
// is noted: libjpeg goes on with grey padding, which would pass a damaged
// photo off as a good one.
void OnMessage(j_common_ptr info, int level)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF)
        errors->cutShort = true;
}

// The value of the EXIF orientation tag (1 to 8), 1 when there is none.
int ExifOrientation(const jpeg_decompress_struct& info)
{
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
        if (marker->marker != JPEG_APP0 + 1 || marker->data_length < 6 + 8 ||
            std::memcmp(marker->data, "Exif\0\0", 6) != 0)
            continue;
        const unsigned char* tiff = marker->data + 6;
        const std::size_t size = marker->data_length - 6;
        const bool little = tiff[0] == 'I' && tiff[1] == 'I';
        if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
            continue;
        const auto u16 = [tiff, little](std::size_t at) {
            return little ? qFromLittleEndian<quint16>(tiff + at)
                          : qFromBigEndian<quint16>(tiff + at);
        };
        const auto u32 = [tiff, little](std::size_t at) {
            return little ? qFromLittleEndian<quint32>(tiff + at)
                          : qFromBigEndian<quint32>(tiff + at);
        };
        if (u16(2) != 42)
            continue;
        const std::size_t directory = u32(4);
        if (directory > size - 2)
            continue;
        const unsigned entries = u16(directory);
        for (unsigned i = 0; i < entries; ++i) {
            const std::size_t entry = directory + 2 + 12 * std::size_t(i);
            if (entry + 12 > size)
                break;
            if (u16(entry) == 0x0112) {
                const int value = u16(entry + 8);
                return value >= 1 && value <= 8 ? value : 1;
            }
        }
    }
    return 1;
}

QImage Upright(const QImage& image, int orientation)
{
    switch (orientation) {
    case 2:
        return image.mirrored(true, false);
    case 3:
        return image.transformed(QTransform().rotate(180));
    case 4:
        return image.mirrored(false, true);
    case 5:
        return image.transformed(QTransform().rotate(90)).mirrored(true, false);
    case 6:
        return image.transformed(QTransform().rotate(90));
    case 7:
        return image.transformed(QTransform().rotate(270)).mirrored(true, false);
    case 8:
        return image.transformed(QTransform().rotate(270));
    default:
        return image;
    }
}

// The largest of 8, 4, 2 by which the image can be divided and still cover
// the target; 1 when there is no target.
unsigned ScaleDenominator(JDIMENSION width, JDIMENSION height, QSize target)
{
    if (target.isEmpty())
        return 1;
    for (const unsigned denominator : {8u, 4u, 2u}) {
        const JDIMENSION scaledWidth = (width + denominator - 1) / denominator;
        const JDIMENSION scaledHeight = (height + denominator - 1) / denominator;
        if (scaledWidth >= JDIMENSION(target.width()) &&
            scaledHeight >= JDIMENSION(target.height()))
            return denominator;
    }
    return 1;
}

// Runs libjpeg over the bytes into image. libjpeg leaves this frame by
// longjmp on a fatal error, so no object with a destructor is made here;
// everything that outlives the jump belongs to the caller (average too).
bool Run(jpeg_decompress_struct& info, ErrorManager& errors, const QByteArray& bytes, QSize target,
         JpegFit fit, std::optional<RowAverage>& average, QImage& image, int& orientation)
{
    if (setjmp(errors.jump))
        return false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    // A progressive file keeps all its coefficients while it decodes; libjpeg
    // gives up beyond this instead of taking whatever the header asks for.
    info.mem->max_memory_to_use = MaxDecoderMemory;
    jpeg_read_header(&info, TRUE);
    if (qint64(info.image_width) * info.image_height > MaxPixels) {
        std::snprintf(errors.message, sizeof errors.message, "The JPEG image is too large: %ux%u",
                      unsigned(info.image_width), unsigned(info.image_height));
        return false;
    }

    orientation = ExifOrientation(info);
    if (orientation >= 5)
        target.transpose(); // the stored image is turned by a quarter
    info.scale_num = 1;
    info.scale_denom = ScaleDenominator(info.image_width, info.image_height, target);
    // Adobe's four-channel files decode as CMYK; everything else straight
    // into Qt's 32-bit pixel layout.
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space =
        cmyk ? JCS_CMYK : (Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? JCS_EXT_BGRX : JCS_EXT_XRGB);
    jpeg_start_decompress(&info);

    const QSize decoded(int(info.output_width), int(info.output_height));
    // Reduced as the rows come, the picture is never held at the decoded
    // size: a photo's megabytes are neither allocated nor touched.
    if (fit == JpegFit::Stretched && !target.isEmpty() && decoded.width() >= target.width() &&
        decoded.height() >= target.height())
        average.emplace(decoded, target);
    else
        image = QImage(decoded, QImage::Format_RGB32);
    if (!average && image.isNull()) {
        std::snprintf(errors.message, sizeof errors.message, "Not enough memory for %ux%u pixels",
                      unsigned(info.output_width), unsigned(info.output_height));
        return false;
    }
    const auto rows = [&info] {
        return (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                         info.output_width * 4, 1);
    };
    JSAMPARRAY cmykRow = cmyk ? rows() : nullptr;
    JSAMPARRAY averagedRow = average ? rows() : nullptr;
    while (info.output_scanline < info.output_height) {
        auto* line = averagedRow
                         ? reinterpret_cast<QRgb*>(averagedRow[0])
                         : reinterpret_cast<QRgb*>(image.scanLine(int(info.output_scanline)));
        if (cmykRow) {
            jpeg_read_scanlines(&info, cmykRow, 1);
            // Adobe writes the channels inverted, so each is already 255 - ink.
            const JSAMPLE* ink = cmykRow[0];
            for (JDIMENSION x = 0; x < info.output_width; ++x, ink += 4)
                line[x] = qRgb(ink[3] * ink[0] / 255, ink[3] * ink[1] / 255, ink[3] * ink[2] / 255);
        } else {
            JSAMPROW row = reinterpret_cast<JSAMPROW>(line);
            jpeg_read_scanlines(&info, &row, 1);
        }
        if (average)
            average->add(line);
    }
    jpeg_finish_decompress(&info);
    if (average)
        image = average->result();
    return true;
}

} // namespace

QImage decodeJpeg(const QByteArray& bytes, QSize target, JpegFit fit)
{
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    errors.base.emit_message = OnMessage;

    QImage image;
    int orientation = 1;
    std::optional<RowAverage> average;
    const bool decoded = Run(info, errors, bytes, target, fit, average, image, orientation);
    jpeg_destroy_decompress(&info);
    if (!decoded)
        throw PictureError(PictureError::Reason::Corrupt, QString::fromLocal8Bit(errors.message));
    if (errors.cutShort)
        throw PictureError(PictureError::Reason::Corrupt,
                           QStringLiteral("Premature end of JPEG file"));
    return Upright(image, orientation);
}

} // namespace pictures
