#include "QtSqlSupport.h"

#include "DbError.h"
#include "SqlScan.h"

#include <QSqlRecord>

namespace db::qtsql {

namespace {
const QString FileParameterName = QStringLiteral("file");
}

QString errorText(const QSqlError& error)
{
    const QString engine = error.databaseText().trimmed();
    const QString step = error.driverText().trimmed();
    // Qt's SQLite driver reports its own refusals with SQLite's "not an error".
    if (engine.isEmpty() || engine == u"not an error")
        return step;
    if (step.isEmpty())
        return engine;
    return engine + QStringLiteral(" (") + step + u')';
}

void run(QSqlQuery& query, const QString& statement, const FileParameter& file)
{
    bool ok = false;
    if (sqlscan::containsParameter(statement, FileParameterName)) {
        if (!file)
            throw DbError(QStringLiteral("The statement uses the parameter :file, but no value "
                                         "was given for it."));
        // An empty file is an empty value, not NULL: Qt binds a null QByteArray as NULL.
        const QByteArray bytes = file->isNull() ? QByteArray("") : *file;
        ok = query.prepare(statement);
        if (ok) {
            query.bindValue(u':' + FileParameterName, bytes);
            ok = query.exec();
        }
    } else {
        ok = query.exec(statement);
    }
    if (!ok)
        throw DbError(errorText(query.lastError()));
}

void takeRows(QSqlQuery& query, ResultRows& rows)
{
    const QSqlRecord record = query.record();
    const int count = record.count();
    rows.fieldNames.clear();
    rows.fieldNames.reserve(count);
    for (int i = 0; i < count; ++i)
        rows.fieldNames.append(record.fieldName(i));
    while (query.next()) {
        QList<QVariant> values;
        values.reserve(count);
        for (int i = 0; i < count; ++i) {
            // Read in column order: ODBC hands a row's columns over only once, forward.
            QVariant value = query.value(i);
            values.append(query.isNull(i) ? QVariant() : std::move(value));
        }
        rows.rows.append(std::move(values));
    }
    if (query.lastError().isValid())
        throw DbError(errorText(query.lastError()));
}

int rowsAffected(const QSqlQuery& query)
{
    const int count = query.numRowsAffected();
    if (count < 0)
        throw DbError(QStringLiteral("The database did not report how many rows were changed."));
    return count;
}

} // namespace db::qtsql
