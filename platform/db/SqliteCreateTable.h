#pragma once

#include "SqliteTokens.h"

namespace db::sqlite {

// A CREATE TABLE statement as SQLite runs it, then the triggers that keep its
// varchar lengths; nothing when the statement is not understood.
QStringList rewriteCreateTable(Statement& s);

} // namespace db::sqlite
