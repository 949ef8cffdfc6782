#include "Connection.h"

#include "ConnectionString.h"
#include "DbError.h"
#include "Engine.h"
#include "OdbcEngine.h"
#include "SessionPool.h"
#include "SqliteEngine.h"

#include <QFileInfo>

namespace db {

Connection::Connection() = default;

Connection::Connection(const QString& connectionString, MissingFile missing)
    : m_connectionString(connectionString), m_missing(missing)
{
}

Connection::~Connection()
{
    disconnect();
}

void Connection::setConnectionString(const QString& connectionString)
{
    disconnect();
    m_connectionString = connectionString;
}

bool Connection::isEmbedded() const
{
    return isEmbeddedDataSource(parseConnectionString(m_connectionString).dataSource);
}

bool Connection::databaseFileMissing() const
{
    const ConnectionStringParts parts = parseConnectionString(m_connectionString);
    if (!isEmbeddedDataSource(parts.dataSource))
        return false;
    try {
        return !QFileInfo::exists(embeddedDatabasePath(parts));
    } catch (const DbError&) {
        return false; // no file can have that name
    }
}

void Connection::connect()
{
    if (m_engine)
        return;
    const ConnectionStringParts parts = parseConnectionString(m_connectionString);
    const bool embedded = isEmbeddedDataSource(parts.dataSource);
    // The embedded engine's file depends on the program's folder as well.
    m_poolKey = m_connectionString;
    if (embedded) {
        try {
            m_poolKey += u'\n' + embeddedDatabasePath(parts);
        } catch (const DbError&) {
            m_poolKey.clear(); // a name that makes no file: the engine says so
        }
    }
    if (!m_poolKey.isEmpty())
        m_engine = SessionPool::take(m_poolKey);
    if (m_engine)
        return;
    if (embedded)
        m_engine = std::make_unique<SqliteEngine>(parts, m_missing);
    else
        m_engine = std::make_unique<OdbcEngine>(parts);
}

void Connection::disconnect()
{
    if (m_engine && !m_poolKey.isEmpty())
        SessionPool::give(m_poolKey, std::move(m_engine));
    m_engine.reset();
}

bool Connection::isConnected() const
{
    return m_engine != nullptr;
}

void Connection::beginTransaction()
{
    engine().beginTransaction();
}

void Connection::commit()
{
    if (!m_engine)
        throw DbError(QStringLiteral("No transaction is open: the connection is closed."));
    m_engine->commit();
}

void Connection::rollback()
{
    if (!m_engine)
        throw DbError(QStringLiteral("No transaction is open: the connection is closed."));
    m_engine->rollback();
}

Engine& Connection::engine()
{
    connect();
    return *m_engine;
}

Transaction::Transaction(Connection& connection) : m_connection(connection)
{
    m_connection.beginTransaction();
}

Transaction::~Transaction()
{
    if (m_done || !m_connection.isConnected())
        return;
    try {
        m_connection.rollback();
    } catch (const DbError&) {
        // Already unwinding, or the session is gone: the work is undone either way.
    }
}

void Transaction::commit()
{
    m_connection.commit();
    m_done = true;
}

} // namespace db
