#pragma once

#include <QString>

// True when the key reads as a 32-bit integer by the usual string-to-integer
// rules: leading blanks, then an optional sign and decimal digits, or "$",
// "x", "X", "0x" or "0X" and hexadecimal digits. Anything after the digits,
// trailing blanks included, makes it text.
bool KeyIsNumber(const QString& key);

// The row filter of a search on one column. "包含" looks for the key inside
// the column's text; the other operators compare, with a number unquoted and
// everything else as a quoted text. A number goes in as typed; a quote in a
// text is doubled, so the key always stays one literal.
QString SearchCondition(const QString& column, const QString& op, const QString& key);
