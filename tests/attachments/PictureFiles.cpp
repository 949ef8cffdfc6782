#include "PictureFiles.h"

#include "platform/text/Gbk.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QtEndian>
#include <cstdlib>

namespace PictureFiles {
namespace {

void Put16(QByteArray& bytes, quint16 value)
{
    char buffer[2];
    qToLittleEndian(value, buffer);
    bytes.append(buffer, 2);
}

void Put32(QByteArray& bytes, quint32 value)
{
    char buffer[4];
    qToLittleEndian(value, buffer);
    bytes.append(buffer, 4);
}

quint32 ColorRef(const QColor& color)
{
    return quint32(color.red()) | quint32(color.green()) << 8 | quint32(color.blue()) << 16;
}

// WMF records: size in 16-bit words, function, parameters.
class WmfRecords
{
public:
    void add(quint16 function, const QList<quint16>& parameters)
    {
        const quint32 words = 3 + quint32(parameters.size());
        Put32(m_body, words);
        Put16(m_body, function);
        for (const quint16 word : parameters)
            Put16(m_body, word);
        m_largest = qMax(m_largest, words);
    }
    QByteArray file(qint16 width, qint16 height, quint16 objects) const
    {
        QByteArray placeable;
        Put32(placeable, 0x9AC6CDD7);
        for (const quint16 word : {quint16(0), quint16(0), quint16(0), quint16(width),
                                   quint16(height), quint16(96), quint16(0), quint16(0)})
            Put16(placeable, word);
        quint16 checksum = 0;
        for (int i = 0; i < placeable.size(); i += 2)
            checksum ^= qFromLittleEndian<quint16>(placeable.constData() + i);
        Put16(placeable, checksum);

        QByteArray header;
        Put16(header, 1);      // in memory
        Put16(header, 9);      // header words
        Put16(header, 0x0300); // version
        Put32(header, quint32(9 + m_body.size() / 2));
        Put16(header, objects);
        Put32(header, m_largest);
        Put16(header, 0);
        return placeable + header + m_body;
    }

private:
    QByteArray m_body;
    quint32 m_largest = 3;
};

QList<quint16> Words(quint32 value)
{
    return {quint16(value & 0xFFFF), quint16(value >> 16)};
}

// EMF records: type, size in bytes, then 32-bit fields.
void EmfRecord(QByteArray& body, quint32 type, const QList<qint32>& fields)
{
    Put32(body, type);
    Put32(body, quint32(8 + 4 * fields.size()));
    for (const qint32 field : fields)
        Put32(body, quint32(field));
}

} // namespace

QImage Halves(QSize size, const QColor& left, const QColor& right)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, size.width() / 2, size.height()), left);
    painter.fillRect(QRect(size.width() / 2, 0, size.width() - size.width() / 2, size.height()),
                     right);
    return image;
}

QImage EdgeBands(QSize size, const QColor& left, const QColor& middle, const QColor& right)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(middle);
    const int band = size.width() / 10;
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, band, size.height()), left);
    painter.fillRect(QRect(size.width() - band, 0, band, size.height()), right);
    return image;
}

QByteArray Encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format, 95))
        qFatal("cannot encode a %s image", format);
    return bytes;
}

namespace {

// A bottom-up device-independent bitmap of 1, 4 or 8 bits a pixel with a
// two-colour palette: the info header, the palette and the rows, left half
// palette index 0, right half index 1. An icon's image doubles the height in
// its header and has its transparency mask (all opaque) after the rows.
QByteArray PaletteDib(QSize size, int bits, const QColor& left, const QColor& right, bool icon)
{
    const int colours = 1 << bits;
    const int stride = (size.width() * bits + 31) / 32 * 4;
    const int maskStride = (size.width() + 31) / 32 * 4;
    QByteArray dib;
    Put32(dib, 40);
    Put32(dib, quint32(size.width()));
    Put32(dib, quint32(icon ? size.height() * 2 : size.height()));
    Put16(dib, 1);
    Put16(dib, quint16(bits));
    Put32(dib, 0); // uncompressed
    Put32(dib, quint32(stride * size.height()));
    Put32(dib, 2835);
    Put32(dib, 2835);
    Put32(dib, quint32(colours));
    Put32(dib, 0);
    for (int i = 0; i < colours; ++i)
        Put32(dib, (i == 1 ? right : left).rgb() & 0xFFFFFF); // blue, green, red, 0
    QByteArray row(stride, '\0');
    for (int x = size.width() / 2; x < size.width(); ++x) {
        const int bit = x * bits;
        row[bit / 8] = char(row[bit / 8] | (1 << (8 - bits - bit % 8)));
    }
    for (int y = 0; y < size.height(); ++y)
        dib += row;
    if (icon)
        dib += QByteArray(maskStride * size.height(), '\0');
    return dib;
}

} // namespace

QByteArray PaletteBmp(QSize size, int bits, const QColor& left, const QColor& right)
{
    const QByteArray dib = PaletteDib(size, bits, left, right, false);
    QByteArray file("BM");
    Put32(file, quint32(14 + dib.size()));
    Put32(file, 0);
    Put32(file, 14 + 40 + 4 * (1u << bits));
    return file + dib;
}

