#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

namespace db::sqlite {

// The collation of text comparisons and text ORDER BY terms.
inline constexpr const char* ChineseCollation = "tsql_chinese";

// Rewrites SQL Server statements so that SQLite runs them with SQL Server's
// meaning. The text is first read as SQL Server reads it (readAsSqlServer):
// comments, nested ones included, become blanks, and a text that SQL Server
// would refuse before running anything, or that SQLite would read otherwise
// (an unclosed literal or comment, a backtick, a NUL), throws DbError. It is
// then split into its statements at the semicolons that stand outside string
// literals and quoted names; each statement comes back without its semicolon
// and without the blanks and line breaks around it, and empty statements are
// dropped. Nothing inside a literal changes, and SQLite reads every literal
// and name of the result where T-SQL reads it (sealed).
//
// - "SELECT TOP n ..." becomes "SELECT ... LIMIT n", the LIMIT at the end of
//   that select (before the parenthesis that closes a sub-select);
// - CREATE TABLE: "int NOT NULL IDENTITY (1, 1)" becomes "INTEGER PRIMARY KEY
//   AUTOINCREMENT" (identity values are never reused), "image" a BLOB,
//   "float" a REAL, "int"/"integer" an INTEGER, "varchar(n)" a TEXT that
//   compares without regard to case; "CONSTRAINT x PRIMARY KEY (id)" on the
//   identity column is dropped since that column is the key already; the
//   table is STRICT, so a value of the wrong type fails as it does on SQL
//   Server. Two triggers follow the table, "<table>_varchar_insert" and
//   "<table>_varchar_update": they refuse a varchar value longer than n bytes
//   of the GBK code page (an ASCII character and the euro sign count one, any
//   other character two) with SQL Server's "String or binary data would be
//   truncated" message. They use SQLite's core functions only, so every
//   SQLite tool can write the file and keeps the lengths as well.
// - A column named in textColumns (lower case: the columns declared varchar)
//   that is compared with an integer, as in "f_1>=100", is read through the
//   SQL function tsql_number(), which the engine registers: SQL Server
//   compares such a column as a number, not as a text.
// - Such a column compared with anything else (=, <>, !=, <, >, <=, >=, !<,
//   !>), and an ORDER BY term that is such a column alone, with or without
//   ASC or DESC, get "COLLATE tsql_chinese", the collation the engine
//   registers for SQL Server's Chinese_PRC_CI_AS: "f_1 COLLATE
//   tsql_chinese>'x'", "order by f_1 COLLATE tsql_chinese desc". The tables
//   keep SQLite's own NOCASE, so that other SQLite tools, which know no such
//   collation, still read and write the file. LIKE is left as it is.
// - SQL Server ends a number where a word begins ("100order by"); a blank is
//   put between them.
// - "!<" and "!>" become ">=" and "<=".
// - Every other statement passes unchanged, and so does a statement that the
//   translation does not understand: SQLite then reports its own error.
QStringList translateBatch(const QString& text, const QSet<QString>& textColumns = {});

} // namespace db::sqlite
