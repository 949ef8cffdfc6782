#include "Engine.h"

namespace db {

QString Engine::insertInto(const QString& table, const QStringList& columns) const
{
    const QString sql = QStringLiteral("INSERT INTO ") + table;
    if (columns.isEmpty())
        return sql + QStringLiteral(" DEFAULT VALUES");
    QStringList names;
    for (const QString& column : columns)
        names.append(quoteName(column));
    return sql + QStringLiteral(" (") + names.join(u',') + QStringLiteral(") VALUES (") +
           QStringList(columns.size(), QStringLiteral("?")).join(u',') + u')';
}

} // namespace db
