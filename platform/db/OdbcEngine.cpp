#include "OdbcEngine.h"

#include "DbError.h"
#include "SqlScan.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace db {

namespace {

const QString FileParameterName = QStringLiteral("file");

// FreeTDS honours the connection timeout for reaching the server and for
// the login; without it a server that accepts TCP but never answers would
// hang the program.
const QString ConnectOptions =
    QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=10;SQL_ATTR_CONNECTION_TIMEOUT=10");

// FreeTDS cuts text and image values at its default text size (64 KB)
// unless the session raises it.
const QString SessionSetup = QStringLiteral("SET TEXTSIZE 2147483647");

// The engine's message of an error, with Qt's note on the failed step after it.
QString errorText(const QSqlError& error)
{
    const QString engine = error.databaseText().trimmed();
    const QString step = error.driverText().trimmed();
    if (engine.isEmpty())
        return step;
    if (step.isEmpty())
        return engine;
    return engine + QStringLiteral(" (") + step + u')';
}

// Runs one statement, binding ":file" when the statement names it.
void runStatement(QSqlQuery& query, const QString& statement, const FileParameter& file)
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

// Takes the field names and every remaining row of the current result.
void takeRows(QSqlQuery& query, ResultRows& rows)
{
    const QSqlRecord record = query.record();
    const int count = record.count();
    rows.fieldNames.clear();
    rows.fieldNames.reserve(count);
    for (int i = 0; i < count; ++i)
        rows.fieldNames.append(record.fieldName(i));
    while (query.next()) {
        for (int i = 0; i < count; ++i) {
            // Read in column order: ODBC hands a row's columns over only once, forward.
            QVariant value = query.value(i);
            rows.values.append(query.isNull(i) ? QVariant() : std::move(value));
        }
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

QString connectFailure(const ConnectionStringParts& parts, const QSqlError& error)
{
    QString reason = error.databaseText().trimmed();
    // Newer Qt versions append the SQLSTATE list to the driver's text.
    reason.remove(QRegularExpression(QStringLiteral(",\\s*[0-9A-Z;]*$")));
    reason = reason.trimmed();
    if (reason.isEmpty())
        return QStringLiteral("The login to SQL Server %1 failed; the server gave no reason.")
            .arg(parts.dataSource);
    return QStringLiteral("Cannot connect to SQL Server %1: %2").arg(parts.dataSource, reason);
}

void throwIfFailed(const QSqlQuery& query)
{
    if (query.lastError().isValid())
        throw DbError(errorText(query.lastError()));
}

// Walks the remaining results of a request: the driver reports a statement
// that failed after the first one only when its result is reached.
void finishResults(QSqlQuery& query)
{
    while (query.nextResult()) {
    }
    throwIfFailed(query);
}

QSqlQuery prepared(const QSqlDatabase& database, const QString& statement,
                   const QList<QVariant>& values)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    bool ok = query.prepare(statement);
    for (const QVariant& value : values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok)
        throw DbError(errorText(query.lastError()));
    return query;
}

} // namespace

OdbcEngine::OdbcEngine(const ConnectionStringParts& parts)
{
    static quint64 serial = 0;
    m_connectionName = QStringLiteral("vardenix-odbc-%1").arg(++serial);
    try {
        m_database = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), m_connectionName);
        if (!m_database.isValid())
            throw DbError(QStringLiteral("Qt's ODBC driver (QODBC) is not installed."));
        m_database.setDatabaseName(odbcConnectionString(parts));
        m_database.setConnectOptions(ConnectOptions);
        if (!m_database.open())
            throw DbError(connectFailure(parts, m_database.lastError()));
        run(SessionSetup, std::nullopt, nullptr);
    } catch (...) {
        close();
        throw;
    }
}

OdbcEngine::~OdbcEngine()
{
    close();
}

