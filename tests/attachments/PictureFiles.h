#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QList>
#include <QMetaType>
#include <QPoint>
#include <QSize>
#include <QString>

// Small picture files made for the tests, so that every pixel of a thumbnail
// can be predicted, and ways to look at the result.
namespace PictureFiles {

// Fixture colours, far enough apart to tell after JPEG and scaling.
const QColor Red(220, 20, 20);
const QColor Blue(20, 20, 220);
const QColor Green(20, 200, 20);
const QColor White(255, 255, 255);

struct PixelCheck
{
    QPoint at;
    QColor colour;
};
using PixelChecks = QList<PixelCheck>;

// Left half one colour, right half the other.
QImage Halves(QSize size, const QColor& left, const QColor& right);
// A band a tenth of the width at each edge, the middle in a third colour:
// the edge bands vanish when a thumbnail is cropped, and white bars appear
// when it is letter-boxed.
QImage EdgeBands(QSize size, const QColor& left, const QColor& middle, const QColor& right);
QByteArray Encoded(const QImage& image, const char* format); // "JPEG", "BMP", "ICO"
// A BMP file, and an icon file of one image, with 1, 4 or 8 bits a pixel and
// a palette: left half `left`, right half `right`.
QByteArray PaletteBmp(QSize size, int bits, const QColor& left, const QColor& right);
QByteArray PaletteIco(QSize size, int bits, const QColor& left, const QColor& right);

// A placeable WMF, 200 x 100 logical units (96 per inch): left half `left`,
// right half `right`; with text, a TEXTOUT record of its GBK bytes as well.
QByteArray HalvesWmf(const QColor& left, const QColor& right, const QString& text = QString());
// An EMF whose frame is 200 x 100 pixels while its bounds reach 50 pixels
// further up and left, as Inkscape writes them: halves as above.
QByteArray HalvesEmf(const QColor& left, const QColor& right);

// The colour is within `tolerance` of the expected one in every channel
// (JPEG and smoothing move colours a little).
bool Near(QRgb actual, const QColor& expected, int tolerance = 48);

QByteArray ReadFile(const QString& path);
void WriteFile(const QString& path, const QByteArray& bytes);

// A copied fixture of this folder, and one of the shared picture fixtures
// (empty when $VARDENIX_FIXTURES is not set or lacks it).
QString OwnFixture(const QString& name);
QString SharedFixture(const QString& name);
// A file of the shared fixtures made to break a decoder, by name.
QString HostileFixture(const QString& name);

} // namespace PictureFiles

Q_DECLARE_METATYPE(PictureFiles::PixelChecks)
