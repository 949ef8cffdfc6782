#pragma once

#include <QString>
#include <cstdint>
#include <thread>

namespace bench {

// A TCP relay on the loopback that passes every connection on to a server
// through a modelled network link: in each direction the bytes leave the
// relay in packets no faster than the link's rate, one after the other on a
// link that all connections share, and each packet arrives a fixed delay
// after its last byte left. What passes is not read (TLS goes through as it
// is). The relay reads from a side only while less than a window of its
// bytes is on the way, so a sender that outruns the link waits as it would
// on the network. It runs on a thread of its own and stops with the object.
class ShapedRelay final
{
public:
    struct Link
    {
        double megabitsPerSecond = 100;
        double delayMs = 0.5; // each way
    };

    ShapedRelay(const QString& host, int port, Link link);
    ~ShapedRelay();

    ShapedRelay(const ShapedRelay&) = delete;
    ShapedRelay& operator=(const ShapedRelay&) = delete;

    bool listening() const { return m_port != 0; }
    // The server as a connection string's Data Source names it.
    QString dataSource() const { return QStringLiteral("127.0.0.1,%1").arg(m_port); }

private:
    void run();

    QString m_host;
    int m_targetPort;
    Link m_link;
    int m_listener = -1;
    int m_port = 0;
    int m_stopPipe[2] = {-1, -1};
    std::thread m_thread;
};

} // namespace bench