void OdbcEngine::close()
{
    if (m_database.isValid() && m_database.isOpen()) {
        // The driver will not disconnect in the middle of a transaction.
        if (m_inTransaction)
            m_database.rollback();
        m_database.close();
    }
    m_inTransaction = false;
    m_database = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void OdbcEngine::beginTransaction()
{
    if (m_inTransaction)
        throw DbError(QStringLiteral("A transaction is already open on this connection."));
    if (!m_database.transaction())
        throw DbError(errorText(m_database.lastError()));
    m_inTransaction = true;
}

void OdbcEngine::commit()
{
    if (!m_inTransaction)
        throw DbError(QStringLiteral("No transaction is open on this connection."));
    if (!m_database.commit())
        throw DbError(errorText(m_database.lastError()));
    m_inTransaction = false;
}

void OdbcEngine::rollback()
{
    if (!m_inTransaction)
        throw DbError(QStringLiteral("No transaction is open on this connection."));
    if (!m_database.rollback())
        throw DbError(errorText(m_database.lastError()));
    m_inTransaction = false;
}

void OdbcEngine::run(const QString& text, const FileParameter& file, ResultRows* rows)
{
    QSqlQuery query(m_database);
    query.setForwardOnly(true);
    runStatement(query, text, file);
    if (rows && query.isSelect())
        takeRows(query, *rows);
    while (query.nextResult()) {
        if (rows && rows->fieldNames.isEmpty() && query.isSelect())
            takeRows(query, *rows);
    }
    throwIfFailed(query);
}

void OdbcEngine::runBatch(const QString& text, const FileParameter& file, ResultRows* rows)
{
    if (m_inTransaction || sqlscan::statementCount(text) < 2) {
        run(text, file, rows);
        return;
    }
    beginTransaction();
    try {
        run(text, file, rows);
        commit();
    } catch (...) {
        try {
            rollback();
        } catch (const DbError&) {
            // The statement's own error is the one to report.
        }
        throw;
    }
}

ResultRows OdbcEngine::select(const QString& text, const FileParameter& file)
{
    ResultRows rows;
    runBatch(text, file, &rows);
    if (rows.fieldNames.isEmpty())
        throw DbError(QStringLiteral("The statement returns no rows."));
    return rows;
}

void OdbcEngine::execute(const QString& text, const FileParameter& file)
{
    runBatch(text, file, nullptr);
}

int OdbcEngine::countRows(const QString& text, const FileParameter& file)
{
    QSqlQuery query(m_database);
    query.setForwardOnly(true);
    runStatement(query, text, file);
    int count = 0;
    bool counted = false;
    do {
        if (!counted && query.isSelect()) {
            // Only moves the cursor: no value is fetched or kept.
            while (query.next())
                ++count;
            throwIfFailed(query);
            counted = true;
        }
    } while (query.nextResult());
    throwIfFailed(query);
    if (!counted)
        throw DbError(QStringLiteral("The statement returns no rows."));
    return count;
}

QString OdbcEngine::quoteName(const QString& name) const
{
    QString quoted = name;
    quoted.replace(u']', QStringLiteral("]]"));
    return u'[' + quoted + u']';
}

QString OdbcEngine::insertStatement(const QString& table, const QStringList& columns,
                                    const QString& keyColumn) const
{
    // OUTPUT hands back the identity that this very statement assigned, as
    // its only result: no row count or other statement can be taken for it.
    const QString output = QStringLiteral(" OUTPUT INSERTED.") + quoteName(keyColumn);
    QString sql = QStringLiteral("INSERT INTO ") + table;
    if (columns.isEmpty())
        return sql + output + QStringLiteral(" DEFAULT VALUES");
    QStringList names;
    for (const QString& column : columns)
        names.append(quoteName(column));
    return sql + QStringLiteral(" (") + names.join(u',') + u')' + output +
           QStringLiteral(" VALUES (") +
           QStringList(columns.size(), QStringLiteral("?")).join(u',') + u')';
}

QVariant OdbcEngine::insertRow(const QString& statement, const QList<QVariant>& values)
{
    QSqlQuery query = prepared(m_database, statement, values);
    QVariant key;
    if (query.isSelect() && query.next())
        key = query.value(0);
    throwIfFailed(query);
    finishResults(query);
    if (!key.isValid() || key.isNull())
        throw DbError(QStringLiteral("The server did not return the new row's key."));
    return key;
}

int OdbcEngine::writeRow(const QString& statement, const QList<QVariant>& values)
{
    QSqlQuery query = prepared(m_database, statement, values);
    const int count = rowsAffected(query);
    finishResults(query);
    return count;
}

} // namespace db
