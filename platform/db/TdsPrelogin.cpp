#include "TdsPrelogin.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace db::tds {

namespace {

constexpr char PreloginPacket = 0x12;
constexpr char EndOfMessage = 0x01;
constexpr unsigned char EncryptionOption = 0x01;
constexpr unsigned char Terminator = 0xff;
constexpr unsigned char EncryptOff = 0x00;
constexpr unsigned char EncryptOn = 0x01;
constexpr unsigned char EncryptNotSupported = 0x02;
constexpr unsigned char EncryptRequired = 0x03;

// A PRELOGIN message with the client's version and "encryption on".
QByteArray preloginRequest()
{
    // Options: VERSION at 11 (6 bytes), ENCRYPTION at 17 (1 byte), terminator.
    const std::array<unsigned char, 18> payload = {0x00, 0x00, 11,   0x00, 6,          0x01,
                                                   0x00, 17,   0x00, 1,    Terminator, 0x00,
                                                   0x00, 0x00, 0x00, 0x00, 0x00,       EncryptOn};
    QByteArray packet;
    const int length = 8 + int(payload.size());
    packet.append(PreloginPacket).append(EndOfMessage);
    packet.append(char(length >> 8)).append(char(length & 0xff));
    packet.append(4, '\0'); // SPID, packet number, window
    packet.append(reinterpret_cast<const char*>(payload.data()), qsizetype(payload.size()));
    return packet;
}

class Socket final
{
public:
    explicit Socket(int fd) : m_fd(fd) {}
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

bool waitFor(int fd, short events, const QElapsedTimer& clock, int timeoutMilliseconds)
{
    const qint64 left = timeoutMilliseconds - clock.elapsed();
    if (left <= 0)
        return false;
    pollfd entry{fd, events, 0};
    return ::poll(&entry, 1, int(left)) == 1 && (entry.revents & events) != 0;
}

int connectTo(const QString& host, int port, const QElapsedTimer& clock, int timeoutMilliseconds)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), QByteArray::number(port).constData(), &hints,
                      &found) != 0)
        return -1;
    int connected = -1;
    for (addrinfo* at = found; at != nullptr && connected < 0; at = at->ai_next) {
        const int fd = ::socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                at->ai_protocol);
        if (fd < 0)
            continue;
        int error = 0;
        socklen_t size = sizeof error;
        const bool ready =
            (::connect(fd, at->ai_addr, at->ai_addrlen) == 0 ||
             (errno == EINPROGRESS && waitFor(fd, POLLOUT, clock, timeoutMilliseconds) &&
              ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0));
        if (ready)
            connected = fd;
        else
            ::close(fd);
    }
    ::freeaddrinfo(found);
    return connected;
}

Encryption readAnswer(const QByteArray& message)
{
    // The answer's payload lists options as in the request: token, offset, length.
    const QByteArray payload = message.mid(8);
    for (qsizetype at = 0; at + 5 <= payload.size(); at += 5) {
        const auto token = static_cast<unsigned char>(payload[at]);
        if (token == Terminator)
            break;
        if (token != EncryptionOption)
            continue;
        const int offset = (static_cast<unsigned char>(payload[at + 1]) << 8) |
                           static_cast<unsigned char>(payload[at + 2]);
        if (offset >= payload.size())
            return Encryption::Unknown;
        switch (static_cast<unsigned char>(payload[offset])) {
        case EncryptOn:
        case EncryptRequired:
            return Encryption::Offered;
        case EncryptOff:
        case EncryptNotSupported:
            return Encryption::NotOffered;
        default:
            return Encryption::Unknown;
        }
    }
    return Encryption::Unknown;
}

} // namespace

Encryption askEncryption(const QString& host, int port, int timeoutMilliseconds)
{
    QElapsedTimer clock;
    clock.start();
    const Socket socket(connectTo(host, port, clock, timeoutMilliseconds));
    if (socket.fd() < 0)
        return Encryption::Unknown;
    const QByteArray request = preloginRequest();
    qsizetype sent = 0;
    while (sent < request.size()) {
        if (!waitFor(socket.fd(), POLLOUT, clock, timeoutMilliseconds))
            return Encryption::Unknown;
        const ssize_t now = ::send(socket.fd(), request.constData() + sent,
                                   size_t(request.size() - sent), MSG_NOSIGNAL);
        if (now <= 0)
            return Encryption::Unknown;
        sent += now;
    }
    QByteArray answer;
    while (answer.size() < 8 || answer.size() < ((static_cast<unsigned char>(answer[2]) << 8) |
                                                 static_cast<unsigned char>(answer[3]))) {
        if (answer.size() > 4096 || !waitFor(socket.fd(), POLLIN, clock, timeoutMilliseconds))
            return Encryption::Unknown;
        char buffer[512];
        const ssize_t now = ::recv(socket.fd(), buffer, sizeof buffer, 0);
        if (now <= 0)
            return Encryption::Unknown;
        answer.append(buffer, now);
    }
    if (answer[0] != 0x04) // a tabular result, as a server answers
        return Encryption::Unknown;
    return readAnswer(answer);
}

} // namespace db::tds