QByteArray PaletteIco(QSize size, int bits, const QColor& left, const QColor& right)
{
    const QByteArray dib = PaletteDib(size, bits, left, right, true);
    QByteArray file;
    Put16(file, 0);
    Put16(file, 1); // an icon
    Put16(file, 1); // one image
    file += char(size.width() & 0xFF);
    file += char(size.height() & 0xFF);
    file += char(bits < 8 ? 1 << bits : 0);
    file += '\0';
    Put16(file, 1);
    Put16(file, quint16(bits));
    Put32(file, quint32(dib.size()));
    Put32(file, 6 + 16);
    return file + dib;
}

QByteArray HalvesWmf(const QColor& left, const QColor& right, const QString& text)
{
    WmfRecords records;
    records.add(0x020B, {0, 0});          // SETWINDOWORG y, x
    records.add(0x020C, {100, 200});      // SETWINDOWEXT height, width
    records.add(0x02FA, {5, 0, 0, 0, 0}); // CREATEPENINDIRECT PS_NULL -> 0
    records.add(0x012D, {0});             // SELECTOBJECT 0
    records.add(0x02FC, QList<quint16>{0} + Words(ColorRef(left)) + QList<quint16>{0}); // -> 1
    records.add(0x012D, {1});
    records.add(0x041B, {100, 100, 0, 0}); // RECTANGLE bottom, right, top, left
    records.add(0x01F0, {1});              // DELETEOBJECT 1
    records.add(0x02FC, QList<quint16>{0} + Words(ColorRef(right)) + QList<quint16>{0}); // -> 1
    records.add(0x012D, {1});
    records.add(0x041B, {100, 200, 0, 100});
    if (!text.isEmpty()) {
        QByteArray bytes = Gbk::encode(text);
        const quint16 length = quint16(bytes.size());
        if (bytes.size() % 2)
            bytes.append('\0');
        QList<quint16> parameters{length};
        for (int i = 0; i < bytes.size(); i += 2)
            parameters << qFromLittleEndian<quint16>(bytes.constData() + i);
        parameters << 10 << 10;   // y, x
        records.add(0x0102, {1}); // SETBKMODE TRANSPARENT
        records.add(0x0521, parameters);
    }
    records.add(0x0000, {}); // EOF
    return records.file(200, 100, 2);
}

QByteArray HalvesEmf(const QColor& left, const QColor& right)
{
    QByteArray body;
    EmfRecord(body, 37, {qint32(0x80000008)});              // SELECTOBJECT NULL_PEN
    EmfRecord(body, 39, {1, 0, qint32(ColorRef(left)), 0}); // CREATEBRUSHINDIRECT 1
    EmfRecord(body, 37, {1});
    EmfRecord(body, 43, {0, 0, 100, 100}); // RECTANGLE left, top, right, bottom
    EmfRecord(body, 40, {1});              // DELETEOBJECT
    EmfRecord(body, 39, {1, 0, qint32(ColorRef(right)), 0});
    EmfRecord(body, 37, {1});
    EmfRecord(body, 43, {100, 0, 200, 100});
    EmfRecord(body, 14, {0, 16, 20}); // EOF
    const int records = 9 + 1;

    QByteArray header;
    Put32(header, 1);                              // EMR_HEADER
    Put32(header, 88);                             // its size
    for (const qint32 value : {-50, -50, 199, 99}) // bounds in pixels
        Put32(header, quint32(value));
    for (const qint32 value : {0, 0, 5000, 2500}) // frame in 0.01 mm: 200 x 100 pixels
        Put32(header, quint32(value));
    Put32(header, 0x464D4520); // " EMF"
    Put32(header, 0x10000);
    Put32(header, quint32(88 + body.size()));
    Put32(header, records);
    Put16(header, 2); // handles
    Put16(header, 0);
    Put32(header, 0); // no description
    Put32(header, 0);
    Put32(header, 0);    // no palette
    Put32(header, 1000); // reference device: 1000 x 1000 pixels ...
    Put32(header, 1000);
    Put32(header, 250); // ... over 250 x 250 mm, 4 pixels per mm
    Put32(header, 250);
    return header + body;
}

bool Near(QRgb actual, const QColor& expected, int tolerance)
{
    return std::abs(qRed(actual) - expected.red()) <= tolerance &&
           std::abs(qGreen(actual) - expected.green()) <= tolerance &&
           std::abs(qBlue(actual) - expected.blue()) <= tolerance;
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QString OwnFixture(const QString& name)
{
    return QStringLiteral(ATTACHMENT_FIXTURES "/") + name;
}

QString SharedFixture(const QString& name)
{
    const QString folder = qEnvironmentVariable("VARDENIX_FIXTURES");
    if (folder.isEmpty())
        return QString();
    const QString path = folder + QStringLiteral("/pictures/") + name;
    return QFileInfo::exists(path) ? path : QString();
}

QString HostileFixture(const QString& name)
{
    const QString folder = qEnvironmentVariable("VARDENIX_FIXTURES");
    if (folder.isEmpty())
        return QString();
    const QString path = folder + QStringLiteral("/hostile/") + name;
    return QFileInfo::exists(path) ? path : QString();
}

} // namespace PictureFiles
