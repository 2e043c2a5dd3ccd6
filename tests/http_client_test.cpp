// THttpClient against a scripted server on loopback: the exact request bytes of
// the speech service's three requests (direct, through a plain proxy, through a
// CONNECT tunnel), answer reading and its edge cases, TLS with a test CA, and the
// errors a user meets (refused connections, bad URLs, time limits).
#include "http/HttpClient.h"
#include "http/HttpErrors.h"

#include "support/ScriptedServer.h"
#include "support/TestCertificates.h"

#include <QBuffer>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <optional>
#include <thread>

namespace {

using TEnd = TScriptedExchange::TEnd;

const QByteArray kAccept =
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8\r\n";
const QByteArray kUserAgent = "User-Agent: Mozilla/3.0 (compatible; Sonavik)\r\n";
const QStringList kFiveLines = {QStringLiteral("text=abc%20%C3%A6"), QStringLiteral("pitch=2"),
                                QStringLiteral("speed=5"), QStringLiteral("clientid=%7Bid%7D"),
                                QStringLiteral("system=Linux%206")};
const QByteArray kFiveLinesBody =
    "text=abc%2520%25C3%25A6&pitch=2&speed=5&clientid=%257Bid%257D&system=Linux%25206";

QString Url(int port, const char *path, const char *protocol = "http") {
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(QLatin1String(protocol))
        .arg(port)
        .arg(QLatin1String(path));
}

// Proxy settings for a proxy at host:port; the user "u" with the password "p" (Basic dTpw)
// is sent only with credentials.
TProxyParams ProxyAt(const QString &host, int port, bool credentials = false) {
    return {host, port, QStringLiteral("u"), QStringLiteral("p"), credentials};
}

QByteArray Ok(const QByteArray &body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
           body;
}

// The outcome of one request: the body, or the error's message (and code).
struct TOutcome {
    QByteArray Body;
    QString Error;
    int Code = 0;
    QString ErrorMessage;
};

enum class TRequestKind { ClientId, Playlist, SoundFile };

TOutcome Request(THttpClient &client, TRequestKind kind, const QString &url) {
    TOutcome outcome;
    QBuffer response(&outcome.Body);
    response.open(QIODevice::WriteOnly);
    try {
        if (kind == TRequestKind::ClientId) {
            QByteArray bytes("reg=get");
            QBuffer body(&bytes);
            body.open(QIODevice::ReadOnly);
            client.Post(url, body, response);
        } else if (kind == TRequestKind::Playlist) {
            client.Post(url, kFiveLines, response);
        } else {
            client.Get(url, response);
        }
    } catch (const EHttpProtocolError &error) {
        outcome.Error = error.Message();
        outcome.Code = error.ErrorCode();
        outcome.ErrorMessage = error.ErrorMessage();
    } catch (const Exception &error) {
        outcome.Error = error.Message();
    }
    return outcome;
}

TOutcome Get(const QString &url, int tlsTimeLimit = 0) {
    THttpClient client;
    if (tlsTimeLimit > 0) {
        client.SetTlsTimeLimit(tlsTimeLimit);
    }
    return Request(client, TRequestKind::SoundFile, url);
}

class HttpTls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Certificates.emplace();
        qputenv("SSL_CERT_FILE", Certificates->CaFile().toUtf8());
        qunsetenv("SSL_CERT_DIR");
    }
    static void TearDownTestSuite() { Certificates.reset(); }
    static inline std::optional<TTestCertificates> Certificates;
};

// ---------------------------------------------------------------- request bytes

