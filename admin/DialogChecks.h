#pragma once

#include <QString>

// What the operator dialog and the settings dialog check alike. Lengths are
// GBK bytes, as the database counts them.
namespace DialogChecks {

// A password has at least this many bytes.
constexpr int MinPasswordBytes = 6;
bool IsShortPassword(const QString& password);

// "<what>太长，最多<n>个字节(一个汉字占两个字节)!" when the text has more
// than maxBytes bytes; empty when it fits.
QString LengthRefusal(const QString& what, const QString& text, int maxBytes);

} // namespace DialogChecks
