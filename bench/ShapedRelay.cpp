#include "ShapedRelay.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace bench {
namespace {

// The payload of an Ethernet frame's TCP segment with timestamps.
constexpr std::size_t PacketSize = 1448;
// Bytes of one direction of a connection on their way at most: a socket
// buffer's worth, which the link's bandwidth-delay product (12.5 KB at
// 100 Mbit/s and 1 ms) does not reach.
constexpr std::size_t Window = 256 * 1024;

std::int64_t nowNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void prepare(int fd)
{
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

int connectTo(const QString& host, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(), &hints,
                    &found) != 0)
        return -1;
    int fd = -1;
    for (addrinfo* at = found; at != nullptr && fd < 0; at = at->ai_next) {
        fd = socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
        if (fd >= 0 && connect(fd, at->ai_addr, at->ai_addrlen) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(found);
    return fd;
}

// One direction of the link, shared by every connection: when it is free
// to send the next byte.
struct Wire
{
    std::int64_t freeAt = 0;
    std::int64_t nsPerByte = 0;
    std::int64_t delayNs = 0;

    // When a packet of the size, sent now, has arrived.
    std::int64_t arrival(std::size_t size, std::int64_t now)
    {
        freeAt = std::max(freeAt, now) + std::int64_t(size) * nsPerByte;
        return freeAt + delayNs;
    }
};

struct Packet
{
    std::int64_t due;
    std::string bytes;
    std::size_t sent = 0;
};

// One direction of one connection.
struct Flow
{
    int from;
    int to;
    Wire* wire;
    std::deque<Packet> packets;
    std::size_t onTheWay = 0;
    bool ended = false;    // the sender closed its side
    bool finished = false; // and its last bytes arrived
    bool blocked = false;  // the receiver's socket is full

    bool readable() const { return !ended && onTheWay < Window; }
    bool dueBy(std::int64_t now) const { return !packets.empty() && packets.front().due <= now; }

    // Takes what the sender has; false when the connection failed.
    bool take(std::int64_t now)
    {
        char buffer[64 * 1024];
        const std::size_t room = std::min(sizeof buffer, Window - onTheWay);
        const ssize_t got = recv(from, buffer, room, 0);
        if (got < 0)
            return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
        if (got == 0) {
            ended = true;
            return true;
        }
        for (std::size_t at = 0; at < std::size_t(got); at += PacketSize) {
            const std::size_t size = std::min(PacketSize, std::size_t(got) - at);
            packets.push_back({wire->arrival(size, now), std::string(buffer + at, size)});
        }
        onTheWay += std::size_t(got);
        return true;
    }

    // Hands the receiver the packets that have arrived; false when the
    // connection failed.
    bool deliver(std::int64_t now)
    {
        blocked = false;
        while (dueBy(now)) {
            Packet& packet = packets.front();
            const ssize_t put = send(to, packet.bytes.data() + packet.sent,
                                     packet.bytes.size() - packet.sent, MSG_NOSIGNAL);
            if (put < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                    blocked = true;
                    return true;
                }
                return false;
            }
            packet.sent += std::size_t(put);
            if (packet.sent < packet.bytes.size()) {
                blocked = true;
                return true;
            }
            onTheWay -= packet.bytes.size();
            packets.pop_front();
        }
        if (ended && packets.empty() && !finished) {
            shutdown(to, SHUT_WR);
            finished = true;
        }
        return true;
    }
};

struct Connection
{
    int client;
    int server;
    Flow up;
    Flow down;
};

} // namespace

ShapedRelay::ShapedRelay(const QString& host, int port, Link link)
    : m_host(host), m_targetPort(port), m_link(link)
{
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || pipe2(m_stopPipe, O_CLOEXEC) != 0 ||
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(m_listener, 16) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

ShapedRelay::~ShapedRelay()
{
    if (m_thread.joinable()) {
        const char stop = 1;
        [[maybe_unused]] const ssize_t written = write(m_stopPipe[1], &stop, 1);
        m_thread.join();
    }
    for (const int fd : {m_listener, m_stopPipe[0], m_stopPipe[1]})
        if (fd >= 0)
            ::close(fd);
}

// One thread serves every connection, waking when a socket is ready or when
// the next packet is due, to the microsecond.
void ShapedRelay::run()
{
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    const auto nsPerByte = std::int64_t(8e3 / m_link.megabitsPerSecond);
    const auto delayNs = std::int64_t(m_link.delayMs * 1e6);
    Wire upstream{0, nsPerByte, delayNs};
    Wire downstream{0, nsPerByte, delayNs};
    std::vector<std::unique_ptr<Connection>> connections;
    for (;;) {
        std::vector<pollfd> watched{{m_stopPipe[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        std::int64_t wake = -1;
        for (const auto& connection : connections) {
            for (const Flow* flow : {&connection->up, &connection->down}) {
                watched.push_back({flow->from, flow->readable() ? short(POLLIN) : short(0), 0});
                watched.push_back({flow->to, flow->blocked ? short(POLLOUT) : short(0), 0});
                if (!flow->blocked && !flow->packets.empty() &&
                    (wake < 0 || flow->packets.front().due < wake))
                    wake = flow->packets.front().due;
            }
        }
        timespec timeout{};
        timespec* waitFor = nullptr;
        if (wake >= 0) {
            const std::int64_t left = std::max<std::int64_t>(0, wake - nowNs());
            timeout = {time_t(left / 1000000000), long(left % 1000000000)};
            waitFor = &timeout;
        }
        if (ppoll(watched.data(), watched.size(), waitFor, nullptr) < 0 && errno != EINTR)
            break;
        if (watched[0].revents != 0)
            break;
        const std::int64_t now = nowNs();
        if (watched[1].revents & POLLIN) {
            const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = client >= 0 ? connectTo(m_host, m_targetPort) : -1;
            if (server >= 0) {
                prepare(client);
                prepare(server);
                auto connection = std::make_unique<Connection>(
                    Connection{client, server, Flow{client, server, &upstream, {}},
                               Flow{server, client, &downstream, {}}});
                connections.push_back(std::move(connection));
            } else if (client >= 0) {
                ::close(client);
            }
        }
        std::vector<std::unique_ptr<Connection>> open;
        for (std::size_t k = 0; k < connections.size(); ++k) {
            auto& connection = connections[k];
            bool ok = true;
            // Connections accepted in this round have no entries yet.
            const std::size_t entry = 2 + 4 * k;
            if (entry + 3 < watched.size()) {
                const pollfd* at = &watched[entry];
                // A side whose window is full is not read, whatever poll says.
                const short ready = POLLIN | POLLHUP | POLLERR;
                if ((at[0].revents & ready) && connection->up.readable())
                    ok = ok && connection->up.take(now);
                if ((at[2].revents & ready) && connection->down.readable())
                    ok = ok && connection->down.take(now);
            }
            ok = ok && connection->up.deliver(now) && connection->down.deliver(now);
            const bool done = connection->up.finished && connection->down.finished;
            if (!ok || done) {
                ::close(connection->client);
                ::close(connection->server);
            } else {
                open.push_back(std::move(connection));
            }
        }
        connections = std::move(open);
    }
    for (const auto& connection : connections) {
        ::close(connection->client);
        ::close(connection->server);
    }
}

} // namespace bench
