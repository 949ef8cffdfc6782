// A picture file of one type decoded for the thumbnail and drawn into it, as
// the import does. PICTURE_FORMAT names the type.

#include "platform/pictures/Picture.h"
#include "platform/pictures/PictureError.h"
#include "platform/pictures/Thumbnail.h"

#include <QGuiApplication>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Kept until the process ends: destroyed among the exit handlers it would
    // outlive Qt's own globals.
    new QGuiApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QSize thumbnail(124, 73);
    // Decoded whole (as the preview decodes), and reduced while it decodes
    // (as the import's thumbnail is made).
    try {
        pictures::makeThumbnail(
            pictures::decode(bytes, pictures::Format::PICTURE_FORMAT, thumbnail), thumbnail);
    } catch (const pictures::PictureError&) {
    }
    try {
        pictures::makeThumbnail(bytes, pictures::Format::PICTURE_FORMAT, thumbnail);
    } catch (const pictures::PictureError&) {
    }
    return 0;
}
