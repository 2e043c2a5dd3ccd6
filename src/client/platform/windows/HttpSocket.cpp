// Windows sockets for the HTTP client: Winsock 2, started once per process; the
// error numbers are Winsock's own. Windows raises no signal for a closed peer.
#include "http/HttpSocket.h"

#include "http/HttpErrors.h"

#include <QString>

#include <mutex>
#include <winsock2.h>
#include <ws2tcpip.h>

namespace {

void StartWinsockOnce() {
    static std::once_flag once;
    static int startError = 0;
    std::call_once(once, [] {
        WSADATA data{};
        startError = WSAStartup(MAKEWORD(2, 2), &data);
    });
    if (startError != 0) {
        throw ESocketError(startError);
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
    if (inet_pton(AF_INET, name.constData(), &address) == 1) {
        return address;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int result = getaddrinfo(name.constData(), nullptr, &hints, &found);
    if (result != 0 || found == nullptr) {
        throw ESocketError(result != 0 ? result : SocketError::kHostNotFound);
    }
    address = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return address;
}

} // namespace

THttpSocket::THttpSocket() {
    StartWinsockOnce();
}

THttpSocket::~THttpSocket() {
    Close();
}

int THttpSocket::LastError() noexcept {
    return WSAGetLastError();
}

void THttpSocket::Connect(const QString &host, int port, bool ipv6) {
    Close();
    if (port < 1 || port > 65535) {
        throw ESocketError(SocketError::kAddressNotAvailable);
    }
    sockaddr_storage storage{};
    int length = 0;
    if (ipv6) {
        auto *address = reinterpret_cast<sockaddr_in6 *>(&storage);
        address->sin6_family = AF_INET6;
        address->sin6_port = htons(static_cast<u_short>(port));
        if (inet_pton(AF_INET6, host.toUtf8().constData(), &address->sin6_addr) != 1) {
            throw ESocketError(SocketError::kHostNotFound);
        }
        length = sizeof(sockaddr_in6);
    } else {
        auto *address = reinterpret_cast<sockaddr_in *>(&storage);
        address->sin_family = AF_INET;
        address->sin_port = htons(static_cast<u_short>(port));
        address->sin_addr = ResolveIPv4(host);
        length = sizeof(sockaddr_in);
    }
    const SOCKET handle = socket(storage.ss_family, SOCK_STREAM, IPPROTO_TCP);
    if (handle == INVALID_SOCKET) {
        throw ESocketError(LastError());
    }
    FHandle = static_cast<qintptr>(handle);
    if (connect(handle, reinterpret_cast<const sockaddr *>(&storage), length) != 0) {
        const int error = LastError();
        Close();
        throw ESocketError(error);
    }
}

void THttpSocket::SendAll(const char *data, qint64 size) {
    while (size > 0) {
        const int piece = static_cast<int>(qMin<qint64>(size, 1 << 30));
        const int sent = send(static_cast<SOCKET>(FHandle), data, piece, 0);
        if (sent == SOCKET_ERROR) {
            throw ESocketError(LastError());
        }
        data += sent;
        size -= sent;
    }
}

qint64 THttpSocket::Receive(char *data, qint64 capacity) {
    const int piece = static_cast<int>(qMin<qint64>(capacity, 1 << 30));
    const int received = recv(static_cast<SOCKET>(FHandle), data, piece, 0);
    if (received == SOCKET_ERROR) {
        const int error = LastError();
        if (error == WSAETIMEDOUT) {
            throw Exception(QStringLiteral("Read timed out."));
        }
        throw ESocketError(error);
    }
    return received;
}

void THttpSocket::SetTimeLimits(int milliseconds) {
    const DWORD limit = static_cast<DWORD>(milliseconds);
    setsockopt(static_cast<SOCKET>(FHandle), SOL_SOCKET, SO_RCVTIMEO,
               reinterpret_cast<const char *>(&limit), sizeof(limit));
    setsockopt(static_cast<SOCKET>(FHandle), SOL_SOCKET, SO_SNDTIMEO,
               reinterpret_cast<const char *>(&limit), sizeof(limit));
}

void THttpSocket::Close() noexcept {
    if (FHandle != static_cast<qintptr>(INVALID_SOCKET) && FHandle != -1) {
        closesocket(static_cast<SOCKET>(FHandle));
    }
    FHandle = -1;
}
