#pragma once

#include <QList>
#include <QString>

// Reading just enough of a T-SQL text to find things in its code: string
// literals, quoted names ("..." and [...]) and comments are passed over whole,
// where SQL Server ends them (TsqlLexer).
namespace db::sqlscan {

// The positions of the parameter ":name" in the code, in order.
QList<qsizetype> parameterPositions(const QString& sql, const QString& name);
// True when ":name" stands in the code as a parameter.
bool containsParameter(const QString& sql, const QString& name);

// The table named after the first FROM outside parentheses, written as in
// the text (quotes and owner kept); empty when there is none.
QString firstFromTable(const QString& sql);

// The number of non-empty statements between the semicolons of the code.
int statementCount(const QString& sql);

} // namespace db::sqlscan
