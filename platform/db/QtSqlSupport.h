#pragma once

#include "Engine.h"

#include <QSqlError>
#include <QSqlQuery>

// What both engines do the same way on a Qt SQL connection.
namespace db::qtsql {

// The engine's message of an error, with Qt's note on the failed step after it.
QString errorText(const QSqlError& error);

// Runs one statement on a forward-only query, binding ":file" when the
// statement names it; DbError when it fails or names a file that was not given.
void run(QSqlQuery& query, const QString& statement, const FileParameter& file);

// Takes the field names and every remaining row of the query's current result.
void takeRows(QSqlQuery& query, ResultRows& rows);

// The affected-row count of the last statement; DbError when the engine
// cannot tell.
int rowsAffected(const QSqlQuery& query);

} // namespace db::qtsql
