#include "Icon.h"

#include "PictureError.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

namespace pictures {
namespace {

// More images than any icon editor writes; a longer directory is a damaged or
// hostile file.
constexpr int MaxImages = 256;
constexpr int HeaderSize = 6;
constexpr int EntrySize = 16;

[[noreturn]] void Fail(const QString& detail)
{
    throw PictureError(PictureError::Reason::Corrupt, detail);
}

struct Entry
{
    QSize size;
    const char* bytes; // the entry of the directory
};

quint16 U16(const char* at)
{
    return qFromLittleEndian<quint16>(at);
}

quint32 U32(const char* at)
{
    return qFromLittleEndian<quint32>(at);
}

QList<Entry> ReadDirectory(const QByteArray& bytes)
{
    if (bytes.size() < HeaderSize || U16(bytes.constData()) != 0 || U16(bytes.constData() + 2) != 1)
        Fail(QStringLiteral("Not an icon file."));
    const int count = U16(bytes.constData() + 4);
    if (count == 0)
        Fail(QStringLiteral("The icon file holds no image."));
    if (count > MaxImages)
        Fail(QStringLiteral("The icon file lists %1 images, more than %2.")
                 .arg(count)
                 .arg(MaxImages));
    if (bytes.size() < HeaderSize + qint64(EntrySize) * count)
        Fail(QStringLiteral("The icon file's directory is cut short."));
    QList<Entry> entries;
    for (int i = 0; i < count; ++i) {
        const char* entry = bytes.constData() + HeaderSize + EntrySize * i;
        const quint32 length = U32(entry + 8);
        const quint32 offset = U32(entry + 12);
        if (length == 0 || offset > quint64(bytes.size()) || length > bytes.size() - offset)
            Fail(QStringLiteral("The icon file's image %1 lies outside the file.").arg(i + 1));
        // A width or height of 0 stands for 256.
        const auto side = [](uchar value) { return value == 0 ? 256 : int(value); };
        entries.append({QSize(side(uchar(entry[0])), side(uchar(entry[1]))), entry});
    }
    return entries;
}

const Entry& Choose(const QList<Entry>& entries, QSize target)
{
    const auto area = [](const Entry& e) { return qint64(e.size.width()) * e.size.height(); };
    const auto fits = [target](const Entry& e) {
        return target.isEmpty() ||
               (e.size.width() <= target.width() && e.size.height() <= target.height());
    };
    const Entry* best = &entries.first();
    for (const Entry& e : entries) {
        if (fits(e) && (!fits(*best) || area(e) > area(*best)))
            best = &e;
        else if (!fits(e) && !fits(*best) && area(e) < area(*best))
            best = &e;
    }
    return *best;
}

} // namespace

QImage decodeIcon(const QByteArray& bytes, QSize target)
{
    const QList<Entry> entries = ReadDirectory(bytes);
    const Entry& chosen = Choose(entries, target);
    // Qt's reader is given an icon file of the chosen image alone, so that it
    // reads nothing else.
    const quint32 length = U32(chosen.bytes + 8);
    QByteArray single(bytes.constData(), 4);
    single += QByteArray::fromHex("0100");
    single += QByteArray(chosen.bytes, 12);
    single += QByteArray(4, '\0');
    qToLittleEndian<quint32>(HeaderSize + EntrySize, single.data() + HeaderSize + 12);
    single += bytes.mid(U32(chosen.bytes + 12), length);

    QBuffer buffer;
    buffer.setData(single);
    QImageReader reader(&buffer, "ico");
    const QImage image = reader.read();
    if (image.isNull())
        Fail(reader.errorString());
    return image;
}

} // namespace pictures
