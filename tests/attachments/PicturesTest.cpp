#include "PictureFiles.h"
#include "platform/pictures/Bitmap.h"
#include "platform/pictures/Jpeg.h"
#include "platform/pictures/Metafile.h"
#include "platform/pictures/Picture.h"
#include "platform/pictures/PictureError.h"
#include "platform/pictures/Thumbnail.h"

#include <QLinearGradient>
#include <QPainter>
#include <QtTest>
#include <algorithm>
#include <cstdlib>

using namespace PictureFiles;
using pictures::Format;

Q_DECLARE_METATYPE(pictures::Format)

namespace {

const QSize Thumb(124, 73);

QImage ThumbnailOf(const QByteArray& bytes, Format format)
{
    return pictures::makeThumbnail(bytes, format, Thumb);
}

// A photo-like picture: a gradient across, another down, and discs of many
// colours, so that every area of the thumbnail averages different pixels.
QImage Photo(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient across(0, 0, size.width(), 0);
    across.setColorAt(0, QColor(40, 90, 200));
    across.setColorAt(1, QColor(250, 200, 120));
    painter.fillRect(image.rect(), across);
    for (int i = 0; i < 60; ++i) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromHsv(i * 37 % 360, 90 + i % 160, 60 + i * 13 % 190));
        painter.drawEllipse(QPoint(i * 97 % size.width(), i * 61 % size.height()),
                            size.width() / 12, size.height() / 9);
    }
    painter.end();
    return image;
}

// How far apart two images of one size are: the largest and the mean
// difference of a channel.
struct Difference
{
    int largest = 0;
    double mean = 0;
};
Difference Compare(const QImage& left, const QImage& right)
{
    Difference difference;
    qint64 total = 0;
    for (int y = 0; y < left.height(); ++y)
        for (int x = 0; x < left.width(); ++x) {
            const QRgb a = left.pixel(x, y);
            const QRgb b = right.pixel(x, y);
            for (const int d : {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b)}) {
                difference.largest = std::max(difference.largest, std::abs(d));
                total += std::abs(d);
            }
        }
    difference.mean = double(total) / (3.0 * left.width() * left.height());
    return difference;
}

// The smallest rectangle holding every pixel that is not white.
QRect InkBounds(const QImage& image)
{
    QRect ink;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!Near(image.pixel(x, y), White, 8))
                ink |= QRect(x, y, 1, 1);
    return ink;
}

// A JPEG with an EXIF block that holds only the orientation tag.
QByteArray WithOrientation(const QByteArray& jpeg, quint16 orientation)
{
    QByteArray tiff = QByteArray("II*\0", 4) + QByteArray::fromHex("08000000") +
                      QByteArray::fromHex("0100") + QByteArray::fromHex("12010300") +
                      QByteArray::fromHex("01000000");
    tiff += char(orientation & 0xFF);
    tiff += char(orientation >> 8);
    tiff += QByteArray(2, '\0') + QByteArray(4, '\0');
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    const int length = int(payload.size()) + 2;
    QByteArray segment = QByteArray::fromHex("ffe1");
    segment += char(length >> 8);
    segment += char(length & 0xFF);
    return jpeg.left(2) + segment + payload + jpeg.mid(2);
}

} // namespace

