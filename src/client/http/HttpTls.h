// HttpTls: a TLS client connection over a connected socket (OpenSSL 3): TLS 1.2
// or newer, the server certificate verified against the default trust store
// (SSL_CERT_FILE / SSL_CERT_DIR apply) and against the host, server name
// indication for host names. OpenSSL's one-time start runs under a process-wide
// lock; each object is used by one thread.
#pragma once

#include "http/HttpStream.h"

#include <QString>

struct ssl_st;
struct ssl_ctx_st;

class TTlsStream final : public IHttpStream {
public:
    // Sets the socket's time limits, then performs the handshake; raises
    // "Error connecting with SSL." with OpenSSL's text when it fails.
    TTlsStream(THttpSocket &socket, const QString &host, bool ipLiteral, int timeLimitMs);
    ~TTlsStream() override;
    TTlsStream(const TTlsStream &) = delete;
    TTlsStream &operator=(const TTlsStream &) = delete;

    qint64 Read(char *data, qint64 capacity) override;
    void Write(const char *data, qint64 size) override;
    [[nodiscard]] bool EndedUncleanly() const override { return FUnclean; }

private:
    void Handshake(const QString &host, bool ipLiteral, int timeLimitMs);

    THttpSocket &FSocket;
    ssl_ctx_st *FContext = nullptr;
    ssl_st *FSsl = nullptr;
    bool FUnclean = false;
    bool FBroken = false;
};