TEST(HttpRequest, TheThreeRequestsDirect) {
    const struct {
        const char *Name;
        TRequestKind Kind;
        const char *Path;
        QByteArray Head;
        QByteArray Body;
    } cases[] = {
        {"client id", TRequestKind::ClientId, "/svc/getuniqueid.wq",
         "POST /svc/getuniqueid.wq HTTP/1.0\r\nConnection: keep-alive\r\nContent-Length: 7\r\n",
         "reg=get"},
        {"playlist", TRequestKind::Playlist, "/svc/getplaylist.wq",
         "POST /svc/getplaylist.wq HTTP/1.0\r\nConnection: keep-alive\r\n"
         "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
             QByteArray::number(kFiveLinesBody.size()) + "\r\n",
         kFiveLinesBody},
        {"sound file", TRequestKind::SoundFile, "/files/a%20b.mp3?v=1",
         "GET /files/a%20b.mp3?v=1 HTTP/1.1\r\n", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptedServer server;
        server.AddConnection({{Ok("answer")}});
        THttpClient client;
        // Credentials without a proxy server go nowhere.
        client.ProxyParams() = ProxyAt(QString(), 0, true);
        const TOutcome outcome = Request(client, c.Kind, Url(server.Port(), c.Path));
        EXPECT_EQ(outcome.Error, QString());
        EXPECT_EQ(outcome.Body, "answer");
        ASSERT_EQ(server.Requests().size(), 1u);
        EXPECT_EQ(server.Requests()[0], c.Head +
                                            "Host: 127.0.0.1:" + QByteArray::number(server.Port()) +
                                            "\r\n" + kAccept + kUserAgent + "\r\n" + c.Body);
    }
}

TEST(HttpRequest, TheThreeRequestsThroughAPlainProxy) {
    const struct {
        const char *Name;
        TRequestKind Kind;
        bool Credentials;
        QByteArray Head;
        QByteArray Body;
    } cases[] = {
        {"client id", TRequestKind::ClientId, false,
         "POST http://speech.example:8080/w/x.wq HTTP/1.0\r\nContent-Length: 7\r\n"
         "Proxy-Connection: keep-alive\r\n",
         "reg=get"},
        {"playlist with credentials", TRequestKind::Playlist, true,
         "POST http://speech.example:8080/w/x.wq HTTP/1.0\r\n"
         "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
             QByteArray::number(kFiveLinesBody.size()) + "\r\nProxy-Connection: keep-alive\r\n",
         kFiveLinesBody},
        {"sound file with credentials", TRequestKind::SoundFile, true,
         "GET http://speech.example:8080/w/x.wq HTTP/1.1\r\n", ""},
        {"sound file", TRequestKind::SoundFile, false,
         "GET http://speech.example:8080/w/x.wq HTTP/1.1\r\n", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptedServer proxy;
        proxy.AddConnection({{Ok("via proxy")}});
        THttpClient client;
        client.ProxyParams() = ProxyAt(QStringLiteral("127.0.0.1"), proxy.Port(), c.Credentials);
        const TOutcome outcome =
            Request(client, c.Kind, QStringLiteral("http://speech.example:8080/w/x.wq"));
        EXPECT_EQ(outcome.Body, "via proxy");
        ASSERT_EQ(proxy.Requests().size(), 1u);
        EXPECT_EQ(proxy.Requests()[0],
                  c.Head + "Host: speech.example:8080\r\n" + kAccept + kUserAgent +
                      (c.Credentials ? "Proxy-Authorization: Basic dTpw\r\n" : "") + "\r\n" +
                      c.Body);
    }
}

TEST_F(HttpTls, TheThreeRequestsThroughATunnel) {
    const struct {
        const char *Name;
        TRequestKind Kind;
        bool Credentials;
        QByteArray Version;
        QByteArray Head;
        QByteArray Body;
    } cases[] = {
        {"client id with credentials", TRequestKind::ClientId, true, "1.0",
         "POST /w/getuniqueid.wq HTTP/1.0\r\nContent-Length: 7\r\n", "reg=get"},
        {"playlist", TRequestKind::Playlist, false, "1.0",
         "POST /w/getuniqueid.wq HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
         "Content-Length: " +
             QByteArray::number(kFiveLinesBody.size()) + "\r\n",
         kFiveLinesBody},
        {"sound file with credentials", TRequestKind::SoundFile, true, "1.1",
         "GET /w/getuniqueid.wq HTTP/1.1\r\n", ""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptedServer proxy(Certificates->Localhost().CertFile,
                              Certificates->Localhost().KeyFile);
        proxy.AddConnection(
            {{"HTTP/1.1 200 Connection established\r\n\r\n", TEnd::StartTls}, {Ok("tunnelled")}});
        THttpClient client;
        client.ProxyParams() = ProxyAt(QStringLiteral("localhost"), proxy.Port(), c.Credentials);
        const TOutcome outcome =
            Request(client, c.Kind, QStringLiteral("https://localhost:8443/w/getuniqueid.wq"));
        EXPECT_EQ(outcome.Error, QString());
        EXPECT_EQ(outcome.Body, "tunnelled");
        const auto requests = proxy.Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0], "CONNECT localhost:8443 HTTP/" + c.Version +
                                   "\r\nPragma: no-cache\r\nProxy-Connection: keep-alive\r\n"
                                   "Host: localhost:8443\r\n" +
                                   kAccept + kUserAgent +
                                   (c.Credentials ? "Proxy-Authorization: Basic dTpw\r\n" : "") +
                                   "\r\n");
        // Inside the tunnel: no Connection, no Proxy-Connection, no proxy password.
        EXPECT_EQ(requests[1],
                  c.Head + "Host: localhost:8443\r\n" + kAccept + kUserAgent + "\r\n" + c.Body);
    }
}

TEST(HttpRequest, HostHeaderLeavesOutTheDefaultPort) {
    const struct {
        const char *Url;
        QByteArray Connect;
    } cases[] = {
        {"https://svc.example/x",
         "CONNECT svc.example:443 HTTP/1.1\r\n"
         "Pragma: no-cache\r\nProxy-Connection: keep-alive\r\nHost: svc.example\r\n"},
        {"https://svc.example:443/x",
         "CONNECT svc.example:443 HTTP/1.1\r\n"
         "Pragma: no-cache\r\nProxy-Connection: keep-alive\r\nHost: svc.example\r\n"},
        {"HTTPS://svc.example:8443/x",
         "CONNECT svc.example:8443 HTTP/1.1\r\n"
         "Pragma: no-cache\r\nProxy-Connection: keep-alive\r\nHost: svc.example:8443\r\n"},
        {"https://[::1]:80/x",
         "CONNECT [::1]:80 HTTP/1.1\r\n"
         "Pragma: no-cache\r\nProxy-Connection: keep-alive\r\nHost: [::1]:80\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Url);
        TScriptedServer proxy;
        proxy.AddConnection(
            {{"HTTP/1.1 407 Proxy Authentication Required\r\n"
              "Proxy-Authenticate: Basic realm=\"p\"\r\nContent-Length: 6\r\n\r\ndenied"}});
        THttpClient client;
        client.ProxyParams() = ProxyAt(QStringLiteral("127.0.0.1"), proxy.Port());
        const TOutcome outcome =
            Request(client, TRequestKind::SoundFile, QString::fromLatin1(c.Url));
        EXPECT_EQ(outcome.Error, QStringLiteral("HTTP/1.1 407 Proxy Authentication Required"));
        EXPECT_EQ(outcome.Code, 407);
        EXPECT_EQ(outcome.ErrorMessage, QStringLiteral("denied"));
        ASSERT_EQ(proxy.Requests().size(), 1u);
        EXPECT_EQ(proxy.Requests()[0], c.Connect + kAccept + kUserAgent + "\r\n");
    }
    // Plain http: port 80 is left out, any other kept.
    for (const auto &[url, host] :
         {std::pair{"http://h.example:80/", "Host: h.example\r\n"},
          std::pair{"http://h.example:443/", "Host: h.example:443\r\n"}}) {
        TScriptedServer proxy;
        proxy.AddConnection({{Ok("")}});
        THttpClient client;
        client.ProxyParams() = ProxyAt(QStringLiteral("127.0.0.1"), proxy.Port());
        EXPECT_EQ(Request(client, TRequestKind::SoundFile, QString::fromLatin1(url)).Error,
                  QString());
        ASSERT_EQ(proxy.Requests().size(), 1u);
        EXPECT_TRUE(proxy.Requests()[0].contains(host)) << proxy.Requests()[0].constData();
    }
}

TEST(HttpRequest, PostUsesVersionOneZeroOnlyWhileItRuns) {
    TScriptedServer server;
    server.AddConnection({{Ok("1")}});
    server.AddConnection({{Ok("2")}});
    THttpClient client;
    EXPECT_EQ(Request(client, TRequestKind::ClientId, Url(server.Port(), "/a")).Body, "1");
    EXPECT_EQ(Request(client, TRequestKind::SoundFile, Url(server.Port(), "/b")).Body, "2");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_TRUE(requests[0].startsWith("POST /a HTTP/1.0\r\nConnection: keep-alive\r\n"));
    EXPECT_TRUE(requests[1].startsWith("GET /b HTTP/1.1\r\nHost: "));
}

TEST(HttpRequest, RawPostSendsTheWholeStreamInPieces) {
    QByteArray bytes(100000, 'x');
    bytes[0] = 'A';
    QBuffer body(&bytes);
    body.open(QIODevice::ReadOnly);
    body.seek(500);
    TScriptedServer server;
    server.AddConnection({{Ok("done")}});
    THttpClient client;
    QByteArray answer;
    QBuffer response(&answer);
    response.open(QIODevice::WriteOnly);
    client.Post(Url(server.Port(), "/raw"), body, response);
    EXPECT_EQ(answer, "done");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_TRUE(server.Requests()[0].contains("Content-Length: 100000\r\n"));
    EXPECT_TRUE(server.Requests()[0].endsWith("\r\n\r\n" + bytes));
}

TEST(HttpRequest, FormBodyTrimsAndJoins) {
    const struct {
        QStringList Lines;
        QByteArray Body;
    } cases[] = {
        {{}, ""},
        {{QStringLiteral("a b")}, "a+b"},
        {{QStringLiteral("=x=y")}, "=x%3Dy"},
        {{QStringLiteral("noequals&")}, "noequals%26"},
        {{QString(), QStringLiteral("a=1"), QString()}, "a=1"},
        {{QStringLiteral("a=1"), QString(), QStringLiteral("b=2")}, "a=1&&b=2"},
    };
    for (const auto &c : cases) {
        TScriptedServer server;
        server.AddConnection({{Ok("")}});
        THttpClient client;
        QBuffer response;
        response.open(QIODevice::WriteOnly);
        client.Post(Url(server.Port(), "/f"), c.Lines, response);
        ASSERT_EQ(server.Requests().size(), 1u);
        EXPECT_TRUE(server.Requests()[0].endsWith(
            "Content-Length: " + QByteArray::number(c.Body.size()) + "\r\nHost: 127.0.0.1:" +
            QByteArray::number(server.Port()) + "\r\n" + kAccept + kUserAgent + "\r\n" + c.Body))
            << server.Requests()[0].constData();
    }
}

TEST(HttpRequest, BadUrlsAreRefusedBeforeAnythingIsSent) {
    TScriptedServer server;
    const QString base = Url(server.Port(), "/a");
    const struct {
        QString Url;
        QString Error;
    } cases[] = {
        {base + QStringLiteral(" HTTP/1.1\r\nX-Injected: 1"),
         QStringLiteral("The URL contains spaces or control characters.")},
        {base + QStringLiteral("\nb"),
         QStringLiteral("The URL contains spaces or control characters.")},
        {base + QChar(0) + u'b', QStringLiteral("The URL contains spaces or control characters.")},
        {base + QStringLiteral("\tb"),
         QStringLiteral("The URL contains spaces or control characters.")},
        {base + QStringLiteral("\x7f"),
         QStringLiteral("The URL contains spaces or control characters.")},
        {QStringLiteral("ftp://127.0.0.1/a"), QStringLiteral("Unknown Protocol")},
        {QStringLiteral("127.0.0.1/a"), QStringLiteral("Unknown Protocol")},
        {QStringLiteral("http://127.0.0.1:99999/a"), QStringLiteral("Invalid port number: 99999")},
        {QStringLiteral("http://127.0.0.1:-1/a"), QStringLiteral("Invalid port number: -1")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Url.toStdString());
        EXPECT_EQ(Get(c.Url).Error, c.Error);
    }
    EXPECT_TRUE(server.Requests().empty());
}

TEST(HttpRequest, SocketFailuresCarryTheWindowsNumber) {
    const int closedPort = FreeLoopbackPort();
    EXPECT_EQ(Get(Url(closedPort, "/")).Error,
              QStringLiteral("Socket Error # 10061\r\nConnection refused."));
    EXPECT_EQ(Get(QStringLiteral("http://LocalHost:%1/").arg(closedPort)).Error,
              QStringLiteral("Socket Error # 10061\r\nConnection refused."));
    // Proxy ports outside 1..65535 fail instead of wrapping round.
    for (const int port : {0, -1, 65536, 65536 + 80}) {
        THttpClient client;
        client.ProxyParams() = ProxyAt(QStringLiteral("127.0.0.1"), port);
        EXPECT_EQ(Request(client, TRequestKind::SoundFile, QStringLiteral("http://x/")).Error,
                  QStringLiteral("Socket Error # 10049\r\nCannot assign requested address."));
    }
}

// ---------------------------------------------------------------- answers

TEST(HttpAnswer, EdgeCases) {
    const QByteArray longLine(16385, 'a');
    QByteArray manyHeaders = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 100000; ++i) {
        manyHeaders += "X-Filler: " + QByteArray::number(i) + "\r\n";
    }
    QByteArray manyInterims;
    for (int i = 0; i < 1000; ++i) {
        manyInterims += "HTTP/1.1 100 Continue\r\n\r\n";
    }
    const struct {
        const char *Name;
        QByteArray Answer;
        QByteArray Body;
        QString Error;
    } cases[] = {
        {"content-length, closed after 600 of 1000 bytes",
         "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + QByteArray(600, 'b'),
         QByteArray(600, 'b'),
         {}},
        {"content-length stops reading",
         "HTTP/1.1 200 OK\r\ncontent-length: 3\r\n\r\nabcdef",
         "abc",
         {}},
        {"content-length 0", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", "", {}},
        {"content-length not a number reads to close",
         "HTTP/1.1 200 OK\r\nContent-Length: 12abc\r\n\r\nall of it",
         "all of it",
         {}},
        {"negative content-length reads to close",
         "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nxyz",
         "xyz",
         {}},
        {"content-length overflowing 63 bits",
         "HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775808\r\n\r\nx", "",
         QStringLiteral("Invalid Content-Length value.")},
        {"chunked with extensions and trailers",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n5;ext=1\r\nhello\r\n 6 \r\n "
         "world\r\n0\r\n"
         "Trailer-A: 1\r\n\r\n",
         "hello world",
         {}},
        {"chunked wins over content-length",
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nTransfer-Encoding: "
         "chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n",
         "abc",
         {}},
        {"chunked closed inside a chunk",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\na\r\nabc", "abc",
         QStringLiteral("Connection Closed Gracefully.")},
        {"chunked closed before the last chunk",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n", "abc",
         QStringLiteral("Connection Closed Gracefully.")},
        {"chunk size not hexadecimal",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n0\r\n\r\n", "",
         QStringLiteral("Invalid chunk size.")},
        {"chunk size with a sign", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n-1\r\n",
         "", QStringLiteral("Invalid chunk size.")},
        {"chunk size with a prefix",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0x3\r\nabc\r\n0\r\n\r\n", "",
         QStringLiteral("Invalid chunk size.")},
        {"empty chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n\r\n", "",
         QStringLiteral("Invalid chunk size.")},
        {"chunk size overflowing 63 bits",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8000000000000000\r\n", "",
         QStringLiteral("Invalid chunk size.")},
        {"largest chunk size that fits, then closed",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n7fffffffffffffff\r\nab", "ab",
         QStringLiteral("Connection Closed Gracefully.")},
        {"multipart up to its closing boundary",
         "HTTP/1.1 200 OK\r\nContent-Type: multipart/mixed; "
         "boundary=\"zz\"\r\n\r\n--zz\r\npart\r\n--zz--\r\nafter",
         "--zz\r\npart\r\n--zz--\r\n",
         {}},
        {"read to close", "HTTP/1.0 200 OK\r\n\r\nuntil the end", "until the end", {}},
        {"LF line ends", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", "ok", {}},
        {"100 before 200",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nbody",
         "body",
         {}},
        {"204 has no body", "HTTP/1.1 204 No Content\r\n\r\nignored", "", {}},
        {"empty answer", "", "", QStringLiteral("Connection Closed Gracefully.")},
        {"head cut short", "HTTP/1.1 200 OK\r\nContent-Le", "",
         QStringLiteral("Connection Closed Gracefully.")},
        {"status line too long", "HTTP/1.1 200 " + longLine + "\r\n\r\n", "",
         QStringLiteral("Max line length exceeded.")},
        {"header line too long", "HTTP/1.1 200 OK\r\nX: " + longLine + "\r\n\r\n", "",
         QStringLiteral("Max line length exceeded.")},
        {"line of exactly 16384 bytes",
         "HTTP/1.1 200 OK\r\nX: " + QByteArray(16381, 'a') + "\r\n\r\nfine",
         "fine",
         {}},
        {"endless header lines", manyHeaders, "", QStringLiteral("Too many header lines.")},
        {"endless interim answers", manyInterims, "", QStringLiteral("Too many interim answers.")},
        {"trailer lines past the limit",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\na\r\n0\r\n" +
             manyHeaders.mid(17),
         "a", QStringLiteral("Too many header lines.")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptedServer server;
        server.AddConnection({{c.Answer}});
        QByteArray body;
        QString error;
        THttpClient client;
        try {
            client.Get(Url(server.Port(), "/"),
                       [&body](const char *data, qint64 size) { body.append(data, size); });
        } catch (const Exception &e) {
            error = e.Message();
        }
        EXPECT_EQ(error, c.Error);
        EXPECT_EQ(body, c.Body);
    }
}

TEST(HttpAnswer, HeaderLinesAsRead) {
    TScriptedServer server;
    server.AddConnection({{"HTTP/1.1 200 Fine\r\nX-Long: first\r\n\tsecond\r\nX-Byte: a\xe6z\r\n"
                           "Set-Cookie: a=1\r\nTransfer-Encoding: "
                           "chunked\r\n\r\n2\r\nok\r\n0\r\nX-Trailer: t\r\n\r\n"}});
    THttpClient client;
    QBuffer response;
    response.open(QIODevice::WriteOnly);
    client.Get(Url(server.Port(), "/"), response);
    const THttpAnswer &answer = client.Response();
    EXPECT_EQ(answer.StatusLine, QStringLiteral("HTTP/1.1 200 Fine"));
    EXPECT_EQ(answer.StatusCode, 200);
    EXPECT_EQ(answer.Header(QStringLiteral("x-long")), QStringLiteral("first second"));
    EXPECT_EQ(answer.Header(QStringLiteral("X-Byte")), QStringLiteral("a\ufffdz"));
    EXPECT_EQ(answer.Header(QStringLiteral("X-Trailer")), QStringLiteral("t"));
}

TEST(HttpAnswer, NonSuccessIsAProtocolErrorWithTheBodyAsText) {
    const struct {
        const char *Name;
        QByteArray Answer;
        QString StatusLine;
        int Code;
        QString Text;
    } cases[] = {
        {"301 is not followed",
         "HTTP/1.1 301 Moved Permanently\r\nLocation: http://127.0.0.1:1/\r\nContent-Length: "
         "5\r\n\r\nmoved",
         QStringLiteral("HTTP/1.1 301 Moved Permanently"), 301, QStringLiteral("moved")},
        {"404, text without charset is ISO-8859-1",
         "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\n\r\nn\xe6j",
         QStringLiteral("HTTP/1.1 404 Not Found"), 404, QStringLiteral("n\u00e6j")},
        {"500 with utf-8",
         "HTTP/1.1 500 Oops\r\nContent-Type: text/html; charset=UTF-8\r\nContent-Length: "
         "4\r\n\r\nn\xc3\xa6j",
         QStringLiteral("HTTP/1.1 500 Oops"), 500, QStringLiteral("n\u00e6j")},
        {"xml without charset is us-ascii",
         "HTTP/1.1 503 Busy\r\nContent-Type: application/xml\r\n\r\n<\xe6/>",
         QStringLiteral("HTTP/1.1 503 Busy"), 503, QStringLiteral("<\ufffd/>")},
        {"windows-1252",
         "HTTP/1.1 400 Bad\r\nContent-Type: text/plain; charset=windows-1252\r\n\r\n\x80",
         QStringLiteral("HTTP/1.1 400 Bad"), 400, QStringLiteral("\u20ac")},
        {"304 is an error too", "HTTP/1.1 304 Not Modified\r\nContent-Length: 0\r\n\r\n",
         QStringLiteral("HTTP/1.1 304 Not Modified"), 304, QString()},
        {"status that is not a number", "HTTP/1.1 2OO OK\r\nContent-Length: 0\r\n\r\n",
         QStringLiteral("HTTP/1.1 2OO OK"), -1, QString()},
        {"101 is no interim answer", "HTTP/1.1 101 Switching Protocols\r\n\r\n",
         QStringLiteral("HTTP/1.1 101 Switching Protocols"), 101, QString()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptedServer server;
        server.AddConnection({{c.Answer}});
        const TOutcome outcome = Get(Url(server.Port(), "/"));
        EXPECT_EQ(outcome.Error, c.StatusLine);
        EXPECT_EQ(outcome.Code, c.Code);
        EXPECT_EQ(outcome.ErrorMessage, c.Text);
        EXPECT_TRUE(outcome.Body.isEmpty());
    }
}

TEST(HttpAnswer, BodyStreamsIntoAFile) {
    QByteArray big(3 * 1024 * 1024 + 7, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>(i * 7 + i / 4096);
    }
    TScriptedServer server;
    server.AddConnection({{Ok(big)}});
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    THttpClient client;
    client.Get(Url(server.Port(), "/big.mp3"), file);
    file.seek(0);
    EXPECT_EQ(file.readAll(), big);
}

TEST(HttpAnswer, AStreamThatCannotBeWrittenFails) {
    TScriptedServer server;
    server.AddConnection({{Ok("data")}});
    QBuffer closed;
    THttpClient client;
    try {
        client.Get(Url(server.Port(), "/"), closed);
        FAIL() << "no error";
    } catch (const Exception &error) {
        EXPECT_TRUE(error.Message().startsWith(QStringLiteral("Cannot write the answer:")));
    }
}

// ---------------------------------------------------------------- TLS

TEST_F(HttpTls, TrustedCertificateForAddressAndName) {
    for (const char *host : {"127.0.0.1", "localhost", "LOCALHOST"}) {
        SCOPED_TRACE(host);
        TScriptedServer server(Certificates->Localhost().CertFile,
                               Certificates->Localhost().KeyFile, true);
        server.AddConnection({{Ok("secret")}});
        const TOutcome outcome =
            Get(QStringLiteral("https://%1:%2/x").arg(QLatin1String(host)).arg(server.Port()));
        EXPECT_EQ(outcome.Error, QString());
        EXPECT_EQ(outcome.Body, "secret");
    }
}

TEST_F(HttpTls, UntrustedCertificatesFail) {
    const struct {
        const char *Name;
        const TCertificateFiles &Files;
    } cases[] = {
        {"self-signed", Certificates->SelfSigned()},
        {"expired", Certificates->Expired()},
        {"another host", Certificates->OtherHost()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptedServer server(c.Files.CertFile, c.Files.KeyFile, true);
        server.AddConnection({{Ok("secret")}});
        const TOutcome outcome = Get(Url(server.Port(), "/x", "https"));
        EXPECT_TRUE(outcome.Error.startsWith(QStringLiteral("Error connecting with SSL.\r\n")))
            << outcome.Error.toStdString();
        EXPECT_TRUE(outcome.Body.isEmpty());
        EXPECT_TRUE(server.Requests().empty());
    }
}

TEST_F(HttpTls, CertificateForANameDoesNotCoverTheAddress) {
    TScriptedServer server(Certificates->OtherHost().CertFile, Certificates->OtherHost().KeyFile,
                           true);
    server.AddConnection({{Ok("x")}});
    EXPECT_TRUE(Get(Url(server.Port(), "/", "https"))
                    .Error.startsWith(QStringLiteral("Error connecting with SSL.")));
}

TEST_F(HttpTls, AServerThatStopsAnsweringTimesOut) {
    TScriptedServer server(Certificates->Localhost().CertFile, Certificates->Localhost().KeyFile,
                           true);
    server.AddConnection({{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npart", TEnd::Hang}});
    THttpClient client;
    client.SetTlsTimeLimit(1000);
    QByteArray body;
    try {
        client.Get(Url(server.Port(), "/", "https"),
                   [&body](const char *data, qint64 size) { body.append(data, size); });
        FAIL() << "no error";
    } catch (const Exception &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Read timed out."));
    }
    EXPECT_EQ(body, "part");
}

TEST_F(HttpTls, EndWithoutCloseNotify) {
    const struct {
        const char *Name;
        QByteArray Answer;
        TEnd End;
        QByteArray Body;
        QString Error;
    } cases[] = {
        {"content-length: what arrived is the body",
         "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc",
         TEnd::CutTls,
         "abc",
         {}},
        {"read to close", "HTTP/1.1 200 OK\r\n\r\nabc", TEnd::CutTls, "abc",
         QStringLiteral("EOF was observed that violates the protocol")},
        {"inside a chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n9\r\nabc",
         TEnd::CutTls, "abc", QStringLiteral("Connection Closed Gracefully.")},
        {"read to close, ended properly", "HTTP/1.1 200 OK\r\n\r\nabc", TEnd::Close, "abc", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptedServer server(Certificates->Localhost().CertFile,
                               Certificates->Localhost().KeyFile, true);
        server.AddConnection({{c.Answer, c.End}});
        const TOutcome outcome = Get(Url(server.Port(), "/", "https"));
        EXPECT_EQ(outcome.Error, c.Error);
        EXPECT_EQ(outcome.Body, c.Body); // what arrived before the error stays in the stream
    }
}

TEST_F(HttpTls, ConnectAnswers) {
    const struct {
        const char *Name;
        QByteArray Answer;
        QString Error;
        int Code;
        bool Credentials;
    } cases[] = {
        {"an empty line is taken as 200", "\r\n", {}, 0, false},
        {"407 without credentials",
         "HTTP/1.0 407 Proxy Authentication Required\r\n"
         "Proxy-Authenticate: Basic realm=\"x\"\r\n\r\nno",
         QStringLiteral("HTTP/1.0 407 Proxy Authentication Required"), 407, false},
        {"407 after credentials fails as well",
         "HTTP/1.0 407 Proxy Authentication Required\r\n\r\n",
         QStringLiteral("HTTP/1.0 407 Proxy Authentication Required"), 407, true},
        {"status from the first line only",
         "HTTP/1.1 403 Forbidden\r\nX-Status: 200 OK\r\nContent-Length: 0\r\n\r\n",
         QStringLiteral("HTTP/1.1 403 Forbidden"), 403, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        TScriptedServer proxy(Certificates->Localhost().CertFile,
                              Certificates->Localhost().KeyFile);
        proxy.AddConnection(
            {{c.Answer, c.Error.isEmpty() ? TEnd::StartTls : TEnd::Close}, {Ok("inside")}});
        THttpClient client;
        client.ProxyParams() = ProxyAt(QStringLiteral("127.0.0.1"), proxy.Port(), c.Credentials);
        const TOutcome outcome =
            Request(client, TRequestKind::SoundFile, QStringLiteral("https://127.0.0.1:9/f"));
        EXPECT_EQ(outcome.Error, c.Error);
        EXPECT_EQ(outcome.Code, c.Code);
        EXPECT_EQ(outcome.Body, c.Error.isEmpty() ? QByteArray("inside") : QByteArray());
    }
}

TEST_F(HttpTls, APeerThatClosesDuringTheBodyRaisesNoSignal) {
    QByteArray bytes(static_cast<qsizetype>(8) * 1024 * 1024, 'z');
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "TLS" : "plain");
        TScriptedServer server(Certificates->Localhost().CertFile,
                               Certificates->Localhost().KeyFile, tls);
        server.AddConnection({{"HTTP/1.1 413 Too Large\r\n\r\n", TEnd::Close, false}});
        THttpClient client;
        QBuffer body(&bytes);
        body.open(QIODevice::ReadOnly);
        QBuffer response;
        response.open(QIODevice::WriteOnly);
        // The write fails (or the 413 is read first): an error, and the process lives on.
        EXPECT_THROW(client.Post(Url(server.Port(), "/", tls ? "https" : "http"), body, response),
                     Exception);
    }
}

TEST_F(HttpTls, SeveralClientsAtOnce) {
    constexpr int kClients = 4;
    TScriptedServer server(Certificates->Localhost().CertFile, Certificates->Localhost().KeyFile,
                           true);
    for (int i = 0; i < kClients; ++i) {
        server.AddConnection({{Ok(QByteArray(70000, 'p'))}});
    }
    std::vector<TOutcome> outcomes(kClients);
    std::vector<std::thread> threads;
    threads.reserve(kClients);
    for (int i = 0; i < kClients; ++i) {
        threads.emplace_back(
            [&outcomes, &server, i] { outcomes[i] = Get(Url(server.Port(), "/p", "https")); });
    }
    for (auto &thread : threads) {
        thread.join();
    }
    for (const TOutcome &outcome : outcomes) {
        EXPECT_EQ(outcome.Error, QString());
        EXPECT_EQ(outcome.Body.size(), 70000);
    }
}

} // namespace
