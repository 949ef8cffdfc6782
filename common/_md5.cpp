#include "_md5.h"

#include "platform/text/Gbk.h"

#include <QCryptographicHash>

QString PasswordDigest(const QString& password)
{
    const QByteArray digest =
        QCryptographicHash::hash(Gbk::encode(password), QCryptographicHash::Md5);
    return QString::fromLatin1(digest.toHex());
}
