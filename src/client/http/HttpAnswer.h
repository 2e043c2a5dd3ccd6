// HttpAnswer: reading an HTTP answer from a stream: status line, header lines,
// interim answers, and the body by its framing (chunked, Content-Length,
// multipart, read to close) into a sink. Bad input (over-long lines, endless
// headers or interim answers, sizes that overflow or are not numbers) raises a
// clear error. Used by one thread at a time.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class IHttpStream;

// Receives the body as it arrives, one piece at a time.
using THttpBodySink = std::function<void(const char *data, qint64 size)>;

struct THttpAnswer final {
    QString StatusLine;
    int StatusCode = -1;
    QStringList Headers; // "name: value" lines, trailers of a chunked body appended

    // The value of the first header with that name (any letter case), trimmed.
    [[nodiscard]] QString Header(const QString &name) const;
    // Content-Length, or -1 when absent or not a number; raises when it overflows.
    [[nodiscard]] qint64 ContentLength() const;
    // The body's text by the Content-Type's charset (ISO-8859-1 for text types and
    // us-ascii for XML types without one).
    [[nodiscard]] QString DecodeBody(const QByteArray &body) const;
};

class THttpAnswerReader final {
public:
    static constexpr qsizetype kMaxLineLength = 16384;
    static constexpr int kMaxHeaderLines = 256;
    static constexpr int kMaxInterimAnswers = 32;
    static constexpr qint64 kBufferSize = 32768;

    // maxRead: largest single read from the stream (1 reads a head byte by byte,
    // so that nothing after it is taken from the stream).
    explicit THttpAnswerReader(IHttpStream &stream, qint64 maxRead = kBufferSize);

    // Status line and header lines, skipping interim (1xx but 101) answers.
    [[nodiscard]] THttpAnswer ReadHead();
    // A proxy's answer to CONNECT: an empty first line counts as "HTTP/1.0 200 OK".
    [[nodiscard]] THttpAnswer ReadConnectHead();
    // The body by its framing (none for 204), appended to the answer's header
    // lines when it has trailers.
    void ReadBody(THttpAnswer &answer, const THttpBodySink &sink);

    // The status code in a status line: the decimal number between the first and
    // second space, -1 when there is none.
    [[nodiscard]] static int StatusCodeOf(const QString &statusLine);

private:
    THttpAnswer ReadOneHead(const QString &statusLine);
    void ReadHeaderLines(QStringList &headers);
    QString ReadLine();
    bool Fill();
    void ReadChunked(THttpAnswer &answer, const THttpBodySink &sink);
    void ReadCounted(qint64 length, const THttpBodySink &sink);
    void ReadMultipart(const QByteArray &terminator, const THttpBodySink &sink);
    void ReadToClose(const THttpBodySink &sink);

    IHttpStream &FStream;
    qint64 FMaxRead;
    QByteArray FBuffer;
    qint64 FStart = 0; // unread bytes are FBuffer[FStart, FEnd)
    qint64 FEnd = 0;
};
