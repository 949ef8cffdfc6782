#pragma once

#include <QString>
#include <optional>

namespace db::sqlite {

// A statement whose blob travels in pieces through SQLite's incremental
// blob I/O, which needs the table, the column and the rowid of each row.
struct BlobStatement
{
    QString table;
    QString column;
    // The statement that finds the rows: for an UPDATE the statement itself
    // with " RETURNING rowid", for a SELECT the same select of "rowid,
    // typeof(<column>)", which tells NULL from a value without reading it.
    QString rows;
};

// "UPDATE <table> SET <column>=:file WHERE ...", as translated.
std::optional<BlobStatement> blobUpdate(const QString& statement);
// "SELECT <column> FROM <table> ...", as translated.
std::optional<BlobStatement> blobSelect(const QString& statement);

} // namespace db::sqlite
