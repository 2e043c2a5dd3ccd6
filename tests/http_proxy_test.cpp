// THttpClient through a real HTTP proxy (tinyproxy on loopback, Basic
// authentication): plain requests and CONNECT tunnels, with and without
// credentials.
#include "http/HttpClient.h"
#include "http/HttpErrors.h"

#include "support/ScriptedServer.h"
#include "support/TestCertificates.h"
#include "support/TinyProxy.h"

#include <QBuffer>

#include <gtest/gtest.h>

#include <optional>

namespace {

using TEnd = TScriptedExchange::TEnd;

struct TOutcome {
    QByteArray Body;
    QString Error;
    int Code = 0;
};

TOutcome GetThrough(const TTinyProxy &proxy, const QString &url, bool credentials,
                    const QString &password = QStringLiteral("s3cret")) {
    THttpClient client;
    client.ProxyParams().ProxyServer = QStringLiteral("127.0.0.1");
    client.ProxyParams().ProxyPort = proxy.Port();
    client.ProxyParams().BasicAuthentication = credentials;
    client.ProxyParams().ProxyUsername = QStringLiteral("sonavik");
    client.ProxyParams().ProxyPassword = password;
    TOutcome outcome;
    try {
        client.Get(url,
                   [&outcome](const char *data, qint64 size) { outcome.Body.append(data, size); });
    } catch (const EHttpProtocolError &error) {
        outcome.Error = error.Message();
        outcome.Code = error.ErrorCode();
    } catch (const Exception &error) {
        outcome.Error = error.Message();
    }
    return outcome;
}

class HttpProxy : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Certificates.emplace();
        qputenv("SSL_CERT_FILE", Certificates->CaFile().toUtf8());
        Proxy.emplace(QStringLiteral("sonavik"), QStringLiteral("s3cret"));
    }
    static void TearDownTestSuite() {
        Proxy.reset();
        Certificates.reset();
    }
    static inline std::optional<TTestCertificates> Certificates;
    static inline std::optional<TTinyProxy> Proxy;
};

TEST_F(HttpProxy, PlainRequestWithCredentials) {
    TScriptedServer server;
    server.AddConnection({{"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nplain"}});
    const TOutcome outcome = GetThrough(
        *Proxy, QStringLiteral("http://127.0.0.1:%1/files/a.mp3").arg(server.Port()), true);
    EXPECT_EQ(outcome.Error, QString()) << Proxy->Log().toStdString();
    EXPECT_EQ(outcome.Body, "plain");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_TRUE(server.Requests()[0].startsWith("GET /files/a.mp3 HTTP/1."))
        << server.Requests()[0].constData();
}

TEST_F(HttpProxy, TunnelWithCredentials) {
    TScriptedServer server(Certificates->Localhost().CertFile, Certificates->Localhost().KeyFile,
                           true);
    server.AddConnection({{"HTTP/1.1 200 OK\r\nContent-Length: 8\r\n\r\ntunnel!!"}});
    const TOutcome outcome =
        GetThrough(*Proxy, QStringLiteral("https://127.0.0.1:%1/x.mp3").arg(server.Port()), true);
    EXPECT_EQ(outcome.Error, QString()) << Proxy->Log().toStdString();
    EXPECT_EQ(outcome.Body, "tunnel!!");
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_FALSE(server.Requests()[0].contains("Proxy-Authorization"));
    EXPECT_FALSE(server.Requests()[0].contains("s3cret"));
}

// tinyproxy asks for credentials with 407 and refuses wrong ones with 401: both fail.
TEST_F(HttpProxy, MissingOrWrongCredentialsFail) {
    TScriptedServer server;
    const QString plain = QStringLiteral("http://127.0.0.1:%1/").arg(server.Port());
    const QString tunnel = QStringLiteral("https://127.0.0.1:%1/").arg(server.Port());
    const struct {
        const char *Name;
        QString Url;
        QString Password; // empty: no credentials sent
        int Code;
    } cases[] = {
        {"plain, none", plain, {}, 407},
        {"plain, wrong", plain, QStringLiteral("wrong"), 401},
        {"tunnel, none", tunnel, {}, 407},
        {"tunnel, wrong", tunnel, QStringLiteral("wrong"), 401},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        const TOutcome outcome = GetThrough(*Proxy, c.Url, !c.Password.isEmpty(), c.Password);
        EXPECT_EQ(outcome.Code, c.Code) << outcome.Error.toStdString();
        EXPECT_TRUE(outcome.Error.contains(u' ' + QString::number(c.Code) + u' '));
        EXPECT_TRUE(outcome.Body.isEmpty());
    }
    EXPECT_TRUE(server.Requests().empty());
}

} // namespace
