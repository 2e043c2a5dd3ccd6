// HttpClient: THttpClient, the HTTP/1.x client object that serves one request
// (GET, form POST or raw POST) over a plain socket, TLS, a plain proxy or a
// CONNECT tunnel, synchronously on the calling thread. A 2xx body streams into
// the caller's sink; any other status raises EHttpProtocolError. Used by one
// thread; several clients may work at once on different threads.
#pragma once

#include "http/HttpAnswer.h"

#include <QString>

#include <memory>

class QIODevice;
#include <QStringList>
class IHttpStream;
class THttpSocket;

// The proxy fields, written by the client factory before the request.
struct TProxyParams final {
    QString ProxyServer; // empty: no proxy
    int ProxyPort = 0;
    QString ProxyUsername;
    QString ProxyPassword;
    bool BasicAuthentication = false; // basic-by-default: Proxy-Authorization on every request
};

class THttpClient final {
public:
    static constexpr int kDefaultTlsTimeLimitMs = 30000;
    static constexpr qint64 kSendChunk = 32768;

    THttpClient();
    ~THttpClient();
    THttpClient(const THttpClient &) = delete;
    THttpClient &operator=(const THttpClient &) = delete;

    [[nodiscard]] TProxyParams &ProxyParams() noexcept { return FProxyParams; }

    // GET: the body of a 2xx answer is appended to responseStream (or handed to
    // sink) as it arrives, never held whole in memory.
    void Get(const QString &url, QIODevice &responseStream);
    void Get(const QString &url, const THttpBodySink &sink);
    // Form POST: each line encoded with FormFieldEncode (name and value apart),
    // joined with "&", sent as application/x-www-form-urlencoded.
    void Post(const QString &url, const QStringList &lines, QIODevice &responseStream);
    // Raw POST of the whole bodyStream from its first byte; no Content-Type.
    void Post(const QString &url, QIODevice &bodyStream, QIODevice &responseStream);

    // Receive and send time limits of a TLS connection (30 000 ms unless changed).
    void SetTlsTimeLimit(int milliseconds) noexcept { FTlsTimeLimitMs = milliseconds; }
    // The last answer's status line and header lines.
    [[nodiscard]] const THttpAnswer &Response() const noexcept { return FResponse; }

private:
    struct TRequest;

    void DoRequest(const TRequest &request);
    void Connect(const TRequest &request);
    void OpenTunnel(const TRequest &request);
    [[nodiscard]] QByteArray RequestHead(const TRequest &request) const;
    void WriteBody(QIODevice &bodyStream);
    void ReadAnswer(const THttpBodySink &sink);
    void Disconnect() noexcept;

    TProxyParams FProxyParams;
    QString FProtocolVersion = QStringLiteral("1.1");
    QString FContentType;
    int FTlsTimeLimitMs = kDefaultTlsTimeLimitMs;
    THttpAnswer FResponse;
    std::unique_ptr<THttpSocket> FSocket;
    std::unique_ptr<IHttpStream> FStream;
};
