#pragma once

#include <QString>

namespace db {
class Connection;
}

// A SQL Server database keeps Chinese text in its varchar columns only when
// its collation uses code page 936 (the Chinese_PRC collations); any other
// code page stores "?" for each Chinese character without an error.

// Reads the connected database's collation and the code page it uses.
extern const QString CollationStatement;

// The message for the operator when a database of this collation and code
// page cannot keep the program's Chinese text; empty when it can.
QString CollationRefusal(const QString& collation, int codePage);

// The refusal for the database the connection reaches, empty when Chinese
// text is safe there. The embedded engine keeps Unicode and is not asked.
// A failing statement raises db::DbError.
QString ChineseTextRefusal(db::Connection& connection);
