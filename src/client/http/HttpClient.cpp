#include "http/HttpClient.h"

#include "http/HttpErrors.h"
#include "http/HttpSocket.h"
#include "http/HttpStream.h"
#include "http/HttpTls.h"
#include "http/HttpUrl.h"

#include <QBuffer>
#include <QIODevice>
#include <QStringList>

namespace {

const QString kAccept =
    QStringLiteral("text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8");
const QString kUserAgent = QStringLiteral("Mozilla/3.0 (compatible; Sonavik)");
const QString kFormContentType = QStringLiteral("application/x-www-form-urlencoded");

// A URL goes on the wire unchanged, so spaces and control characters would let it
// write header lines of its own: such a URL is refused before anything is sent.
void CheckUrlCharacters(const QString &url) {
    for (const QChar ch : url) {
        if (ch.unicode() <= 32 || ch.unicode() == 127) {
            throw Exception(QStringLiteral("The URL contains spaces or control characters."));
        }
    }
}

bool IsDefaultPort(const QString &protocol, int port) {
    return (protocol.compare(QStringLiteral("http"), Qt::CaseInsensitive) == 0 && port == 80) ||
           (protocol.compare(QStringLiteral("https"), Qt::CaseInsensitive) == 0 && port == 443);
}

int PortOf(const TUrl &url) {
    if (url.Port.isEmpty()) {
        if (url.Protocol.compare(QStringLiteral("http"), Qt::CaseInsensitive) == 0) {
            return 80;
        }
        if (url.Protocol.compare(QStringLiteral("https"), Qt::CaseInsensitive) == 0) {
            return 443;
        }
        throw Exception(QStringLiteral("Unknown Protocol"));
    }
    bool ok = false;
    const int port = url.Port.toInt(&ok, 10);
    if (!ok || !url.Port.at(0).isDigit() || port < 1 || port > 65535) {
        throw Exception(QStringLiteral("Invalid port number: %1").arg(url.Port));
    }
    return port;
}

// Form body: each line encoded (name and value apart), trimmed, joined with "&".
QByteArray FormBody(const QStringList &lines) {
    QStringList encoded;
    encoded.reserve(lines.size());
    for (const QString &line : lines) {
        const qsizetype equals = line.indexOf(u'=');
        encoded.append(equals < 0 ? FormFieldEncode(line)
                                  : FormFieldEncode(line.left(equals)) + u'=' +
                                        FormFieldEncode(line.mid(equals + 1)));
    }
    QString body = encoded.join(QStringLiteral("\r\n"));
    qsizetype start = 0;
    qsizetype end = body.size();
    while (start < end && body[start].unicode() <= 32) {
        ++start;
    }
    while (end > start && body[end - 1].unicode() <= 32) {
        --end;
    }
    body = body.mid(start, end - start).replace(QStringLiteral("\r\n"), QStringLiteral("&"));
    return RequestBytes(body);
}

// Restores the protocol version when a POST ends.
class TVersionScope final {
public:
    TVersionScope(QString &version, const QString &during) : FVersion(version), FSaved(version) {
        FVersion = during;
    }
    ~TVersionScope() { FVersion = FSaved; }
    TVersionScope(const TVersionScope &) = delete;
    TVersionScope &operator=(const TVersionScope &) = delete;

private:
    QString &FVersion;
    QString FSaved;
};

// Four dot-separated decimal numbers of 0..255: no name indication is sent for it.
bool IsIPv4Literal(const QString &host) {
    const QStringList parts = host.split(u'.');
    if (parts.size() != 4) {
        return false;
    }
    for (const QString &part : parts) {
        if (part.isEmpty() || part.size() > 3) {
            return false;
        }
        for (const QChar ch : part) {
            if (ch < u'0' || ch > u'9') {
                return false;
            }
        }
        if (part.toInt() > 255) {
            return false;
        }
    }
    return true;
}

// An error body is kept as text for the error; beyond this size it is read and dropped.
constexpr qsizetype kMaxErrorBody = 1 << 20;

THttpBodySink ErrorBodySink(QByteArray &body) {
    return [&body](const char *data, qint64 size) {
        body.append(data, qMin<qint64>(size, qMax<qint64>(0, kMaxErrorBody - body.size())));
    };
}

THttpBodySink DeviceSink(QIODevice &device) {
    return [&device](const char *data, qint64 size) {
        if (device.write(data, size) != size) {
            throw Exception(
                QStringLiteral("Cannot write the answer: %1").arg(device.errorString()));
        }
    };
}

} // namespace

