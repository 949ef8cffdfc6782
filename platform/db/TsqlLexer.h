#pragma once

#include <QString>

// Where SQL Server's comments, string literals and quoted names begin and
// end. The statement scanner and the translation for SQLite both read a
// text through it, so that they split it alike.
namespace db::tsql {

enum class Span
{
    Code,         // none of the below starts here
    LineComment,  // -- up to the next line feed
    BlockComment, // /* ... */, nested
    Literal,      // '...'
    QuotedName,   // [...] or "..."
};

struct Reach
{
    Span span = Span::Code;
    qsizetype end = 0;  // just past the span; for Code, the position asked about
    bool closed = true; // false when the text ends inside the span
};

// What starts at position i. A line comment ends before the line feed: SQL
// Server, like SQLite, does not end it at a carriage return alone. A "/*"
// inside a block comment opens a nested one, which needs its own "*/". In a
// literal or quoted name the closing character doubled stands for itself.
Reach reachAt(const QString& text, qsizetype i);

} // namespace db::tsql
