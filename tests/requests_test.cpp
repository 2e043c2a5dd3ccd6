// The speech service requests and the HTTP client factory against a scripted
// server on loopback: the doubly encoded playlist form byte for byte, the playlist
// split, sound files streamed into an exclusively held file, the client-id request
// that never fails, and the proxy settings as they reach a (scripted) proxy.
#include "http/HttpClient.h"
#include "sv.Exceptions.h"
#include "sv.HttpCreator.h"
#include "sv.RequestsToServer.h"

#include "support/ScriptedServer.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <atomic>
#include <optional>
#include <thread>
#include <vector>

namespace {

using TEnd = TScriptedExchange::TEnd;

QByteArray Ok(const QByteArray &body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" +
           body;
}

QString Base(int port) {
    return QStringLiteral("http://127.0.0.1:%1/svc/").arg(port);
}

THttpCreatorFunction Direct() {
    return [] { return std::make_unique<THttpClient>(); };
}

QByteArray BodyOf(const QByteArray &request) {
    return request.mid(request.indexOf("\r\n\r\n") + 4);
}

// What the service receives for SendText with this text, pitch 3, speed 5, client
// id {id} and system "Linux 6".
QByteArray PlaylistBody(const QString &text) {
    TScriptedServer server;
    server.AddConnection({{Ok("u1")}});
    (void)TRequestsToServer::SendText(Direct(), Base(server.Port()), text, QStringLiteral("{id}"),
                                      QStringLiteral("5"), QStringLiteral("3"),
                                      QStringLiteral("Linux 6"));
    return server.Requests().empty() ? QByteArray() : BodyOf(server.Requests()[0]);
}

TEST(SendText, TextIsEncodedTwice) {
    const struct {
        QString Text;
        QByteArray OnTheWire;
    } cases[] = {
        {QStringLiteral("abc æ"), "abc%2520%25C3%25A6"},
        {QStringLiteral("a&b=c+d"), "a%26b%3Dc%2Bd"},
        {QStringLiteral("50%41 x"), "50%2541%2520x"},
        {QStringLiteral("100% sikker\r\n"), "100%2525%2520sikker%250D%250A"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(qPrintable(c.Text));
        EXPECT_EQ(PlaylistBody(c.Text), "text=" + c.OnTheWire +
                                            "&pitch=3&speed=5&clientid=%257Bid%257D"
                                            "&system=Linux%25206");
    }
}

TEST(SendText, WholeRequestGoesToThePlaylistEndpoint) {
    TScriptedServer server;
    server.AddConnection({{Ok("u1")}});
    (void)TRequestsToServer::SendText(Direct(), Base(server.Port()), QStringLiteral("Hej"),
                                      QStringLiteral("id"), QStringLiteral("5"),
                                      QStringLiteral("2"), QStringLiteral("Debian"));
    ASSERT_EQ(server.Requests().size(), 1u);
    const QByteArray request = server.Requests()[0];
    const QByteArray body = "text=Hej&pitch=2&speed=5&clientid=id&system=Debian";
    EXPECT_TRUE(request.startsWith("POST /svc/getplaylist.wq HTTP/1.0\r\n")) << request.constData();
    EXPECT_TRUE(request.contains("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
    EXPECT_TRUE(
        request.contains("\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n"));
    EXPECT_EQ(BodyOf(request), body);
}

TEST(SendText, PlaylistIsTheAnswerSplitAtEveryComma) {
    const struct {
        QByteArray Answer;
        QStringList Playlist;
    } cases[] = {
        {"u1,u2,u3", {"u1", "u2", "u3"}},
        {"u1,,u2", {"u1", "", "u2"}},
        {"u1,u2,", {"u1", "u2", ""}},
        {"u1,u2\r\n", {"u1", "u2\r\n"}},
        {" u1 ", {" u1 "}},
        {"", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Answer.constData());
        TScriptedServer server;
        server.AddConnection({{Ok(c.Answer)}});
        EXPECT_EQ(TRequestsToServer::SendText(Direct(), Base(server.Port()), QStringLiteral("t"),
                                              QStringLiteral("id"), QStringLiteral("5"),
                                              QStringLiteral("2"), QStringLiteral("os")),
                  c.Playlist);
    }
}

TEST(SendText, ErrorAnswerRaisesTheStatusLine) {
    TScriptedServer server;
    server.AddConnection({{"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n"}});
    try {
        (void)TRequestsToServer::SendText(Direct(), Base(server.Port()), QStringLiteral("t"),
                                          QStringLiteral("id"), QStringLiteral("5"),
                                          QStringLiteral("2"), QStringLiteral("os"));
        FAIL() << "no error";
    } catch (const Exception &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("HTTP/1.1 500 Internal Server Error"));
    }
}

TEST(GetUniqueID, SendsSevenBytesAndNeverFails) {
    TScriptedServer server;
    server.AddConnection({{Ok("{0F8F}\r\n")}});
    EXPECT_EQ(TRequestsToServer::GetUniqueID(Direct(), Base(server.Port())),
              QStringLiteral("{0F8F}\r\n")); // the line end is kept
    ASSERT_EQ(server.Requests().size(), 1u);
    const QByteArray request = server.Requests()[0];
    EXPECT_TRUE(request.startsWith("POST /svc/getuniqueid.wq HTTP/1.0\r\n"));
    EXPECT_TRUE(request.contains("\r\nContent-Length: 7\r\n"));
    EXPECT_FALSE(request.contains("Content-Type"));
    EXPECT_EQ(BodyOf(request), "reg=get");

    TScriptedServer failing;
    failing.AddConnection(
        {{"HTTP/1.1 500 Internal Server Error\r\nContent-Length: 4\r\n\r\noops"}});
    EXPECT_EQ(TRequestsToServer::GetUniqueID(Direct(), Base(failing.Port())), QString());
    EXPECT_EQ(TRequestsToServer::GetUniqueID(Direct(), Base(FreeLoopbackPort())), QString());
    const THttpCreatorFunction broken = []() -> std::unique_ptr<THttpClient> {
        throw Exception(QStringLiteral("no client"));
    };
    EXPECT_EQ(TRequestsToServer::GetUniqueID(broken, Base(server.Port())), QString());
}

TEST(GetUniqueID, AnswerBytesAreWindows1252) {
    TScriptedServer server;
    server.AddConnection({{Ok("bl\xE5")}});
    EXPECT_EQ(TRequestsToServer::GetUniqueID(Direct(), Base(server.Port())), QStringLiteral("blå"));
}

class GetSoundFileTest : public ::testing::Test {
protected:
    TempHome Home;
    QString Dest = Home.Path() + QStringLiteral("/part0.mp3");
};

TEST_F(GetSoundFileTest, BodyLandsWholeInTheFile) {
    QByteArray body(qsizetype{5} * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < body.size(); ++i) {
        body[i] = static_cast<char>(i * 7 + i / 4096);
    }
    WriteBytes(Dest, "old content that must go");
    TScriptedServer server;
    server.AddConnection({{Ok(body)}});
    TRequestsToServer::GetSoundFile(Direct(), Base(server.Port()) + QStringLiteral("a.mp3"), Dest);
    EXPECT_TRUE(ReadBytes(Dest) == body);
}

TEST_F(GetSoundFileTest, BodyStreamsIntoTheFileAsItArrives) {
    const QByteArray part(qsizetype{1024} * 1024, 'x');
    std::optional<TScriptedServer> server(std::in_place);
    // Announces 5 MB, sends 1 MB, then stays silent until the server stops.
    server->AddConnection(
        {{"HTTP/1.1 200 OK\r\nContent-Length: 5242880\r\n\r\n" + part, TEnd::Hang}});
    const QString url = Base(server->Port()) + QStringLiteral("a.mp3");
    std::thread download([&] { TRequestsToServer::GetSoundFile(Direct(), url, Dest); });
    for (int i = 0; i < 3000 && QFileInfo(Dest).size() < part.size(); ++i) {
        QThread::msleep(10);
    }
    EXPECT_EQ(QFileInfo(Dest).size(), part.size()); // on disk before the body has ended
    server.reset(); // the peer closes: a body cut short counts as received
    download.join();
    EXPECT_EQ(ReadBytes(Dest), part);
}

TEST_F(GetSoundFileTest, Failures) {
    TScriptedServer server;
    server.AddConnection({{"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found"}});
    const QString url = Base(server.Port()) + QStringLiteral("a.mp3");
    try {
        TRequestsToServer::GetSoundFile(Direct(), url, Dest);
        ADD_FAILURE() << "no error";
    } catch (const Exception &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("HTTP/1.1 404 Not Found"));
    }
    EXPECT_TRUE(QFile::exists(Dest));
    EXPECT_EQ(QFileInfo(Dest).size(), 0);

    const QString missing = Home.Path() + QStringLiteral("/no-folder/part0.mp3");
    try {
        TRequestsToServer::GetSoundFile(Direct(), url, missing);
        ADD_FAILURE() << "no error";
    } catch (const Exception &error) {
        EXPECT_EQ(
            error.Message(),
            QStringLiteral("Cannot create file \"%1\". No such file or directory").arg(missing));
    }
}

TEST_F(GetSoundFileTest, SecondWriterOfTheSameNameFails) {
    std::optional<TScriptedServer> server(std::in_place);
    server->AddConnection(
        {{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nfirst part", TEnd::Hang}});
    const QString url = Base(server->Port()) + QStringLiteral("a.mp3");
    std::thread first([&] {
        try {
            TRequestsToServer::GetSoundFile(Direct(), url, Dest);
        } catch (const Exception &) {
        }
    });
    for (int i = 0; i < 3000 && QFileInfo(Dest).size() == 0; ++i) {
        QThread::msleep(10);
    }
    try {
        TRequestsToServer::GetSoundFile(Direct(), url, Dest);
        ADD_FAILURE() << "no error";
    } catch (const Exception &error) {
        EXPECT_TRUE(error.Message().startsWith(QStringLiteral("Cannot create file \"") + Dest))
            << qPrintable(error.Message());
    }
    EXPECT_EQ(ReadBytes(Dest), "first part"); // the first writer's file was not emptied
    server.reset();
    first.join();
}

TEST(StrToPort, StandardIntegerConversion) {
    const struct {
        const char *Text;
        std::optional<qint32> Port;
    } cases[] = {
        {"8080", 8080},          {" 8080", 8080},         {"$1F90", 8080},
        {"0x1F90", 8080},        {"0X1f90", 8080},        {"x1F90", 8080},
        {"X1F90", 8080},         {"+8080", 8080},         {"-1", -1},
        {"8080 ", std::nullopt}, {"8080x", std::nullopt}, {"abc", std::nullopt},
        {"", std::nullopt},      {"0x", std::nullopt},    {"99999999999", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(StrToPort(QString::fromLatin1(c.Text)), c.Port);
    }
}

// A target server and a scripted proxy: where a GET made through the factory lands.
class HttpCreatorTest : public ::testing::Test {
protected:
    TScriptedServer Target;
    std::optional<TScriptedServer> ProxyServer{std::in_place};
    TScriptedServer &Proxy = *ProxyServer;
    QString Url = QStringLiteral("http://127.0.0.1:%1/a.mp3").arg(Target.Port());

    TAppConfig Settings(bool useProxy, const QString &host, const QString &port) {
        TAppConfig config;
        config.UseProxy = useProxy;
        config.Proxy_hostname = host;
        config.Proxy_port = port;
        return config;
    }

    // The request as the proxy saw it, or empty when it went direct to the target.
    QByteArray ThroughProxy(const THttpCreator &creator) {
        const size_t before = Proxy.Requests().size();
        Target.AddConnection({{Ok("direct")}});
        Proxy.AddConnection({{Ok("proxied")}});
        QByteArray body;
        const std::unique_ptr<THttpClient> client = creator.CreateIdHttp();
        client->Get(Url, [&body](const char *data, qint64 size) { body.append(data, size); });
        const auto requests = Proxy.Requests();
        if (requests.size() > before) {
            EXPECT_EQ(body, "proxied");
            return requests.back();
        }
        EXPECT_EQ(body, "direct");
        return {};
    }
};

TEST_F(HttpCreatorTest, ProxySettingsAsTheyReachTheWire) {
    const QString port = QString::number(Proxy.Port());
    const QString hex = QString::number(Proxy.Port(), 16).toUpper();
    const struct {
        const char *Name;
        TAppConfig Config;
        bool Proxied;
    } cases[] = {
        {"decimal", Settings(true, QStringLiteral("127.0.0.1"), port), true},
        {"$ hexadecimal", Settings(true, QStringLiteral("127.0.0.1"), u'$' + hex), true},
        {"0x hexadecimal", Settings(true, QStringLiteral("127.0.0.1"), QStringLiteral("0x") + hex),
         true},
        {"leading space", Settings(true, QStringLiteral("127.0.0.1"), u' ' + port), true},
        {"trailing space", Settings(true, QStringLiteral("127.0.0.1"), port + u' '), false},
        {"trailing letter", Settings(true, QStringLiteral("127.0.0.1"), port + u'x'), false},
        {"not a number", Settings(true, QStringLiteral("127.0.0.1"), QStringLiteral("abc")), false},
        {"empty port", Settings(true, QStringLiteral("127.0.0.1"), QString()), false},
        {"empty host", Settings(true, QString(), port), false},
        {"proxy off", Settings(false, QStringLiteral("127.0.0.1"), port), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        const QByteArray request = ThroughProxy(THttpCreator(c.Config));
        EXPECT_EQ(!request.isEmpty(), c.Proxied);
        if (c.Proxied) {
            EXPECT_TRUE(request.startsWith("GET " + Url.toLatin1() + " HTTP/1.1\r\n"))
                << request.constData();
            EXPECT_FALSE(request.contains("Proxy-Authorization"));
        }
    }
}

TEST_F(HttpCreatorTest, CredentialsGoToTheProxyWhenAskedFor) {
    const struct {
        QString User;
        QString Password;
        QByteArray Header;
    } cases[] = {
        {QStringLiteral("u"), QStringLiteral("p"), "Proxy-Authorization: Basic dTpw\r\n"},
        {QString(), QString(), "Proxy-Authorization: Basic Og==\r\n"},
    };
    for (const auto &c : cases) {
        TAppConfig config =
            Settings(true, QStringLiteral("127.0.0.1"), QString::number(Proxy.Port()));
        config.Use_User = true;
        config.Proxy_User = c.User;
        config.Proxy_Userpass = c.Password;
        EXPECT_TRUE(ThroughProxy(THttpCreator(config)).contains(c.Header));
    }
}

TEST_F(HttpCreatorTest, OutOfRangePortFailsTheConnection) {
    const THttpCreator creator(
        Settings(true, QStringLiteral("127.0.0.1"), QStringLiteral("70000")));
    const std::unique_ptr<THttpClient> client = creator.CreateIdHttp();
    EXPECT_THROW(client->Get(Url, [](const char *, qint64) {}), Exception);
    EXPECT_TRUE(Target.Requests().empty());
}

TEST_F(HttpCreatorTest, UpdateConfigLeavesARunningDownloadOnItsProxy) {
    THttpCreator creator(
        Settings(true, QStringLiteral("127.0.0.1"), QString::number(Proxy.Port())));
    Proxy.AddConnection({{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nslow", TEnd::Hang}});
    std::unique_ptr<THttpClient> running = creator.CreateIdHttp();
    QByteArray runningBody;
    std::thread download([&] {
        try {
            running->Get(Url,
                         [&](const char *data, qint64 size) { runningBody.append(data, size); });
        } catch (const Exception &) {
        }
    });
    for (int i = 0; i < 3000 && Proxy.Requests().empty(); ++i) {
        QThread::msleep(10);
    }
    creator.UpdateConfig(Settings(false, QString(), QString()));
    EXPECT_TRUE(ThroughProxy(creator).isEmpty()); // the next request goes direct
    ProxyServer.reset();
    download.join();
    EXPECT_EQ(runningBody, "slow");
}

TEST(HttpCreatorThreads, ClientsSeeWholeSettingsWhileTheyChange) {
    TAppConfig a;
    a.UseProxy = true;
    a.Proxy_hostname = QStringLiteral("proxy-a");
    a.Proxy_port = QStringLiteral("1111");
    a.Use_User = true;
    a.Proxy_User = QStringLiteral("user-a");
    TAppConfig b = a;
    b.Proxy_hostname = QStringLiteral("proxy-b");
    b.Proxy_port = QStringLiteral("2222");
    b.Proxy_User = QStringLiteral("user-b");
    THttpCreator creator(a);
    std::atomic<bool> stop{false};
    std::atomic<int> mixed{0};
    std::vector<std::thread> workers;
    workers.reserve(4);
    for (int t = 0; t < 4; ++t) {
        workers.emplace_back([&] {
            while (!stop) {
                const std::unique_ptr<THttpClient> client = creator.CreateIdHttp();
                const TProxyParams &p = client->ProxyParams();
                const bool isA = p.ProxyServer == QStringLiteral("proxy-a") &&
                                 p.ProxyPort == 1111 && p.ProxyUsername == QStringLiteral("user-a");
                const bool isB = p.ProxyServer == QStringLiteral("proxy-b") &&
                                 p.ProxyPort == 2222 && p.ProxyUsername == QStringLiteral("user-b");
                mixed += (isA || isB) ? 0 : 1;
            }
        });
    }
    for (int i = 0; i < 2000; ++i) {
        creator.UpdateConfig(i % 2 == 0 ? b : a);
    }
    stop = true;
    for (std::thread &worker : workers) {
        worker.join();
    }
    EXPECT_EQ(mixed, 0);
}

} // namespace
