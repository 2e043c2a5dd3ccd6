#include "support/ScriptedServer.h"

#include <QFile>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int ListenOnLoopback(int &port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int reuse = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
        ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        throw std::runtime_error("scripted server: cannot listen on loopback");
    }
    port = ntohs(address.sin_port);
    return fd;
}

// The length of a request head ending in an empty line, or -1 while incomplete.
qsizetype HeadLength(const QByteArray &bytes) {
    const qsizetype end = bytes.indexOf("\r\n\r\n");
    return end < 0 ? -1 : end + 4;
}

qint64 ContentLengthOf(const QByteArray &head) {
    for (const QByteArray &line : head.split('\n')) {
        if (line.toLower().startsWith("content-length:")) {
            return line.mid(15).trimmed().toLongLong();
        }
    }
    return 0;
}

} // namespace

// One accepted connection, plain or TLS.
class TScriptedServer::TConnection {
public:
    explicit TConnection(int fd) : FFd(fd) {}
    ~TConnection() {
        if (FSsl != nullptr) {
            SSL_free(FSsl);
        }
    }
    TConnection(const TConnection &) = delete;
    TConnection &operator=(const TConnection &) = delete;

    bool StartTls(ssl_ctx_st *context) {
        FSsl = SSL_new(context);
        SSL_set_fd(FSsl, FFd);
        if (SSL_accept(FSsl) != 1) {
            ERR_clear_error();
            return false;
        }
        return true;
    }
    qint64 Read(char *data, qint64 size) {
        if (FSsl != nullptr) {
            size_t read = 0;
            return SSL_read_ex(FSsl, data, static_cast<size_t>(size), &read) == 1
                       ? static_cast<qint64>(read)
                       : 0;
        }
        const ssize_t read = ::recv(FFd, data, static_cast<size_t>(size), 0);
        return read > 0 ? read : 0;
    }
    bool Write(const QByteArray &bytes) {
        qsizetype done = 0;
        while (done < bytes.size()) {
            qint64 written = 0;
            if (FSsl != nullptr) {
                size_t n = 0;
                written = SSL_write_ex(FSsl, bytes.constData() + done,
                                       static_cast<size_t>(bytes.size() - done), &n) == 1
                              ? static_cast<qint64>(n)
                              : -1;
            } else {
                written = ::send(FFd, bytes.constData() + done,
                                 static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
            }
            if (written <= 0) {
                return false;
            }
            done += written;
        }
        return true;
    }
    // One request: the head up to its empty line, then Content-Length bytes.
    bool ReadRequest(QByteArray &request) {
        char buffer[4096];
        while (HeadLength(request) < 0 ||
               request.size() <
                   HeadLength(request) + ContentLengthOf(request.left(HeadLength(request)))) {
            // Byte by byte until the head is complete: what follows may be TLS.
            const qint64 want = HeadLength(request) < 0 ? 1 : static_cast<qint64>(sizeof(buffer));
            const qint64 read = Read(buffer, want);
            if (read <= 0) {
                return false;
            }
            request.append(buffer, read);
        }
        return true;
    }
    void Shutdown() {
        if (FSsl != nullptr) {
            SSL_shutdown(FSsl);
        }
    }

private:
    int FFd;
    ssl_st *FSsl = nullptr;
};

TScriptedServer::TScriptedServer(const QString &certFile, const QString &keyFile, bool tls)
    : FTls(tls) {
    if (!certFile.isEmpty()) {
        FContext = SSL_CTX_new(TLS_server_method());
        if (SSL_CTX_use_certificate_file(FContext, QFile::encodeName(certFile).constData(),
                                         SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_use_PrivateKey_file(FContext, QFile::encodeName(keyFile).constData(),
                                        SSL_FILETYPE_PEM) != 1) {
            throw std::runtime_error("scripted server: cannot load the TLS identity");
        }
    }
    FListen = ListenOnLoopback(FPort);
    FThread = std::thread([this] { Serve(); });
}

TScriptedServer::~TScriptedServer() {
    {
        const std::lock_guard<std::mutex> guard(FLock);
        FStopping = true;
        if (FActiveFd >= 0) {
            ::shutdown(FActiveFd, SHUT_RDWR);
        }
    }
    FChanged.notify_all();
    ::shutdown(FListen, SHUT_RDWR);
    FThread.join();
    ::close(FListen);
    SSL_CTX_free(FContext);
}

void TScriptedServer::AddConnection(std::vector<TScriptedExchange> exchanges) {
    const std::lock_guard<std::mutex> guard(FLock);
    FScripts.push_back(std::move(exchanges));
}

std::vector<QByteArray> TScriptedServer::Requests() const {
    const std::lock_guard<std::mutex> guard(FLock);
    return FRequests;
}

void TScriptedServer::WaitUntilServed() const {
    std::unique_lock<std::mutex> guard(FLock);
    FChanged.wait_for(guard, std::chrono::seconds(30),
                      [this] { return FScripts.empty() && FBusy == 0; });
}

void TScriptedServer::Record(const QByteArray &request) {
    const std::lock_guard<std::mutex> guard(FLock);
    FRequests.push_back(request);
}

void TScriptedServer::Serve() {
    for (;;) {
        pollfd waiting{FListen, POLLIN, 0};
        ::poll(&waiting, 1, 200);
        std::vector<TScriptedExchange> script;
        {
            const std::lock_guard<std::mutex> guard(FLock);
            if (FStopping) {
                return;
            }
        }
        if ((waiting.revents & POLLIN) == 0) {
            continue;
        }
        const int fd = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        {
            const std::lock_guard<std::mutex> guard(FLock);
            if (!FScripts.empty()) {
                script = std::move(FScripts.front());
                FScripts.pop_front();
            }
            FActiveFd = fd;
            ++FBusy;
        }
        ServeConnection(fd, script);
        {
            const std::lock_guard<std::mutex> guard(FLock);
            FActiveFd = -1;
            --FBusy;
            ::close(fd);
        }
        FChanged.notify_all();
    }
}

void TScriptedServer::ServeConnection(int fd, const std::vector<TScriptedExchange> &exchanges) {
    TConnection connection(fd);
    if (FTls && (FContext == nullptr || !connection.StartTls(FContext))) {
        return;
    }
    for (const TScriptedExchange &exchange : exchanges) {
        if (exchange.ReadRequest) {
            QByteArray request;
            const bool complete = connection.ReadRequest(request);
            if (!request.isEmpty()) {
                Record(request);
            }
            if (!complete) {
                return;
            }
        }
        if (!connection.Write(exchange.Answer)) {
            return;
        }
        switch (exchange.End) {
        case TScriptedExchange::TEnd::Close:
            connection.Shutdown();
            return;
        case TScriptedExchange::TEnd::Continue:
            break;
        case TScriptedExchange::TEnd::StartTls:
            if (FContext == nullptr || !connection.StartTls(FContext)) {
                return;
            }
            break;
        case TScriptedExchange::TEnd::Hang: {
            std::unique_lock<std::mutex> guard(FLock);
            FChanged.wait(guard, [this] { return FStopping; });
            return;
        }
        case TScriptedExchange::TEnd::CutTls:
            return;
        }
    }
    connection.Shutdown();
}

int FreeLoopbackPort() {
    int port = 0;
    const int fd = ListenOnLoopback(port);
    ::close(fd);
    return port;
}
