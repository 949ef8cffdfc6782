#pragma once

#include <QString>

// A name from the database as the operator is shown it. Characters that
// draw nothing or move the text around them (direction overrides and
// isolates, zero-width characters, other format and control characters,
// line and paragraph separators, unassigned code points) would let a stored
// name pass for another one, "合同\u202Etxt.exe" for "合同exe.txt"; each is
// shown as its code point instead, "合同<U+202E>txt.exe", so that what the
// operator reads is what the name holds, in its own order.
QString VisibleName(const QString& stored);
