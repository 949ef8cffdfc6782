#include "Gbk.h"

#include <QStringDecoder>
#include <QStringEncoder>

// Qt reaches GBK through ICU only by name; encodingForName() does not know it.
// A converter keeps its error flag across calls, so each call takes a new one.
namespace Gbk {

QByteArray encode(const QString& text)
{
    QStringEncoder encoder("GBK");
    return encoder.encode(text);
}

QString decode(const QByteArray& bytes)
{
    QStringDecoder decoder("GBK");
    return decoder.decode(bytes);
}

int byteLength(const QString& text)
{
    return static_cast<int>(encode(text).size());
}

bool canEncode(const QString& text)
{
    QStringEncoder encoder("GBK");
    const QByteArray bytes = encoder.encode(text); // the conversion runs when its result is taken
    return !encoder.hasError();
}

} // namespace Gbk
