#include "http/HttpTls.h"

#include "http/HttpErrors.h"
#include "http/HttpSocket.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <mutex>

namespace {

// OpenSSL 3 starts itself and keeps its own locks; the explicit start runs once,
// under a lock, so a failure is reported on every connection that needs it.
void StartTlsLibrary() {
    static std::mutex lock;
    static bool started = false;
    const std::lock_guard<std::mutex> guard(lock);
    if (!started) {
        started = OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                                   nullptr) == 1;
    }
    if (!started) {
        throw Exception(QStringLiteral("Could not load SSL library."));
    }
}

// OpenSSL's queued error texts, oldest first, and the certificate check's result.
QString OpenSslErrorText(const ssl_st *ssl) {
    QString text;
    while (const unsigned long error = ERR_get_error()) {
        char buffer[256];
        ERR_error_string_n(error, buffer, sizeof(buffer));
        if (!text.isEmpty()) {
            text += QStringLiteral("\r\n");
        }
        text += QString::fromLatin1(buffer);
    }
    if (ssl != nullptr) {
        const long verify = SSL_get_verify_result(ssl);
        if (verify != X509_V_OK) {
            text += QStringLiteral(" (") +
                    QString::fromLatin1(X509_verify_cert_error_string(verify)) + u')';
        }
    }
    return text.isEmpty() ? QStringLiteral("unknown error") : text;
}

[[noreturn]] void RaiseConnectError(const ssl_st *ssl) {
    throw Exception(QStringLiteral("Error connecting with SSL.\r\n") + OpenSslErrorText(ssl));
}

} // namespace

TTlsStream::TTlsStream(THttpSocket &socket, const QString &host, bool ipLiteral, int timeLimitMs)
    : FSocket(socket) {
    try {
        Handshake(host, ipLiteral, timeLimitMs);
    } catch (...) {
        SSL_free(FSsl);
        SSL_CTX_free(FContext);
        ERR_clear_error();
        throw;
    }
}

void TTlsStream::Handshake(const QString &host, bool ipLiteral, int timeLimitMs) {
    StartTlsLibrary();
    ERR_clear_error();
    FSocket.SetTimeLimits(timeLimitMs);
    FContext = SSL_CTX_new(TLS_client_method());
    if (FContext == nullptr) {
        RaiseConnectError(nullptr);
    }
    SSL_CTX_set_min_proto_version(FContext, TLS1_2_VERSION);
    SSL_CTX_set_mode(FContext, SSL_MODE_AUTO_RETRY);
    SSL_CTX_set_verify(FContext, SSL_VERIFY_PEER, nullptr);
    if (SSL_CTX_set_default_verify_paths(FContext) != 1) {
        RaiseConnectError(nullptr);
    }
    FSsl = SSL_new(FContext);
    if (FSsl == nullptr) {
        RaiseConnectError(nullptr);
    }
    const QByteArray name = host.toUtf8();
    X509_VERIFY_PARAM *param = SSL_get0_param(FSsl);
    const int checked = ipLiteral ? X509_VERIFY_PARAM_set1_ip_asc(param, name.constData())
                                  : SSL_set1_host(FSsl, name.constData());
    if (checked != 1) {
        RaiseConnectError(nullptr);
    }
    if (!ipLiteral && SSL_set_tlsext_host_name(FSsl, name.constData()) != 1) {
        RaiseConnectError(nullptr);
    }
    if (SSL_set_fd(FSsl, static_cast<int>(FSocket.Handle())) != 1) {
        RaiseConnectError(nullptr);
    }
    if (SSL_connect(FSsl) != 1) {
        FBroken = true;
        RaiseConnectError(FSsl);
    }
}

TTlsStream::~TTlsStream() {
    if (FSsl != nullptr) {
        if (!FBroken && !FUnclean) {
            SSL_shutdown(FSsl);
        }
        SSL_free(FSsl);
    }
    SSL_CTX_free(FContext);
    ERR_clear_error();
}

qint64 TTlsStream::Read(char *data, qint64 capacity) {
    if (FUnclean || FBroken) {
        return 0;
    }
    for (;;) {
        ERR_clear_error();
        size_t received = 0;
        if (SSL_read_ex(FSsl, data, static_cast<size_t>(capacity), &received) == 1) {
            return static_cast<qint64>(received);
        }
        const int socketError = THttpSocket::LastError();
        switch (SSL_get_error(FSsl, 0)) {
        case SSL_ERROR_ZERO_RETURN:
            return 0;
        case SSL_ERROR_WANT_READ:
        case SSL_ERROR_WANT_WRITE:
            // With socket time limits a timed-out read comes back as "want read".
            if (socketError == SocketError::kWouldBlock || socketError == SocketError::kTimedOut) {
                FBroken = true;
                throw Exception(QStringLiteral("Read timed out."));
            }
            continue;
        case SSL_ERROR_SYSCALL:
            FBroken = true;
            if (ERR_peek_error() == 0 && socketError != 0 && socketError != 10004) {
                throw ESocketError(socketError);
            }
            FUnclean = true;
            return 0;
        case SSL_ERROR_SSL:
            if (ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
                FUnclean = true;
                ERR_clear_error();
                return 0;
            }
            FBroken = true;
            throw Exception(OpenSslErrorText(nullptr));
        default:
            FBroken = true;
            throw Exception(OpenSslErrorText(nullptr));
        }
    }
}

void TTlsStream::Write(const char *data, qint64 size) {
    while (size > 0) {
        ERR_clear_error();
        size_t written = 0;
        if (SSL_write_ex(FSsl, data, static_cast<size_t>(size), &written) == 1) {
            data += written;
            size -= static_cast<qint64>(written);
            continue;
        }
        const int socketError = THttpSocket::LastError();
        switch (SSL_get_error(FSsl, 0)) {
        case SSL_ERROR_WANT_READ:
        case SSL_ERROR_WANT_WRITE:
            if (socketError == SocketError::kWouldBlock || socketError == SocketError::kTimedOut) {
                FBroken = true;
                throw ESocketError(SocketError::kTimedOut);
            }
            continue;
        case SSL_ERROR_SYSCALL:
            FBroken = true;
            throw ESocketError(socketError != 0 ? socketError : SocketError::kConnectionReset);
        default:
            FBroken = true;
            throw Exception(OpenSslErrorText(nullptr));
        }
    }
}