// The picture library: every type the program imports, decoded and turned
// into the 124 x 73 thumbnail, and the files it must refuse.
class PicturesTest final : public QObject
{
    Q_OBJECT

private slots:
    void formatFollowsTheExtension_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("format"); // -1: refused
        QTest::newRow("bmp") << "a.bmp" << int(Format::Bitmap);
        QTest::newRow("BMP") << "/x/A.BMP" << int(Format::Bitmap);
        QTest::newRow("Ico") << "c:\\p\\x.Ico" << int(Format::Icon);
        QTest::newRow("wmf") << "d.wmf" << int(Format::Metafile);
        QTest::newRow("EMF") << "d.EMF" << int(Format::EnhancedMetafile);
        QTest::newRow("jpg") << "p.jpg" << int(Format::Jpeg);
        QTest::newRow("JPEG") << "p.JPEG" << int(Format::Jpeg);
        QTest::newRow("png") << "p.png" << -1;
        QTest::newRow("gif") << "p.gif" << -1;
        QTest::newRow("jpg.png") << "p.jpg.png" << -1;
        QTest::newRow("no extension") << "jpg" << -1;
    }
    void formatFollowsTheExtension()
    {
        QFETCH(QString, name);
        QFETCH(int, format);
        const std::optional<Format> found = pictures::formatForFileName(name);
        QCOMPARE(found ? int(*found) : -1, format);
    }

    // The bytes name their type whatever the file is called: every picture
    // written by another program is known by its signature, other types are
    // not, and a few bytes never pass for a picture.
    void formatOfContent_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("format"); // -1: none
        const char* const shared[] = {
            "Portrait_6.jpg",  "app13-multiple.jpg",  "drawing.emf",  "drawing.wmf",
            "fulltest.wmf",    "hopper.gif",          "hopper.png",   "pal4rle.bmp",
            "pal8topdown.bmp", "pil_sample_cmyk.jpg", "pillow.ico",   "python.ico",
            "rgb24.bmp",       "rgba32.bmp",          "test-000.emf", "test-093.emf",
            "text.wmf"};
        for (const char* name : shared) {
            const QString path = SharedFixture(QString::fromLatin1(name));
            if (path.isEmpty())
                continue;
            const std::optional<Format> format = pictures::formatForFileName(path);
            QTest::newRow(name) << ReadFile(path) << (format ? int(*format) : -1);
        }
        QTest::newRow("made BMP") << Encoded(Halves({8, 4}, Red, Blue), "BMP")
                                  << int(Format::Bitmap);
        QTest::newRow("made WMF") << HalvesWmf(Red, Blue) << int(Format::Metafile);
        QTest::newRow("made EMF") << HalvesEmf(Red, Blue) << int(Format::EnhancedMetafile);
        QTest::newRow("empty") << QByteArray() << -1;
        QTest::newRow("icon of no images") << QByteArray::fromHex("000001000000") << -1;
        QTest::newRow("EMF record without its signature")
            << QByteArray::fromHex("01000000") + QByteArray(60, '\0') << -1;
        QTest::newRow("PDF") << QByteArray("%PDF-1.7\n") << -1;
        QTest::newRow("program") << QByteArray("MZ\x90\0", 4) << -1;
    }
    void formatOfContent()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, format);
        const std::optional<Format> found = pictures::formatOfContent(bytes);
        QCOMPARE(found ? int(*found) : -1, format);
    }

    // The whole picture is squeezed over the thumbnail: the edge bands of a
    // wide photo stay (nothing cropped), no white bars appear (no letter-box).
    void thumbnailStretchesTheWholePicture_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Format>("format");
        QTest::addColumn<PixelChecks>("checks");

        const PixelChecks halves{{{2, 2}, Red},     {{20, 36}, Red},  {{2, 70}, Red},
                                 {{104, 36}, Blue}, {{121, 2}, Blue}, {{121, 70}, Blue}};
        QTest::newRow("jpeg 400x300")
            << Encoded(Halves({400, 300}, Red, Blue), "JPEG") << Format::Jpeg << halves;
        QTest::newRow("jpeg 1600x400 wide")
            << Encoded(EdgeBands({1600, 400}, Green, Red, Blue), "JPEG") << Format::Jpeg
            << PixelChecks{{{4, 36}, Green}, {{62, 36}, Red},   {{62, 1}, Red},
                           {{62, 71}, Red},  {{119, 36}, Blue}, {{4, 1}, Green}};
        QTest::newRow("jpeg 40x20 smaller than the thumbnail")
            << Encoded(Halves({40, 20}, Red, Blue), "JPEG") << Format::Jpeg << halves;
        QTest::newRow("bmp") << Encoded(Halves({300, 100}, Red, Blue), "BMP") << Format::Bitmap
                             << halves;
        QTest::newRow("wmf") << HalvesWmf(Red, Blue) << Format::Metafile << halves;
        QTest::newRow("emf fitted to its frame")
            << HalvesEmf(Red, Blue) << Format::EnhancedMetafile << halves;
        // Inkscape's circle: its frame starts at 0 while its bounds start at
        // -256, so a drawing fitted to the bounds would sit off centre.
        QTest::newRow("drawing.emf")
            << ReadFile(OwnFixture("drawing.emf")) << Format::EnhancedMetafile
            << PixelChecks{{{62, 36}, QColor(255, 0, 0)},
                           {{62, 4}, QColor(255, 0, 0)},
                           {{6, 36}, QColor(255, 0, 0)},
                           {{1, 1}, White},
                           {{122, 71}, White}};
        QTest::newRow("drawing.wmf") << ReadFile(OwnFixture("drawing.wmf")) << Format::Metafile
                                     << PixelChecks{{{62, 36}, QColor(255, 0, 0)},
                                                    {{62, 6}, QColor(255, 0, 0)},
                                                    {{1, 1}, White},
                                                    {{122, 71}, White}};
    }
    void thumbnailStretchesTheWholePicture()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Format, format);
        QFETCH(PixelChecks, checks);
        const QImage thumbnail = ThumbnailOf(bytes, format);
        QCOMPARE(thumbnail.size(), Thumb);
        for (const PixelCheck& check : checks)
            QVERIFY2(Near(thumbnail.pixel(check.at), check.colour),
                     qPrintable(
                         QStringLiteral("pixel (%1,%2) is %3, expected %4")
                             .arg(check.at.x())
                             .arg(check.at.y())
                             .arg(QColor(thumbnail.pixel(check.at)).name(), check.colour.name())));
    }

    // Pictures with a palette of two colours keep their colours in the
    // thumbnail, whatever the bits a pixel. An icon larger than the thumbnail
    // is scaled down to 124 x 62 in the top-left corner.
    void paletteColoursStay_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Format>("format");
        QTest::addColumn<PixelChecks>("checks");
        const PixelChecks halves{{{2, 2}, Blue},  {{40, 36}, Blue}, {{2, 70}, Blue},
                                 {{84, 36}, Red}, {{121, 2}, Red},  {{121, 70}, Red}};
        const PixelChecks icon{{{2, 2}, Blue},   {{40, 30}, Blue},  {{84, 30}, Red},
                               {{121, 59}, Red}, {{62, 68}, White}, {{121, 70}, White}};
        for (const int bits : {1, 4, 8}) {
            QTest::addRow("%d-bit bmp", bits)
                << PaletteBmp({300, 200}, bits, Blue, Red) << Format::Bitmap << halves;
            QTest::addRow("%d-bit ico", bits)
                << PaletteIco({200, 100}, bits, Blue, Red) << Format::Icon << icon;
        }
    }
    void paletteColoursStay()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Format, format);
        QFETCH(PixelChecks, checks);
        const QImage thumbnail = ThumbnailOf(bytes, format);
        QCOMPARE(thumbnail.size(), Thumb);
        for (const PixelCheck& check : checks)
            QVERIFY2(Near(thumbnail.pixel(check.at), check.colour),
                     qPrintable(
                         QStringLiteral("pixel (%1,%2) is %3, expected %4")
                             .arg(check.at.x())
                             .arg(check.at.y())
                             .arg(QColor(thumbnail.pixel(check.at)).name(), check.colour.name())));
    }

    // An icon stays at its own size in the top-left corner, on white.
    void iconSitsTopLeftAtItsOwnSize_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QRect>("within");
        QTest::newRow("16x16 made here")
            << Encoded(Halves({16, 16}, Green, Green), "ICO") << QRect(0, 0, 16, 16);
        // 16, 32 and 48 pixel images: the largest that fits is taken.
        QTest::newRow("python.ico") << ReadFile(OwnFixture("python.ico")) << QRect(0, 0, 48, 48);
    }
    void iconSitsTopLeftAtItsOwnSize()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QRect, within);
        const QImage thumbnail = ThumbnailOf(bytes, Format::Icon);
        QCOMPARE(thumbnail.size(), Thumb);
        const QRect ink = InkBounds(thumbnail);
        QVERIFY(!ink.isEmpty());
        QVERIFY2(within.contains(ink), qPrintable(QStringLiteral("ink at %1,%2 %3x%4")
                                                      .arg(ink.x())
                                                      .arg(ink.y())
                                                      .arg(ink.width())
                                                      .arg(ink.height())));
        QVERIFY(ink.width() > within.width() / 2 && ink.height() > within.height() / 2);
    }

    // pillow.ico starts with a 256 x 256 image, larger than the thumbnail.
    void iconLargerThanTheThumbnailFits()
    {
        const QString path = SharedFixture("pillow.ico");
        if (path.isEmpty())
            QSKIP("pillow.ico: $VARDENIX_FIXTURES/pictures is not available");
        const QImage thumbnail = ThumbnailOf(ReadFile(path), Format::Icon);
        const QRect ink = InkBounds(thumbnail);
        QVERIFY(!ink.isEmpty());
        QVERIFY(QRect(0, 0, 48, 48).contains(ink));
    }

    // A photo is shown upright, as its camera recorded it.
    void jpegFollowsItsExifOrientation_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QColor>("top");
        QTest::addColumn<QColor>("bottom");
        QTest::addColumn<QColor>("left");
        QTest::addColumn<QColor>("right");
        // The stored image: red left half, blue right half.
        QTest::newRow("1 as stored") << 1 << QColor() << QColor() << Red << Blue;
        QTest::newRow("3 upside down") << 3 << QColor() << QColor() << Blue << Red;
        QTest::newRow("6 turned clockwise") << 6 << Red << Blue << QColor() << QColor();
        QTest::newRow("8 turned anticlockwise") << 8 << Blue << Red << QColor() << QColor();
    }
    void jpegFollowsItsExifOrientation()
    {
        QFETCH(int, orientation);
        QFETCH(QColor, top);
        QFETCH(QColor, bottom);
        QFETCH(QColor, left);
        QFETCH(QColor, right);
        const QByteArray jpeg =
            WithOrientation(Encoded(Halves({200, 100}, Red, Blue), "JPEG"), quint16(orientation));
        const QImage image = pictures::decodeJpeg(jpeg);
        QCOMPARE(image.size(), orientation >= 5 ? QSize(100, 200) : QSize(200, 100));
        const int w = image.width();
        const int h = image.height();
        if (top.isValid()) {
            QVERIFY(Near(image.pixel(w / 2, 5), top));
            QVERIFY(Near(image.pixel(w / 2, h - 5), bottom));
        } else {
            QVERIFY(Near(image.pixel(5, h / 2), left));
            QVERIFY(Near(image.pixel(w - 5, h / 2), right));
        }
    }

    // A JPEG's thumbnail is reduced while the rows decode, without the whole
    // picture: it shows what the whole picture stretched by Qt's smooth
    // scaling shows.
    void jpegThumbnailMatchesTheWholePictureStretched_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("decodedSize"); // at the decoder's scale, upright
        QTest::newRow("1/8 of 2400x1600")
            << Encoded(Photo({2400, 1600}), "JPEG") << QSize(300, 200);
        QTest::newRow("1/4 of a wide 1600x400")
            << Encoded(EdgeBands({1600, 400}, Green, Red, Blue), "JPEG") << QSize(400, 100);
        QTest::newRow("the decoder's own size only just covers")
            << Encoded(Photo({992, 584}), "JPEG") << QSize(124, 73);
        QTest::newRow("1/2 of an odd 251x149")
            << Encoded(Photo({251, 149}), "JPEG") << QSize(126, 75);
        QTest::newRow("turned clockwise (6)")
            << WithOrientation(Encoded(Photo({1600, 2400}), "JPEG"), 6) << QSize(300, 200);
        QTest::newRow("smaller than the thumbnail")
            << Encoded(Photo({100, 50}), "JPEG") << QSize(100, 50);
        QTest::newRow("Adobe CMYK") << ReadFile(OwnFixture("pil_sample_cmyk.jpg")) << QSize();
        const QString progressive = SharedFixture("app13-multiple.jpg");
        if (!progressive.isEmpty())
            QTest::newRow("progressive") << ReadFile(progressive) << QSize();
    }
    void jpegThumbnailMatchesTheWholePictureStretched()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, decodedSize);
        const QImage covering = pictures::decodeJpeg(bytes, Thumb);
        if (decodedSize.isValid())
            QCOMPARE(covering.size(), decodedSize);
        const QImage stretched =
            covering.scaled(Thumb, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage thumbnail = pictures::makeThumbnail(bytes, Format::Jpeg, Thumb);
        QCOMPARE(thumbnail.size(), Thumb);
        const Difference difference = Compare(thumbnail, stretched);
        QVERIFY2(difference.mean < 2.0 && difference.largest <= 48,
                 qPrintable(QStringLiteral("differ by %1 at most, %2 on average")
                                .arg(difference.largest)
                                .arg(difference.mean)));
    }

    void portraitPhotoIsUpright()
    {
        const QString path = SharedFixture("Portrait_6.jpg");
        if (path.isEmpty())
            QSKIP("Portrait_6.jpg: $VARDENIX_FIXTURES/pictures is not available");
        const QImage image = pictures::decodeJpeg(ReadFile(path), Thumb);
        QVERIFY(image.height() > image.width()); // stored 1800 x 1200, shown 1200 x 1800
    }

    // The decoder drops detail by 1/2, 1/4 or 1/8 while the thumbnail stays
    // covered.
    void jpegDecodesAtTheSmallestScaleThatCovers_data()
    {
        QTest::addColumn<QSize>("stored");
        QTest::addColumn<QSize>("target");
        QTest::addColumn<QSize>("decoded");
        QTest::newRow("1/8") << QSize(1600, 800) << Thumb << QSize(200, 100);
        QTest::newRow("1/4 for a wide one") << QSize(1600, 400) << Thumb << QSize(400, 100);
        QTest::newRow("1/2") << QSize(300, 150) << Thumb << QSize(150, 75);
        QTest::newRow("whole when small") << QSize(200, 100) << Thumb << QSize(200, 100);
        QTest::newRow("whole without target") << QSize(1600, 800) << QSize() << QSize(1600, 800);
    }
    void jpegDecodesAtTheSmallestScaleThatCovers()
    {
        QFETCH(QSize, stored);
        QFETCH(QSize, target);
        QFETCH(QSize, decoded);
        const QImage image =
            pictures::decodeJpeg(Encoded(Halves(stored, Red, Blue), "JPEG"), target);
        QCOMPARE(image.size(), decoded);
        QVERIFY(Near(image.pixel(2, decoded.height() / 2), Red));
        QVERIFY(Near(image.pixel(decoded.width() - 3, decoded.height() / 2), Blue));
    }

    // Adobe's CMYK JPEG, and a progressive one, against Qt's own reader.
    void jpegVariantsMatchQt_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("cmyk") << OwnFixture("pil_sample_cmyk.jpg");
        QTest::newRow("progressive") << SharedFixture("app13-multiple.jpg");
    }
    void jpegVariantsMatchQt()
    {
        QFETCH(QString, path);
        if (path.isEmpty())
            QSKIP("app13-multiple.jpg: $VARDENIX_FIXTURES/pictures is not available");
        const QImage ours = pictures::decodeJpeg(ReadFile(path));
        const QImage qt = QImage(path).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(ours.size(), qt.size());
        for (const QPoint at : {QPoint(3, 3), QPoint(ours.width() / 2, ours.height() / 2),
                                QPoint(ours.width() / 3, ours.height() * 2 / 3)})
            QVERIFY(Near(ours.pixel(at), QColor(qt.pixel(at)), 16));
    }

    // Each content that does not decode as its type is refused.
    void damagedFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Format>("format");
        const QByteArray jpeg = Encoded(Halves({64, 64}, Red, Blue), "JPEG");
        const QByteArray emf = HalvesEmf(Red, Blue);
        QTest::newRow("truncated_jpeg.jpg: scan data cut off")
            << ReadFile(OwnFixture("truncated_jpeg.jpg")) << Format::Jpeg;
        QTest::newRow("jpeg cut before its scan") << jpeg.left(40) << Format::Jpeg;
        QTest::newRow("jpeg without its end") << jpeg.left(jpeg.size() - 40) << Format::Jpeg;
        QTest::newRow("empty jpeg") << QByteArray() << Format::Jpeg;
        const QByteArray photo = Encoded(Photo({1600, 1200}), "JPEG");
        QTest::newRow("photo cut in half, reduced while it decodes")
            << photo.left(photo.size() / 2) << Format::Jpeg;
        QTest::newRow("png named bmp") << ReadFile(OwnFixture("hopper.png")) << Format::Bitmap;
        QTest::newRow("gif named jpg") << ReadFile(OwnFixture("hopper.gif")) << Format::Jpeg;
        QTest::newRow("text named ico") << QByteArray("not an icon") << Format::Icon;
        QTest::newRow("bmp cut short")
            << Encoded(Halves({64, 64}, Red, Blue), "BMP").left(60) << Format::Bitmap;
        QTest::newRow("text named wmf") << QByteArray(64, 'x') << Format::Metafile;
        QTest::newRow("emf cut in half") << emf.left(emf.size() / 2) << Format::EnhancedMetafile;
        QTest::newRow("wmf named emf") << HalvesWmf(Red, Blue) << Format::EnhancedMetafile;
        QTest::newRow("emf named wmf") << emf << Format::Metafile;
    }
    void damagedFilesAreRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Format, format);
        // Decoded whole, and reduced to the thumbnail while it decodes.
        for (const bool thumbnail : {false, true}) {
            try {
                if (thumbnail)
                    pictures::makeThumbnail(bytes, format, Thumb);
                else
                    pictures::decode(bytes, format, Thumb);
                QFAIL(thumbnail ? "thumbnail made" : "decoded");
            } catch (const pictures::PictureError& error) {
                QCOMPARE(error.reason(), pictures::PictureError::Reason::Corrupt);
                QVERIFY(!error.detail().isEmpty());
            }
        }
    }

    // Files made to break a decoder or the sizes worked out around it, and
    // damage in files otherwise well made, are refused by the checks before
    // decoding, each with what is wrong.
    void refusedBeforeDecoding_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Format>("format");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<bool>("available"); // false: a shared hostile file is missing
        const auto hostile = [](const char* name, Format format, const char* detail) {
            const QString path = HostileFixture(QString::fromLatin1(name));
            QTest::newRow(name) << (path.isEmpty() ? QByteArray() : ReadFile(path)) << format
                                << QString::fromLatin1(detail) << !path.isEmpty();
        };
        hostile("bmp-1.bmp", Format::Bitmap, "compressed data ends before its last pixel");
        hostile("bmp-2.bmp", Format::Bitmap, "compressed data ends before its last pixel");
        hostile("bmp-3.bmp", Format::Bitmap, "colour beyond its colour table");
        hostile("bmp-4.bmp", Format::Bitmap, "unknown header");
        hostile("bmp-5.bmp", Format::Bitmap, "too large");
        hostile("emf-1.emf", Format::EnhancedMetafile, "description lies outside its header");
        hostile("emf-2.emf", Format::EnhancedMetafile, "no end-of-file record");
        hostile("emf-3.emf", Format::EnhancedMetafile, "frame is too large");
        hostile("emf-4.emf", Format::EnhancedMetafile, "frame is too large");
        hostile("ico-1.ico", Format::Icon, "lists 65535 images");
        for (const char* name : {"jpg-1.jpg", "jpg-2.jpg", "jpg-3.jpg", "jpg-4.jpg"})
            hostile(name, Format::Jpeg, "too large");
        hostile("wmf-1.wmf", Format::Metafile, "record size beyond the file");

        const QByteArray emf = HalvesEmf(Red, Blue);
        QByteArray emfRecordTooLong = emf;
        qToLittleEndian<quint32>(quint32(emf.size()) * 2, emfRecordTooLong.data() + 88 + 4);
        QByteArray emfOddRecord = emf;
        qToLittleEndian<quint32>(10, emfOddRecord.data() + 88 + 4);
        QTest::newRow("emf record past the end") << emfRecordTooLong << Format::EnhancedMetafile
                                                 << "record at byte 88 is damaged" << true;
        QTest::newRow("emf record not whole words")
            << emfOddRecord << Format::EnhancedMetafile << "record at byte 88 is damaged" << true;
        QByteArray bmpHeaderOnly = Encoded(Halves({8, 8}, Red, Blue), "BMP").left(54);
        qToLittleEndian<qint32>(8192, bmpHeaderOnly.data() + 18);
        qToLittleEndian<qint32>(8192, bmpHeaderOnly.data() + 22);
        QTest::newRow("bmp of 8192 x 8192 pixels without them")
            << bmpHeaderOnly << Format::Bitmap << "cut short" << true;
        const QByteArray wmf = HalvesWmf(Red, Blue);
        QTest::newRow("wmf without its end-of-file record")
            << wmf.left(wmf.size() - 6) << Format::Metafile << "no end-of-file record" << true;
        QByteArray icon = Encoded(Halves({16, 16}, Red, Blue), "ICO");
        qToLittleEndian<quint32>(quint32(icon.size()), icon.data() + 6 + 12);
        QTest::newRow("icon image outside the file")
            << icon << Format::Icon << "image 1 lies outside the file" << true;
        if (const QString rlePath = SharedFixture(QStringLiteral("pal4rle.bmp"));
            !rlePath.isEmpty()) {
            const QByteArray rle = ReadFile(rlePath);
            QTest::newRow("rle cut in half")
                << rle.left(rle.size() / 2) << Format::Bitmap
                << "compressed data ends before its last pixel" << true;
        }
    }
    void refusedBeforeDecoding()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(Format, format);
        QFETCH(QString, detail);
        QFETCH(bool, available);
        if (!available)
            QSKIP("$VARDENIX_FIXTURES/hostile is not available");
        try {
            pictures::decode(bytes, format, Thumb);
            QFAIL("decoded");
        } catch (const pictures::PictureError& error) {
            QVERIFY2(error.detail().contains(detail), qPrintable(error.detail()));
        }
    }

    void bmpRoundTrip()
    {
        const QImage thumbnail = ThumbnailOf(HalvesWmf(Red, Blue), Format::Metafile);
        const QByteArray bytes = pictures::encodeBmp(thumbnail);
        QVERIFY(bytes.startsWith("BM"));
        const QImage back = pictures::decodeBmp(bytes);
        QCOMPARE(back.size(), Thumb);
        QCOMPARE(back.convertToFormat(QImage::Format_RGB32), thumbnail);

        QVERIFY(pictures::decodeBmp(QByteArray()).isNull());
        QVERIFY_THROWS_EXCEPTION(pictures::PictureError,
                                 pictures::decodeBmp(Encoded(thumbnail, "JPEG")));
    }

    // Every pixel of every width, the widths that leave one to three pixels
    // after the groups of four among them.
    void bmpPixelsOfEveryWidth_data()
    {
        QTest::addColumn<int>("width");
        for (const int width : {1, 2, 3, 4, 5, 6, 7, 8, 9, 124})
            QTest::addRow("%d wide", width) << width;
    }

    void bmpPixelsOfEveryWidth()
    {
        QFETCH(int, width);
        QImage picture(width, 3, QImage::Format_RGB32);
        QRandomGenerator generator(static_cast<quint32>(width));
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < width; ++x)
                picture.setPixel(x, y, 0xff000000u | generator.bounded(0x1000000u));
        }
        QCOMPARE(
            pictures::decodeBmp(pictures::encodeBmp(picture)).convertToFormat(QImage::Format_RGB32),
            picture);
    }

    // A BMP is stored bottom-up unless its height is negative.
    void bmpRowOrder()
    {
        QImage picture = Halves({30, 20}, Red, Blue).transformed(QTransform().rotate(90));
        const QByteArray bottomUp = pictures::encodeBmp(picture);
        QCOMPARE(qFromLittleEndian<qint32>(bottomUp.constData() + 28) & 0xFFFF, 24);
        QByteArray topDown = bottomUp;
        const qint32 height = qFromLittleEndian<qint32>(bottomUp.constData() + 22);
        qToLittleEndian<qint32>(-height, topDown.data() + 22);
        const int offset = qFromLittleEndian<qint32>(bottomUp.constData() + 10);
        const int stride = (picture.width() * 3 + 3) / 4 * 4;
        for (int row = 0; row < height; ++row)
            topDown.replace(offset + row * stride, stride,
                            bottomUp.mid(offset + (height - 1 - row) * stride, stride));
        for (const QByteArray& bytes : {bottomUp, topDown}) {
            const QImage image = pictures::decodeBmp(bytes);
            QCOMPARE(image.convertToFormat(QImage::Format_RGB32),
                     picture.convertToFormat(QImage::Format_RGB32));
            QVERIFY(Near(image.pixel(10, 2), Red, 0)); // the left half went to the top
        }
    }

    // Metafile text comes as GBK bytes, and libwmf escapes nothing.
    void wmfTextIsDecodedFromGbk()
    {
        const QString text = QStringLiteral("中文 <&> 图片");
        const QByteArray wmf = HalvesWmf(Red, Blue, text);
        const pictures::SvgDrawing drawing = pictures::windowsMetafileToSvg(wmf);
        QVERIFY2(drawing.svg.contains(QStringLiteral("中文 &lt;&amp;&gt; 图片").toUtf8()),
                 drawing.svg.constData());
        const QImage thumbnail = ThumbnailOf(wmf, Format::Metafile);
        QVERIFY(Near(thumbnail.pixel(100, 60), Blue));
    }

    // Real metafiles from libwmf and libemf2svg: text, hatches, EMF+ records.
    void sharedMetafilesDraw_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Format>("format");
        QTest::newRow("fulltest.wmf") << "fulltest.wmf" << Format::Metafile;
        QTest::newRow("text.wmf without extent") << "text.wmf" << Format::Metafile;
        QTest::newRow("test-000.emf with EMF+") << "test-000.emf" << Format::EnhancedMetafile;
        QTest::newRow("test-093.emf") << "test-093.emf" << Format::EnhancedMetafile;
    }
    void sharedMetafilesDraw()
    {
        QFETCH(QString, name);
        QFETCH(Format, format);
        const QString path = SharedFixture(name);
        if (path.isEmpty())
            QSKIP(qPrintable(name + ": $VARDENIX_FIXTURES/pictures is not available"));
        const QImage thumbnail = ThumbnailOf(ReadFile(path), format);
        QCOMPARE(thumbnail.size(), Thumb);
        const QRect ink = InkBounds(thumbnail);
        QVERIFY(ink.width() > Thumb.width() / 2 && ink.height() > Thumb.height() / 2);
    }

    void sharedRasterFilesDecode_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<Format>("format");
        QTest::addColumn<QSize>("size");
        QTest::newRow("pal8topdown.bmp")
            << OwnFixture("pal8topdown.bmp") << Format::Bitmap << QSize(127, 64);
        for (const char* name : {"pal4rle.bmp", "rgb24.bmp", "rgba32.bmp"})
            QTest::newRow(name) << SharedFixture(name) << Format::Bitmap << QSize(127, 64);
    }
    void sharedRasterFilesDecode()
    {
        QFETCH(QString, path);
        QFETCH(Format, format);
        QFETCH(QSize, size);
        if (path.isEmpty())
            QSKIP("$VARDENIX_FIXTURES/pictures is not available");
        const pictures::Picture picture = pictures::decode(ReadFile(path), format, Thumb);
        QCOMPARE(picture.size(), size);
        const QImage thumbnail = pictures::makeThumbnail(picture, Thumb);
        QCOMPARE(InkBounds(thumbnail).size(), Thumb); // fills the thumbnail
    }
};

QTEST_MAIN(PicturesTest)
#include "PicturesTest.moc"
