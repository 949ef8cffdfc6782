#include "FreshConnection.h"

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
