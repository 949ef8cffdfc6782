#include "FreshConnection.h"

#include "StepProgress.h"

#include <QApplication>
#include <functional>

FreshConnection::FreshConnection(const QString& connectionString, Mode mode)
    : m_connection(connectionString), m_query(m_connection)
{
    if (mode == Mode::Open)
        connect();
}

// A server that does not answer keeps the operator waiting up to the login
// timeout: the wait shows, and can be given up, from half a second on.
void FreshConnection::connect()
{
    StepProgress progress(QApplication::activeWindow(), QStringLiteral("正在连接数据库服务器"),
                          StepProgress::Unit::Milliseconds);
    m_connection.connect(std::ref(progress));
}
