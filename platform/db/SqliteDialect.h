#pragma once

#include <QString>
#include <QStringList>

namespace db::sqlite {

// Rewrites SQL Server statements so that SQLite runs them with SQL Server's
// meaning. A text is split into its statements at the semicolons that stand
// outside string literals and brackets; nothing inside a literal changes.
//
// - "SELECT TOP n ..." becomes "SELECT ... LIMIT n", also in sub-selects;
// - CREATE TABLE: "int NOT NULL IDENTITY (1, 1)" becomes an auto-increment
//   integer key, "image" a blob, "float" a real, "int"/"integer" an integer,
//   "varchar(n)" a case-insensitive text whose GBK byte length is checked
//   against n with the SQL function gbk_length(), which the engine registers;
//   the table is STRICT; "CONSTRAINT x PRIMARY KEY (id)" on the identity
//   column is dropped since that column is the key already.
QStringList translateBatch(const QString& text);

} // namespace db::sqlite
