#include "SqliteEngine.h"

#include "DbError.h"
#include "QtSqlSupport.h"
#include "SqliteDialect.h"
#include "platform/paths/ProgramPaths.h"
#include "platform/text/Gbk.h"

#include <QSqlDriver>
#include <memory>
#include <sqlite3.h>

namespace db {

namespace {

const QString BatchSavepoint = QStringLiteral("vardenix_batch");

// gbk_length(text): the text's length in bytes of the GBK code page, which is
// how SQL Server with a Chinese collation measures varchar(n).
void gbkLength(sqlite3_context* context, int, sqlite3_value** arguments)
{
    sqlite3_value* value = arguments[0];
    if (sqlite3_value_type(value) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
    const int size = sqlite3_value_bytes(value);
    for (int i = 0; i < size; ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) {
            sqlite3_result_int(context, Gbk::byteLength(QString::fromUtf8(text, size)));
            return;
        }
    }
    sqlite3_result_int(context, size); // ASCII: one byte a character in GBK as in UTF-8
}

QString checkedDatabaseName(const QString& name)
{
    if (name.isEmpty())
        throw DbError(QStringLiteral("The connection string names no database (Initial Catalog)."));
    if (name.contains(u'/') || name.contains(u'\\') || name == u"." || name == u"..")
        throw DbError(QStringLiteral("The database name \"%1\" is not a plain name.").arg(name));
    return name;
}

struct StatementDeleter
{
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

} // namespace

SqliteEngine::SqliteEngine(const ConnectionStringParts& parts)
{
    static quint64 serial = 0;
    m_connectionName = QStringLiteral("vardenix-sqlite-%1").arg(++serial);
    try {
        const QString path =
            ProgramPaths::folder() + checkedDatabaseName(parts.initialCatalog) + QStringLiteral(".db");
        m_database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        if (!m_database.isValid())
            throw DbError(QStringLiteral("Qt's SQLite driver (QSQLITE) is not installed."));
        m_database.setDatabaseName(path);
        if (!m_database.open())
            throw DbError(QStringLiteral("Cannot open the database file %1: %2")
                              .arg(path, qtsql::errorText(m_database.lastError())));
        const QVariant handle = m_database.driver()->handle();
        if (qstrcmp(handle.typeName(), "sqlite3*") == 0)
            m_handle = *static_cast<sqlite3* const*>(handle.constData());
        if (!m_handle)
            throw DbError(QStringLiteral("Qt's SQLite driver gives no access to its connection."));
        if (sqlite3_create_function_v2(m_handle, "gbk_length", 1,
                                       SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, gbkLength,
                                       nullptr, nullptr, nullptr) != SQLITE_OK)
            throw DbError(QString::fromUtf8(sqlite3_errmsg(m_handle)));
        // Reads the file's header now, so that a file that is no database fails the connect.
        runOne(QStringLiteral("SELECT count(*) FROM sqlite_schema"), std::nullopt, nullptr);
    } catch (...) {
        close();
        throw;
    }
}

SqliteEngine::~SqliteEngine()
{
    close();
}

void SqliteEngine::close()
{
    m_handle = nullptr;
    if (m_database.isValid())
        m_database.close(); // SQLite rolls back a transaction left open
    m_database = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void SqliteEngine::beginTransaction()
{
    if (!m_database.transaction())
        throw DbError(qtsql::errorText(m_database.lastError()));
}

void SqliteEngine::commit()
{
    if (!m_database.commit())
        throw DbError(qtsql::errorText(m_database.lastError()));
}

void SqliteEngine::rollback()
{
    if (!m_database.rollback())
        throw DbError(qtsql::errorText(m_database.lastError()));
}

QStringList SqliteEngine::translate(const QString& text) const
{
    QStringList statements = sqlite::translateBatch(text);
    if (statements.isEmpty())
        throw DbError(QStringLiteral("The statement text is empty."));
    return statements;
}

void SqliteEngine::runOne(const QString& statement, const FileParameter& file, ResultRows* rows)
{
    QSqlQuery query(m_database);
    query.setForwardOnly(true);
    qtsql::run(query, statement, file);
    if (rows && query.isSelect())
        qtsql::takeRows(query, *rows);
}

void SqliteEngine::runAll(const QStringList& statements, const FileParameter& file,
                          ResultRows* rows)
{
    if (statements.size() == 1) {
        runOne(statements.first(), file, rows);
        return;
    }
    // Qt's driver runs one statement at a time; a savepoint makes the batch
    // one unit, inside a caller's transaction as well as on its own.
    runOne(QStringLiteral("SAVEPOINT ") + BatchSavepoint, std::nullopt, nullptr);
    try {
        ResultRows* wanted = rows;
        for (const QString& statement : statements) {
            runOne(statement, file, wanted);
            if (wanted && !wanted->fieldNames.isEmpty())
                wanted = nullptr;
        }
        runOne(QStringLiteral("RELEASE ") + BatchSavepoint, std::nullopt, nullptr);
    } catch (...) {
        try {
            runOne(QStringLiteral("ROLLBACK TO ") + BatchSavepoint, std::nullopt, nullptr);
            runOne(QStringLiteral("RELEASE ") + BatchSavepoint, std::nullopt, nullptr);
        } catch (const DbError&) {
            // The statement's own error is the one to report.
        }
        throw;
    }
}

ResultRows SqliteEngine::select(const QString& text, const FileParameter& file)
{
    ResultRows rows;
    runAll(translate(text), file, &rows);
    if (rows.fieldNames.isEmpty())
        throw DbError(QStringLiteral("The statement returns no rows."));
    return rows;
}

void SqliteEngine::execute(const QString& text, const FileParameter& file)
{
    runAll(translate(text), file, nullptr);
}

int SqliteEngine::countRows(const QString& text, const FileParameter& file)
{
    const QStringList statements = translate(text);
    if (statements.size() > 1)
        return static_cast<int>(select(text, file).rows.size());

    // Straight on SQLite: stepping through the rows without reading them
    // keeps nothing and takes no copies.
    const QByteArray sql = statements.first().toUtf8();
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(m_handle, sql.constData(), static_cast<int>(sql.size()), &raw,
                           nullptr) != SQLITE_OK)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(m_handle)));
    const std::unique_ptr<sqlite3_stmt, StatementDeleter> statement(raw);
    if (sqlite3_column_count(raw) == 0)
        throw DbError(QStringLiteral("The statement returns no rows."));
    const int parameters = sqlite3_bind_parameter_count(raw);
    const int fileIndex = sqlite3_bind_parameter_index(raw, ":file");
    if (parameters > (fileIndex > 0 ? 1 : 0) || (fileIndex > 0 && !file))
        throw DbError(QStringLiteral("The statement has parameters without values."));
    if (fileIndex > 0)
        sqlite3_bind_blob64(raw, fileIndex, file->constData() ? file->constData() : "",
                            static_cast<sqlite3_uint64>(file->size()), SQLITE_STATIC);
    int count = 0;
    int result = SQLITE_ROW;
    while ((result = sqlite3_step(raw)) == SQLITE_ROW)
        ++count;
    if (result != SQLITE_DONE)
        throw DbError(QString::fromUtf8(sqlite3_errmsg(m_handle)));
    return count;
}

