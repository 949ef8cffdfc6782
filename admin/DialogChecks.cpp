#include "DialogChecks.h"

#include "platform/text/Gbk.h"

namespace DialogChecks {

bool IsShortPassword(const QString& password)
{
    return Gbk::byteLength(password) < MinPasswordBytes;
}

QString LengthRefusal(const QString& what, const QString& text, int maxBytes)
{
    if (Gbk::byteLength(text) <= maxBytes)
        return QString();
    return what + QStringLiteral("太长，最多%1个字节(一个汉字占两个字节)!").arg(maxBytes);
}

} // namespace DialogChecks
