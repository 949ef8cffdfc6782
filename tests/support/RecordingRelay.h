#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <mutex>
#include <thread>

// A TCP relay on the loopback that passes every connection on to a server
// and keeps a copy of every byte in both directions: what anyone on the
// office network would read. It stops with the object. Given a rate, it
// carries no more bytes a second than that, as a slow link does, and holds
// few bytes unread, so that a sender's count of acknowledged bytes follows
// what the link carried.
class RecordingRelay final
{
public:
    RecordingRelay(const QString& host, int port, qint64 bytesPerSecond = 0);
    ~RecordingRelay();

    RecordingRelay(const RecordingRelay&) = delete;
    RecordingRelay& operator=(const RecordingRelay&) = delete;

    bool listening() const { return m_port != 0; }
    // The server as the connection page takes it.
    QString dataSource() const { return QStringLiteral("127.0.0.1,%1").arg(m_port); }
    QByteArray fromClient() const;
    QByteArray fromServer() const;

private:
    void run();

    QString m_host;
    int m_targetPort;
    qint64 m_bytesPerSecond;
    int m_listener = -1;
    int m_port = 0;
    int m_stopPipe[2] = {-1, -1};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    QByteArray m_fromClient;
    QByteArray m_fromServer;
};