QString SqliteEngine::quoteName(const QString& name) const
{
    QString quoted = name;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString SqliteEngine::insertStatement(const QString& table, const QStringList& columns,
                                      const QString& keyColumn) const
{
    QString sql = QStringLiteral("INSERT INTO ") + table;
    if (columns.isEmpty()) {
        sql += QStringLiteral(" DEFAULT VALUES");
    } else {
        QStringList names;
        for (const QString& column : columns)
            names.append(quoteName(column));
        sql += QStringLiteral(" (") + names.join(u',') + QStringLiteral(") VALUES (") +
               QStringList(columns.size(), QStringLiteral("?")).join(u',') + u')';
    }
    return sql + QStringLiteral(" RETURNING ") + quoteName(keyColumn);
}

QVariant SqliteEngine::insertRow(const QString& statement, const QList<QVariant>& values)
{
    QSqlQuery query(m_database);
    query.setForwardOnly(true);
    bool ok = query.prepare(statement);
    for (const QVariant& value : values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok)
        throw DbError(qtsql::errorText(query.lastError()));
    if (!query.next())
        throw DbError(QStringLiteral("The database did not return the new row's key."));
    return query.value(0);
}

int SqliteEngine::writeRow(const QString& statement, const QList<QVariant>& values)
{
    QSqlQuery query(m_database);
    query.setForwardOnly(true);
    bool ok = query.prepare(statement);
    for (const QVariant& value : values)
        query.addBindValue(value);
    ok = ok && query.exec();
    if (!ok)
        throw DbError(qtsql::errorText(query.lastError()));
    return qtsql::rowsAffected(query);
}

} // namespace db
