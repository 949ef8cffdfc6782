#pragma once

#include "ConnectionString.h"
#include "Engine.h"

#include <QSqlDatabase>
#include <functional>

class QSqlQuery;

namespace db {

// The message of a failed connection attempt: the server as the operator gave
// it and the driver's reason, kept whole. A refusal that comes without a
// reason still says that the login failed.
QString connectFailureMessage(const QString& dataSource, const QString& driverText);

// Qt's ODBC driver hands text parameters to FreeTDS in the client's character
// set, not as Unicode. The text values among the values of the statement's
// "?" markers go into the statement as N'...' literals instead, quotes
// doubled, which reach the server as Unicode like the rest of the statement;
// values keeps the others, in order. DbError when markers and values differ
// in number.
QString inlineTextParameters(const QString& statement, QList<QVariant>& values);

// SQL Server through Qt's ODBC driver and the FreeTDS ODBC driver. Statements
// go to the server as written, on forward-only queries (a scrollable one
// makes the driver open a server cursor, which refuses batches). Every result
// of a batch is walked, so that a failing later statement is reported, and a
// batch is all or nothing: in a transaction of its own, or behind a
// savepoint in the caller's.
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
    // Runs the work all or nothing, within the caller's transaction if one is open.
    void inUnit(const std::function<void()>& work);
    // Runs the text as one request, as one unit when it holds several
    // statements; rows, when given, receive those of the first result with columns.
    void runBatch(const QString& text, const FileParameter& file, ResultRows* rows);
    void run(const QString& text, const FileParameter& file, ResultRows* rows);
    QSqlDatabase session() const; // DbError once the session has been closed
    void close();

    QString m_connectionName;
    QSqlDatabase m_database;
    bool m_inTransaction = false;
};

} // namespace db
