// A stored thumbnail as the attachment strip reads it in the main process,
// straight from the database: the plain BMP reader, with none of the checks
// that the import's BMP decoding makes first.

#include "platform/pictures/Bitmap.h"

#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    pictures::readPlainBmp(bytes);
    return 0;
}
