#pragma once

#include <QString>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A TCP port on the loopback that takes connections and never answers: a
// server that keeps a login waiting until its timeout. It closes with the
// object.
class SilentServer final
{
public:
    SilentServer()
    {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 ||
            bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            listen(m_listener, 4) != 0 ||
            getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        m_port = ntohs(address.sin_port);
    }
    ~SilentServer()
    {
        if (m_listener >= 0)
            ::close(m_listener);
    }

    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    bool listening() const { return m_port != 0; }
    // The server as the connection page takes it.
    QString dataSource() const { return QStringLiteral("127.0.0.1,%1").arg(m_port); }

private:
    int m_listener = -1;
    quint16 m_port = 0;
};
