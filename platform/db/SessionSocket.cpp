#include "SessionSocket.h"

#include <QDir>
#include <QString>
#include <arpa/inet.h>
#include <cstddef>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace db {
namespace {

constexpr int TcpLevel = 6; // IPPROTO_TCP, as <linux/tcp.h> and <netinet/tcp.h> do not mix

std::optional<quint64> socketInode(int descriptor)
{
    struct stat status = {};
    if (fstat(descriptor, &status) != 0 || !S_ISSOCK(status.st_mode))
        return std::nullopt;
    return status.st_ino;
}

// The port of the other side of a TCP socket; none for any other kind.
std::optional<int> tcpPeerPort(int descriptor)
{
    int type = 0;
    socklen_t length = sizeof type;
    if (getsockopt(descriptor, SOL_SOCKET, SO_TYPE, &type, &length) != 0 || type != SOCK_STREAM)
        return std::nullopt;
    sockaddr_storage peer = {};
    length = sizeof peer;
    if (getpeername(descriptor, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return std::nullopt;
    if (peer.ss_family == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in*>(&peer)->sin_port);
    if (peer.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_port);
    return std::nullopt;
}

template <typename Visit> void forEachDescriptor(Visit visit)
{
    const QStringList names =
        QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System);
    for (const QString& name : names) {
        bool number = false;
        const int descriptor = name.toInt(&number);
        if (number)
            visit(descriptor);
    }
}

} // namespace

SessionSocket::Sockets SessionSocket::sockets()
{
    Sockets found;
    forEachDescriptor([&](int descriptor) {
        if (const std::optional<quint64> inode = socketInode(descriptor))
            found.insert(*inode);
    });
    return found;
}

std::optional<SessionSocket> SessionSocket::appeared(const Sockets& before, int port)
{
    std::optional<SessionSocket> found;
    int candidates = 0;
    forEachDescriptor([&](int descriptor) {
        const std::optional<quint64> inode = socketInode(descriptor);
        if (!inode || before.count(*inode))
            return;
        const std::optional<int> peerPort = tcpPeerPort(descriptor);
        if (!peerPort || (port != 0 && *peerPort != port))
            return;
        ++candidates;
        found = SessionSocket(descriptor, *inode);
    });
    return candidates == 1 ? found : std::nullopt;
}

std::optional<SessionSocket::Traffic> SessionSocket::traffic() const
{
    if (socketInode(m_descriptor) != m_inode)
        return std::nullopt;
    tcp_info info = {};
    socklen_t length = sizeof info;
    // Kernels before 4.1 do not count bytes; their shorter answer ends before the counts.
    if (getsockopt(m_descriptor, TcpLevel, TCP_INFO, &info, &length) != 0 ||
        length < offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received)
        return std::nullopt;
    return Traffic{static_cast<qint64>(info.tcpi_bytes_acked),
                   static_cast<qint64>(info.tcpi_bytes_received)};
}

} // namespace db
