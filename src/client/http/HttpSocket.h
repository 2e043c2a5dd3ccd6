// HttpSocket: one blocking TCP client socket, used by one thread (one
// implementation per platform under platform/). Failures raise ESocketError with
// the Windows socket error number; a receive that runs into the time limit raises
// "Read timed out.". No signal ever ends the process when the peer has gone.
#pragma once

#include <QtGlobal>

class QString;

class THttpSocket final {
public:
    THttpSocket();
    ~THttpSocket();
    THttpSocket(const THttpSocket &) = delete;
    THttpSocket &operator=(const THttpSocket &) = delete;

    // Resolves the host ("LOCALHOST" as 127.0.0.1, a dotted address as itself, a
    // name to its first IPv4 address; ipv6: the host is an IPv6 literal) and
    // connects. A port outside 1..65535 fails.
    void Connect(const QString &host, int port, bool ipv6);
    // Sends every byte.
    void SendAll(const char *data, qint64 size);
    // Receives up to capacity bytes; 0 when the peer has closed its end.
    qint64 Receive(char *data, qint64 capacity);
    // Receive and send time limits in milliseconds.
    void SetTimeLimits(int milliseconds);
    void Close() noexcept;

    [[nodiscard]] qintptr Handle() const noexcept { return FHandle; }

    // The calling thread's last socket error as a Windows socket error number.
    [[nodiscard]] static int LastError() noexcept;

private:
    qintptr FHandle = -1;
};
