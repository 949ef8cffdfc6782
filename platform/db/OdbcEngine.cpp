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
// unless the session raises it. With ANSI_WARNINGS a text too long for its
// column fails the statement instead of being cut short.
const QString SessionSetup = QStringLiteral("SET TEXTSIZE 2147483647;SET ANSI_WARNINGS ON");

// Marks the start of a unit inside a caller's transaction.
const QString UnitSavepoint = QStringLiteral("vardenix_unit");

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
    // The server takes an empty text as an empty batch and reports nothing.
    if (sqlscan::statementCount(statement) == 0)
        throw DbError(QStringLiteral("The statement text is empty."));
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

QSqlQuery prepared(const QSqlDatabase& database, const QString& statement, QList<QVariant> values)
{
    QSqlQuery query(database);
    query.setForwardOnly(true);
    bool ok = query.prepare(inlineTextParameters(statement, values));
    for (const QVariant& value : values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok)
        throw DbError(errorText(query.lastError()));
    return query;
}

} // namespace

QString inlineTextParameters(const QString& statement, QList<QVariant>& values)
{
    const QList<qsizetype> markers = sqlscan::placeholderPositions(statement);
    if (markers.size() != values.size())
        throw DbError(QStringLiteral("The statement has %1 parameter markers for %2 values.")
                          .arg(markers.size())
                          .arg(values.size()));
    QString text = statement;
    QList<QVariant> bound;
    for (qsizetype k = markers.size() - 1; k >= 0; --k) {
        const QVariant& value = values.at(k);
        if (value.typeId() == QMetaType::QString && !value.isNull()) {
            QString literal = value.toString();
            literal.replace(u'\'', QStringLiteral("''"));
            text.replace(markers.at(k), 1, QStringLiteral("N'") + literal + u'\'');
        } else {
            bound.prepend(value);
        }
    }
    values = bound;
    return text;
}

QString connectFailureMessage(const QString& dataSource, const QString& driverText)
{
    const QString reason = driverText.trimmed();
    // Newer Qt versions append the SQLSTATE list to the driver's text, so a
    // refusal without a reason can come as the list alone.
    QString withoutStates = reason;
    withoutStates.remove(QRegularExpression(QStringLiteral("^,?\\s*[0-9A-Z;]*$")));
    if (withoutStates.isEmpty())
        return QStringLiteral("The login to SQL Server %1 failed; the server gave no reason.")
            .arg(dataSource);
    return QStringLiteral("Cannot connect to SQL Server %1: %2").arg(dataSource, reason);
}

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
            throw DbError(
                connectFailureMessage(parts.dataSource, m_database.lastError().databaseText()));
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
    QSqlDatabase database = session();
    if (!database.transaction())
        throw DbError(errorText(database.lastError()));
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
    m_inTransaction = false;
    if (!m_database.rollback()) {
        // The driver stays in manual commit after a failed rollback, so later
        // statements would never be committed: the session ends here.
        const QString reason = errorText(m_database.lastError());
        close();
        throw DbError(reason);
    }
}

QSqlDatabase OdbcEngine::session() const
{
    if (!m_database.isOpen())
        throw DbError(QStringLiteral("The connection to SQL Server was closed after a failed "
                                     "rollback."));
    return m_database;
}

void OdbcEngine::run(const QString& text, const FileParameter& file, ResultRows* rows)
{
    QSqlQuery query(session());
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

void OdbcEngine::inUnit(const std::function<void()>& work)
{
    if (!m_inTransaction) {
        beginTransaction();
        try {
            work();
            commit();
        } catch (...) {
            try {
                rollback();
            } catch (const DbError&) {
                // The work's own error is the one to report.
            }
            throw;
        }
        return;
    }
    // Within the caller's transaction only the work itself is undone.
    run(QStringLiteral("SAVE TRANSACTION ") + UnitSavepoint, std::nullopt, nullptr);
    try {
        work();
    } catch (...) {
        try {
            run(QStringLiteral("ROLLBACK TRANSACTION ") + UnitSavepoint, std::nullopt, nullptr);
        } catch (const DbError&) {
            // The work's own error is the one to report.
        }
        throw;
    }
}

void OdbcEngine::runBatch(const QString& text, const FileParameter& file, ResultRows* rows)
{
    // One statement is all or nothing by itself.
    if (sqlscan::statementCount(text) < 2)
        run(text, file, rows);
    else
        inUnit([&] { run(text, file, rows); });
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
    int count = 0;
    // The server runs whatever the text says before it is known whether it
    // returns rows; a text that returns none is undone.
    inUnit([&] {
        QSqlQuery query(session());
        query.setForwardOnly(true);
        runStatement(query, text, file);
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
    });
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
    // SCOPE_IDENTITY() is the identity that this statement assigned, whatever
    // a trigger inserts elsewhere; an OUTPUT clause would be refused on a
    // table that has triggers.
    return insertInto(table, columns) +
           QStringLiteral(";SELECT CONVERT(bigint, SCOPE_IDENTITY()) AS ") + quoteName(keyColumn);
}

QVariant OdbcEngine::insertRow(const QString& statement, const QList<QVariant>& values)
{
    QSqlQuery query = prepared(session(), statement, values);
    // The INSERT's row count comes first, the key as the row of the first
    // result with columns.
    QVariant key;
    bool found = false;
    do {
        if (!found && query.isSelect()) {
            if (query.next())
                key = query.value(0);
            throwIfFailed(query);
            found = true;
        }
    } while (query.nextResult());
    throwIfFailed(query);
    if (!key.isValid() || key.isNull())
        throw DbError(QStringLiteral("The server did not return the new row's key."));
    return key;
}

int OdbcEngine::writeRow(const QString& statement, const QList<QVariant>& values)
{
    QSqlQuery query = prepared(session(), statement, values);
    const int count = rowsAffected(query);
    finishResults(query);
    return count;
}

} // namespace db
