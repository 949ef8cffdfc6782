#pragma once

#include "ConnectionString.h"
#include "Engine.h"

#include <QSqlDatabase>

class QSqlQuery;

namespace db {

// SQL Server through Qt's ODBC driver and the FreeTDS ODBC driver. Statements
// go to the server as written, on forward-only queries (a scrollable one
// makes the driver open a server cursor, which refuses batches). Every result
// of a batch is walked, so that a failing later statement is reported, and a
// batch runs in a transaction of its own unless the caller holds one.
class OdbcEngine final : public Engine
{
public:
    explicit OdbcEngine(const ConnectionStringParts& parts); // connects; DbError when refused
    ~OdbcEngine() override;

    OdbcEngine(const OdbcEngine&) = delete;
    OdbcEngine& operator=(const OdbcEngine&) = delete;

    void beginTransaction() override;
    void commit() override;
    void rollback() override;

    ResultRows select(const QString& text, const FileParameter& file) override;
    void execute(const QString& text, const FileParameter& file) override;
    int countRows(const QString& text, const FileParameter& file) override;

    QString quoteName(const QString& name) const override;
    QString insertStatement(const QString& table, const QStringList& columns,
                            const QString& keyColumn) const override;
    QVariant insertRow(const QString& statement, const QList<QVariant>& values) override;
    int writeRow(const QString& statement, const QList<QVariant>& values) override;

private:
    // Runs the text as one request, in a transaction when it holds several
    // statements; rows, when given, receive those of the first result with columns.
    void runBatch(const QString& text, const FileParameter& file, ResultRows* rows);
    void run(const QString& text, const FileParameter& file, ResultRows* rows);
    void close();

    QString m_connectionName;
    QSqlDatabase m_database;
    bool m_inTransaction = false;
};

} // namespace db