struct THttpClient::TRequest {
    QString Method;
    TUrl Url;
    int Port = 0;
    QString Target;     // path, document and parameters
    QString HostHeader; // host, with ":" and port unless the protocol's default
    bool Tls = false;
    bool ViaProxy = false; // through the proxy, plain or tunnelled
    QIODevice *Body = nullptr;
    THttpBodySink Sink;
};

THttpClient::THttpClient() = default;

THttpClient::~THttpClient() {
    Disconnect();
}

void THttpClient::Get(const QString &url, QIODevice &responseStream) {
    Get(url, DeviceSink(responseStream));
}

void THttpClient::Get(const QString &url, const THttpBodySink &sink) {
    TRequest request;
    request.Method = QStringLiteral("GET");
    request.Url = TUrl::Parse(url);
    request.Sink = sink;
    CheckUrlCharacters(url);
    DoRequest(request);
}

void THttpClient::Post(const QString &url, const QStringList &lines, QIODevice &responseStream) {
    const QString media = FContentType.section(u';', 0, 0).trimmed().toLower();
    if (media.isEmpty() || media == QStringLiteral("text/html") ||
        media == QStringLiteral("text/html-sandboxed") ||
        media == QStringLiteral("application/xhtml+xml")) {
        FContentType = kFormContentType;
    }
    QBuffer body;
    body.setData(FormBody(lines));
    body.open(QIODevice::ReadOnly);
    Post(url, body, responseStream);
}

void THttpClient::Post(const QString &url, QIODevice &bodyStream, QIODevice &responseStream) {
    const TVersionScope version(FProtocolVersion, QStringLiteral("1.0"));
    Disconnect();
    TRequest request;
    request.Method = QStringLiteral("POST");
    request.Url = TUrl::Parse(url);
    request.Body = &bodyStream;
    request.Sink = DeviceSink(responseStream);
    CheckUrlCharacters(url);
    DoRequest(request);
}

void THttpClient::DoRequest(const TRequest &prepared) {
    TRequest request = prepared;
    request.Port = PortOf(request.Url);
    request.Tls = request.Url.Protocol.compare(QStringLiteral("https"), Qt::CaseInsensitive) == 0;
    request.ViaProxy = !FProxyParams.ProxyServer.isEmpty();
    request.Target = request.Url.Path + request.Url.Document;
    if (!request.Url.Params.isEmpty()) {
        request.Target += u'?' + request.Url.Params;
    }
    request.HostHeader = request.Url.IPv6 ? u'[' + request.Url.Host + u']' : request.Url.Host;
    if (!IsDefaultPort(request.Url.Protocol, request.Port)) {
        request.HostHeader += u':' + QString::number(request.Port);
    }
    FResponse = THttpAnswer();
    try {
        Connect(request);
        const QByteArray head = RequestHead(request);
        FStream->Write(head.constData(), head.size());
        if (request.Body != nullptr) {
            WriteBody(*request.Body);
        }
        ReadAnswer(request.Sink);
    } catch (...) {
        Disconnect();
        throw;
    }
    Disconnect();
}

void THttpClient::Connect(const TRequest &request) {
    Disconnect();
    FSocket = std::make_unique<THttpSocket>();
    if (request.ViaProxy) {
        const QString &proxy = FProxyParams.ProxyServer;
        FSocket->Connect(proxy, FProxyParams.ProxyPort, proxy.contains(u':'));
    } else {
        FSocket->Connect(request.Url.Host, request.Port, request.Url.IPv6);
    }
    FStream = std::make_unique<TPlainStream>(*FSocket);
    if (request.Tls) {
        if (request.ViaProxy) {
            OpenTunnel(request);
        }
        const bool ipLiteral = request.Url.IPv6 || IsIPv4Literal(request.Url.Host);
        FStream =
            std::make_unique<TTlsStream>(*FSocket, request.Url.Host, ipLiteral, FTlsTimeLimitMs);
    }
}

