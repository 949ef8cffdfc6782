#pragma once

struct sqlite3;

namespace db::sqlite {

// Registers on the connection the SQL functions that statements translated
// for SQLite call (see SqliteDialect.h): gbk_length(text), a text's length
// in bytes of the GBK code page, and tsql_number(value), a text read as SQL
// Server reads a varchar compared with an integer. DbError when SQLite
// refuses them.
void addFunctions(sqlite3* handle);

} // namespace db::sqlite
