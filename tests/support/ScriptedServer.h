// ScriptedServer: an in-process HTTP server on a free loopback port for tests of
// the HTTP client. Each accepted connection takes the next scripted list of
// exchanges; an exchange reads one request (head, and a body by Content-Length),
// records its exact bytes, sends scripted answer bytes and then closes, goes on,
// starts TLS (after a CONNECT), hangs until the server stops, or cuts a TLS
// stream without close_notify. Serves on its own thread; the test thread scripts
// it and reads what it recorded.
#pragma once

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

struct ssl_ctx_st;

struct TScriptedExchange {
    enum class TEnd {
        Close,    // close the connection (with close_notify on TLS)
        Continue, // go on with the next exchange on the same connection
        StartTls, // start TLS as the server, then the next exchange
        Hang,     // keep the connection open, silent, until the server stops
        CutTls,   // close the socket without close_notify
    };
    QByteArray Answer;
    TEnd End = TEnd::Close;
    bool ReadRequest = true;
};

class TScriptedServer final {
public:
    // certFile/keyFile: the server's TLS identity; tls: speak TLS from the start.
    explicit TScriptedServer(const QString &certFile = {}, const QString &keyFile = {},
                             bool tls = false);
    ~TScriptedServer();
    TScriptedServer(const TScriptedServer &) = delete;
    TScriptedServer &operator=(const TScriptedServer &) = delete;

    // The exchanges of the next connection.
    void AddConnection(std::vector<TScriptedExchange> exchanges);
    [[nodiscard]] int Port() const { return FPort; }
    // Every request read so far, in order, byte for byte.
    [[nodiscard]] std::vector<QByteArray> Requests() const;
    // Waits until the server has served its scripted connections (or 30 s).
    void WaitUntilServed() const;

private:
    class TConnection;
    void Serve();
    void ServeConnection(int fd, const std::vector<TScriptedExchange> &exchanges);
    void Record(const QByteArray &request);

    int FListen = -1;
    int FPort = 0;
    bool FTls = false;
    ssl_ctx_st *FContext = nullptr;
    mutable std::mutex FLock;
    mutable std::condition_variable FChanged;
    std::deque<std::vector<TScriptedExchange>> FScripts;
    std::vector<QByteArray> FRequests;
    int FActiveFd = -1;
    int FBusy = 0;
    bool FStopping = false;
    std::thread FThread;
};

// A free loopback TCP port (bound, read and released: good for a helper process).
int FreeLoopbackPort();