void THttpClient::OpenTunnel(const TRequest &request) {
    QString head = QStringLiteral("CONNECT %1:%2 HTTP/%3\r\n")
                       .arg(request.Url.IPv6 ? u'[' + request.Url.Host + u']' : request.Url.Host)
                       .arg(request.Port)
                       .arg(FProtocolVersion);
    head += QStringLiteral("Pragma: no-cache\r\nProxy-Connection: keep-alive\r\n");
    head += QStringLiteral("Host: ") + request.HostHeader + QStringLiteral("\r\n");
    head += QStringLiteral("Accept: ") + kAccept + QStringLiteral("\r\n");
    head += QStringLiteral("User-Agent: ") + kUserAgent + QStringLiteral("\r\n");
    if (FProxyParams.BasicAuthentication) {
        head += QStringLiteral("Proxy-Authorization: ") +
                BasicCredentials(FProxyParams.ProxyUsername, FProxyParams.ProxyPassword) +
                QStringLiteral("\r\n");
    }
    head += QStringLiteral("\r\n");
    const QByteArray bytes = RequestBytes(head);
    FStream->Write(bytes.constData(), bytes.size());

    // Byte by byte, so that whatever follows the head stays in the socket for TLS.
    THttpAnswerReader headReader(*FStream, 1);
    FResponse = headReader.ReadConnectHead();
    if (FResponse.StatusCode < 200 || FResponse.StatusCode > 299) {
        QByteArray body;
        THttpAnswerReader bodyReader(*FStream);
        bodyReader.ReadBody(FResponse, ErrorBodySink(body));
        throw EHttpProtocolError(FResponse.StatusLine, FResponse.StatusCode,
                                 FResponse.DecodeBody(body));
    }
}

QByteArray THttpClient::RequestHead(const TRequest &request) const {
    const bool tunnel = request.ViaProxy && request.Tls;
    const bool plainProxy = request.ViaProxy && !request.Tls;
    QString target = request.Target;
    if (plainProxy) {
        QString host = request.Url.IPv6 ? u'[' + request.Url.Host + u']' : request.Url.Host;
        if (!IsDefaultPort(request.Url.Protocol, request.Port)) {
            host += u':' + QString::number(request.Port);
        }
        target = request.Url.Protocol + QStringLiteral("://") + host + target;
    }
    const bool oldVersion = FProtocolVersion == QStringLiteral("1.0");
    const bool post = request.Body != nullptr;
    const struct {
        const char *Name;
        QString Value;
    } headers[] = {
        {"Connection", !request.ViaProxy && oldVersion ? QStringLiteral("keep-alive") : QString()},
        {"Content-Type", post ? FContentType : QString()},
        {"Content-Length", post ? QString::number(request.Body->size()) : QString()},
        {"Pragma", QString()},
        {"Proxy-Connection", plainProxy && oldVersion ? QStringLiteral("keep-alive") : QString()},
        {"Host", request.HostHeader},
        {"Accept", kAccept},
        {"User-Agent", kUserAgent},
        // Never inside a tunnel: the proxy's password is for the proxy only.
        {"Proxy-Authorization",
         request.ViaProxy && !tunnel && FProxyParams.BasicAuthentication
             ? BasicCredentials(FProxyParams.ProxyUsername, FProxyParams.ProxyPassword)
             : QString()},
    };
    QString head = request.Method + u' ' + target + QStringLiteral(" HTTP/") + FProtocolVersion +
                   QStringLiteral("\r\n");
    for (const auto &header : headers) {
        if (!header.Value.isEmpty()) {
            head += QLatin1String(header.Name) + QStringLiteral(": ") + header.Value +
                    QStringLiteral("\r\n");
        }
    }
    head += QStringLiteral("\r\n");
    return RequestBytes(head);
}

void THttpClient::WriteBody(QIODevice &bodyStream) {
    if (!bodyStream.seek(0)) {
        throw Exception(
            QStringLiteral("Cannot read the request body: %1").arg(bodyStream.errorString()));
    }
    QByteArray piece(static_cast<qsizetype>(kSendChunk), Qt::Uninitialized);
    qint64 left = bodyStream.size();
    while (left > 0) {
        const qint64 read = bodyStream.read(piece.data(), qMin(left, kSendChunk));
        if (read <= 0) {
            throw Exception(
                QStringLiteral("Cannot read the request body: %1").arg(bodyStream.errorString()));
        }
        FStream->Write(piece.constData(), read);
        left -= read;
    }
}

void THttpClient::ReadAnswer(const THttpBodySink &sink) {
    THttpAnswerReader reader(*FStream);
    FResponse = reader.ReadHead();
    if (FResponse.StatusCode >= 200 && FResponse.StatusCode <= 299) {
        reader.ReadBody(FResponse, sink);
        return;
    }
    QByteArray body;
    reader.ReadBody(FResponse, ErrorBodySink(body));
    throw EHttpProtocolError(FResponse.StatusLine, FResponse.StatusCode,
                             FResponse.DecodeBody(body));
}

void THttpClient::Disconnect() noexcept {
    FStream.reset();
    if (FSocket) {
        FSocket->Close();
    }
    FSocket.reset();
}
