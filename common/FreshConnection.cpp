#include "FreshConnection.h"

#include "app/AppState.h"

FreshConnection::FreshConnection(Mode mode) : FreshConnection(AppState.ConnectionString, mode) {}

FreshConnection::FreshConnection(const QString& connectionString, Mode mode)
    : m_connection(connectionString), m_query(m_connection)
{
    if (mode == Mode::Open)
        connect();
}

void FreshConnection::connect()
{
    m_connection.connect();
}
