#pragma once

#include <QString>

// Text that SQLite reads as SQL Server reads it: the same literals, names
// and statements, character for character.
namespace db::sqlite {

// The T-SQL text with each comment replaced by a blank, a bracketed name
// that holds "]]" written in double quotes (SQLite ends "[...]" at the first
// "]") and the comparisons "!<" and "!>" as ">=" and "<=", which SQLite
// lacks. Throws DbError with SQL Server's message for an unclosed literal,
// quoted name or comment, and for a backtick outside them, which SQLite would
// read as a quote; a NUL, at which SQLite would stop reading, and a carriage
// return alone inside a line comment, which some readers of T-SQL take for
// the comment's end, are refused too.
QString readAsSqlServer(const QString& text);

// A translated statement with a blank put where SQLite would read its
// characters together otherwise than T-SQL does: "-" "-" or "/" "*" brought
// together by the translation, which would open a comment; "x" before a
// literal, which would make it a blob; a parameter such as "@a" or ":a"
// before "(", which SQLite would read up to the next blank or ")".
QString sealed(const QString& statement);

} // namespace db::sqlite
