// HttpStream: the byte stream an HTTP exchange runs over (plain socket or TLS),
// used by one thread. Read returns 0 at the end of the stream; EndedUncleanly
// tells afterwards whether that end was a TLS stream cut without close_notify.
#pragma once

#include <QtGlobal>

class THttpSocket;

class IHttpStream {
public:
    virtual ~IHttpStream() = default;
    virtual qint64 Read(char *data, qint64 capacity) = 0;
    virtual void Write(const char *data, qint64 size) = 0;
    [[nodiscard]] virtual bool EndedUncleanly() const { return false; }

protected:
    IHttpStream() = default;
    IHttpStream(const IHttpStream &) = default;
    IHttpStream &operator=(const IHttpStream &) = default;
};

// The socket itself.
class TPlainStream final : public IHttpStream {
public:
    explicit TPlainStream(THttpSocket &socket) : FSocket(socket) {}
    qint64 Read(char *data, qint64 capacity) override;
    void Write(const char *data, qint64 size) override;

private:
    THttpSocket &FSocket;
};
