#pragma once

#include <QtGlobal>
#include <optional>
#include <set>

namespace db {

// The TCP socket that a driver opened for a session, which the driver does
// not name: found as the one socket to the server's port that appeared while
// the session logged in. Read from any thread for the bytes that crossed the
// network, as the kernel counts them: bytes the server acknowledged, bytes
// that arrived from it.
class SessionSocket final
{
public:
    // The process's sockets, by inode, taken before a login.
    using Sockets = std::set<quint64>;
    static Sockets sockets();

    // The one TCP socket to the port (0: to any port) that is not among the
    // sockets taken before; none when there is not exactly one, for
    // instance when another session logged in at the same moment.
    static std::optional<SessionSocket> appeared(const Sockets& before, int port);

    struct Traffic
    {
        qint64 acknowledged = 0; // sent and acknowledged by the other side
        qint64 received = 0;
    };
    // None once the socket is closed, or where the system does not count.
    std::optional<Traffic> traffic() const;

private:
    SessionSocket(int descriptor, quint64 inode) : m_descriptor(descriptor), m_inode(inode) {}

    int m_descriptor;
    quint64 m_inode; // tells the socket from a later one given the same descriptor
};

} // namespace db
