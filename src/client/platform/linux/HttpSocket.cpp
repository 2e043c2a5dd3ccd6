// Linux sockets for the HTTP client: BSD sockets with errno mapped to the Windows
// socket error numbers, MSG_NOSIGNAL on every send and SIGPIPE ignored once (TLS
// writes go through OpenSSL's own write calls).
#include "http/HttpSocket.h"

#include "http/HttpErrors.h"

#include <QString>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace {

int WindowsErrorOf(int error) {
    switch (error) {
    case EINTR:
        return 10004;
    case EBADF:
        return 10009;
    case EACCES:
    case EPERM:
        return 10013;
    case EFAULT:
        return 10014;
    case EINVAL:
        return 10022;
    case EMFILE:
    case ENFILE:
        return 10024;
    case EAGAIN:
        return SocketError::kWouldBlock;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EMSGSIZE:
        return 10040;
    case EAFNOSUPPORT:
        return 10047;
    case EADDRINUSE:
        return 10048;
    case EADDRNOTAVAIL:
        return SocketError::kAddressNotAvailable;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return 10051;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return 10053;
    case ECONNRESET:
    case EPIPE:
        return SocketError::kConnectionReset;
    case ENOBUFS:
    case ENOMEM:
        return 10055;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
        return 10058;
    case ETIMEDOUT:
        return SocketError::kTimedOut;
    case ECONNREFUSED:
        return SocketError::kConnectionRefused;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return 10065;
    default:
        return error;
    }
}

[[noreturn]] void RaiseLastError() {
    throw ESocketError(THttpSocket::LastError());
}

void IgnoreSigpipeOnce() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

int ResolverError(int result) {
    switch (result) {
    case EAI_AGAIN:
        return SocketError::kTryAgain;
    case EAI_FAIL:
        return SocketError::kNoRecovery;
    case EAI_SYSTEM:
        return WindowsErrorOf(errno);
    default:
        return SocketError::kHostNotFound;
    }
}

in_addr ResolveIPv4(const QString &host) {
    in_addr address{};
    if (host.compare(QStringLiteral("LOCALHOST"), Qt::CaseInsensitive) == 0) {
        address.s_addr = htonl(INADDR_LOOPBACK);
        return address;
    }
    const QByteArray name = host.toUtf8();
    if (name.isEmpty() || name.contains('\0')) {
        throw ESocketError(SocketError::kHostNotFound);
    }
    if (::inet_pton(AF_INET, name.constData(), &address) == 1) {
        return address;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int result = ::getaddrinfo(name.constData(), nullptr, &hints, &found);
    if (result != 0 || found == nullptr) {
        throw ESocketError(result != 0 ? ResolverError(result) : SocketError::kHostNotFound);
    }
    address = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return address;
}

} // namespace

THttpSocket::THttpSocket() {
    IgnoreSigpipeOnce();
}

THttpSocket::~THttpSocket() {
    Close();
}

int THttpSocket::LastError() noexcept {
    return WindowsErrorOf(errno);
}

void THttpSocket::Connect(const QString &host, int port, bool ipv6) {
    Close();
    if (port < 1 || port > 65535) {
        throw ESocketError(SocketError::kAddressNotAvailable);
    }
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (ipv6) {
        auto *address = reinterpret_cast<sockaddr_in6 *>(&storage);
        address->sin6_family = AF_INET6;
        address->sin6_port = htons(static_cast<uint16_t>(port));
        if (::inet_pton(AF_INET6, host.toUtf8().constData(), &address->sin6_addr) != 1) {
            throw ESocketError(SocketError::kHostNotFound);
        }
        length = sizeof(sockaddr_in6);
    } else {
        auto *address = reinterpret_cast<sockaddr_in *>(&storage);
        address->sin_family = AF_INET;
        address->sin_port = htons(static_cast<uint16_t>(port));
        address->sin_addr = ResolveIPv4(host);
        length = sizeof(sockaddr_in);
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        RaiseLastError();
    }
    FHandle = fd;
    int result = 0;
    do {
        result = ::connect(fd, reinterpret_cast<const sockaddr *>(&storage), length);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int error = LastError();
        Close();
        throw ESocketError(error);
    }
    const int noDelay = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof(noDelay));
}

void THttpSocket::SendAll(const char *data, qint64 size) {
    while (size > 0) {
        const ssize_t sent =
            ::send(static_cast<int>(FHandle), data, static_cast<size_t>(size), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                throw ESocketError(SocketError::kTimedOut);
            }
            RaiseLastError();
        }
        data += sent;
        size -= sent;
    }
}

qint64 THttpSocket::Receive(char *data, qint64 capacity) {
    for (;;) {
        const ssize_t received =
            ::recv(static_cast<int>(FHandle), data, static_cast<size_t>(capacity), 0);
        if (received >= 0) {
            return received;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            throw Exception(QStringLiteral("Read timed out."));
        }
        RaiseLastError();
    }
}

void THttpSocket::SetTimeLimits(int milliseconds) {
    timeval limit{};
    limit.tv_sec = milliseconds / 1000;
    limit.tv_usec = static_cast<suseconds_t>((milliseconds % 1000) * 1000);
    ::setsockopt(static_cast<int>(FHandle), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
    ::setsockopt(static_cast<int>(FHandle), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
}

void THttpSocket::Close() noexcept {
    if (FHandle >= 0) {
        ::close(static_cast<int>(FHandle));
        FHandle = -1;
    }
}
