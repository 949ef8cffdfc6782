#pragma once

#include <QByteArray>
#include <QString>

// Text in the GBK code page (936), the code page of the program's users.
namespace Gbk {

QByteArray encode(const QString& text);
QString decode(const QByteArray& bytes);
int byteLength(const QString& text); // a Chinese character counts as two
bool canEncode(const QString& text); // false for characters outside GBK

} // namespace Gbk
