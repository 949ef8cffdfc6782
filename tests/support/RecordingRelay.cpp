#include "RecordingRelay.h"

#include <arpa/inet.h>
#include <chrono>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

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

} // namespace

RecordingRelay::RecordingRelay(const QString& host, int port, qint64 bytesPerSecond)
    : m_host(host), m_targetPort(port), m_bytesPerSecond(bytesPerSecond)
{
    m_listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    // Taken over by every accepted socket; the kernel doubles it.
    constexpr int ShapedBuffer = 32 * 1024;
    if (m_listener >= 0 && bytesPerSecond > 0)
        setsockopt(m_listener, SOL_SOCKET, SO_RCVBUF, &ShapedBuffer, sizeof ShapedBuffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listener < 0 || pipe(m_stopPipe) != 0 ||
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(m_listener, 8) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

RecordingRelay::~RecordingRelay()
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

QByteArray RecordingRelay::fromClient() const
{
    const std::lock_guard lock(m_mutex);
    return m_fromClient;
}

QByteArray RecordingRelay::fromServer() const
{
    const std::lock_guard lock(m_mutex);
    return m_fromServer;
}

// One thread serves every connection in turn, polling all their sockets.
void RecordingRelay::run()
{
    struct Pair
    {
        int client;
        int server;
    };
    std::vector<Pair> pairs;
    for (;;) {
        std::vector<pollfd> watched{{m_stopPipe[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        for (const Pair& pair : pairs) {
            watched.push_back({pair.client, POLLIN, 0});
            watched.push_back({pair.server, POLLIN, 0});
        }
        if (poll(watched.data(), watched.size(), -1) < 0)
            break;
        if (watched[0].revents != 0)
            break;
        std::vector<Pair> open;
        // Only the pairs that were polled; one accepted now joins after them.
        for (std::size_t k = 0; k < pairs.size(); ++k) {
            const Pair pair = pairs[k];
            bool closed = false;
            for (const bool upstream : {true, false}) {
                const pollfd& entry = watched[2 + 2 * k + (upstream ? 0 : 1)];
                if (entry.revents == 0)
                    continue;
                char buffer[16384];
                const int from = upstream ? pair.client : pair.server;
                const int to = upstream ? pair.server : pair.client;
                const ssize_t got = recv(from, buffer, sizeof buffer, 0);
                if (got <= 0 || send(to, buffer, size_t(got), MSG_NOSIGNAL) != got) {
                    closed = true;
                    break;
                }
                {
                    const std::lock_guard lock(m_mutex);
                    (upstream ? m_fromClient : m_fromServer).append(buffer, got);
                }
                if (m_bytesPerSecond > 0)
                    std::this_thread::sleep_for(
                        std::chrono::microseconds(got * 1000000 / m_bytesPerSecond));
            }
            if (closed) {
                ::close(pair.client);
                ::close(pair.server);
            } else {
                open.push_back(pair);
            }
        }
        if (watched[1].revents & POLLIN) {
            const int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = client >= 0 ? connectTo(m_host, m_targetPort) : -1;
            if (server >= 0)
                open.push_back({client, server});
            else if (client >= 0)
                ::close(client);
        }
        pairs = open;
    }
    for (const Pair& pair : pairs) {
        ::close(pair.client);
        ::close(pair.server);
    }
}
