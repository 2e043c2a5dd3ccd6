#include "http/HttpAnswer.h"

#include "http/HttpStream.h"
#include "sv.Cp1252.h"
#include "sv.Exceptions.h"

#include <QStringDecoder>

#include <limits>

namespace {

[[noreturn]] void RaiseClosed() {
    throw Exception(QStringLiteral("Connection Closed Gracefully."));
}

// A line's bytes as text: ASCII, every byte above 127 as U+FFFD.
QString LineText(const QByteArray &bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        text[i] = b > 127 ? QChar(QChar::ReplacementCharacter) : QChar(b);
    }
    return text;
}

QString AsciiText(const QByteArray &bytes) {
    return LineText(bytes);
}

// Digit by digit, no sign, no prefix; -1 when not a number, -2 when it overflows.
qint64 ParseNumber(const QString &text, int base) {
    if (text.isEmpty()) {
        return -1;
    }
    qint64 value = 0;
    for (const QChar ch : text) {
        const int digit = ch.isDigit() && ch.unicode() < 128 ? ch.unicode() - u'0'
                          : base == 16 && ch.toLower() >= u'a' && ch.toLower() <= u'f'
                              ? ch.toLower().unicode() - u'a' + 10
                              : -1;
        if (digit < 0) {
            return -1;
        }
        if (value > (std::numeric_limits<qint64>::max() - digit) / base) {
            return -2;
        }
        value = value * base + digit;
    }
    return value;
}

QString TrimBlanks(const QString &text) {
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && (text[start] == u' ' || text[start] == u'\t')) {
        ++start;
    }
    while (end > start && (text[end - 1] == u' ' || text[end - 1] == u'\t')) {
        --end;
    }
    return text.mid(start, end - start);
}

QString MediaType(const QString &contentType) {
    return TrimBlanks(contentType.section(u';', 0, 0)).toLower();
}

QString ContentTypeParameter(const QString &contentType, const QString &name) {
    const QStringList parts = contentType.split(u';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString part = TrimBlanks(parts[i]);
        const qsizetype equals = part.indexOf(u'=');
        if (equals > 0 && TrimBlanks(part.left(equals)).compare(name, Qt::CaseInsensitive) == 0) {
            QString value = TrimBlanks(part.mid(equals + 1));
            if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"')) {
                value = value.mid(1, value.size() - 2);
            }
            return value;
        }
    }
    return {};
}

} // namespace

QString THttpAnswer::Header(const QString &name) const {
    for (const QString &line : Headers) {
        const qsizetype colon = line.indexOf(u':');
        if (colon >= 0 && TrimBlanks(line.left(colon)).compare(name, Qt::CaseInsensitive) == 0) {
            return TrimBlanks(line.mid(colon + 1));
        }
    }
    return {};
}

qint64 THttpAnswer::ContentLength() const {
    const qint64 length = ParseNumber(Header(QStringLiteral("Content-Length")), 10);
    if (length == -2) {
        throw Exception(QStringLiteral("Invalid Content-Length value."));
    }
    return length;
}

QString THttpAnswer::DecodeBody(const QByteArray &body) const {
    const QString contentType = Header(QStringLiteral("Content-Type"));
    QString charset = ContentTypeParameter(contentType, QStringLiteral("charset")).toLower();
    if (charset.isEmpty()) {
        const QString media = MediaType(contentType);
        const bool xml = media == QStringLiteral("text/xml") ||
                         media == QStringLiteral("application/xml") ||
                         media.endsWith(QStringLiteral("+xml"));
        charset = xml ? QStringLiteral("us-ascii") : QStringLiteral("iso-8859-1");
    }
    if (charset == QStringLiteral("us-ascii") || charset == QStringLiteral("ascii")) {
        return AsciiText(body);
    }
    if (charset == QStringLiteral("windows-1252") || charset == QStringLiteral("cp1252")) {
        return Cp1252::Decode(body);
    }
    QStringDecoder decoder(charset.toLatin1().constData());
    if (!decoder.isValid()) {
        return QString::fromLatin1(body);
    }
    return decoder.decode(body);
}

THttpAnswerReader::THttpAnswerReader(IHttpStream &stream, qint64 maxRead)
    : FStream(stream), FMaxRead(qBound<qint64>(1, maxRead, kBufferSize)),
      FBuffer(static_cast<qsizetype>(FMaxRead), Qt::Uninitialized) {}

int THttpAnswerReader::StatusCodeOf(const QString &statusLine) {
    const qsizetype first = statusLine.indexOf(u' ');
    if (first < 0) {
        return -1;
    }
    const qsizetype second = statusLine.indexOf(u' ', first + 1);
    const QString number = statusLine.mid(first + 1, second < 0 ? -1 : second - first - 1);
    const qint64 code = ParseNumber(number, 10);
    return code < 0 || code > std::numeric_limits<int>::max() ? -1 : static_cast<int>(code);
}

bool THttpAnswerReader::Fill() {
    if (FStart < FEnd) {
        return true;
    }
    FStart = 0;
    FEnd = FStream.Read(FBuffer.data(), FMaxRead);
    return FEnd > 0;
}

QString THttpAnswerReader::ReadLine() {
    QByteArray line;
    for (;;) {
        if (!Fill()) {
            RaiseClosed();
        }
        const char *begin = FBuffer.constData() + FStart;
        const auto *lf = static_cast<const char *>(memchr(begin, '\n', FEnd - FStart));
        const qint64 take = lf != nullptr ? lf - begin : FEnd - FStart;
        line.append(begin, take);
        FStart += take;
        // One more byte than the limit may be the CR before the LF.
        if (line.size() > kMaxLineLength + 1) {
            throw Exception(QStringLiteral("Max line length exceeded."));
        }
        if (lf != nullptr) {
            ++FStart;
            break;
        }
    }
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    if (line.size() > kMaxLineLength) {
        throw Exception(QStringLiteral("Max line length exceeded."));
    }
    return LineText(line);
}

void THttpAnswerReader::ReadHeaderLines(QStringList &headers) {
    const qsizetype before = headers.size();
    for (int count = 0;; ++count) {
        const QString line = ReadLine();
        if (line.isEmpty()) {
            return;
        }
        if (count >= kMaxHeaderLines) {
            throw Exception(QStringLiteral("Too many header lines."));
        }
        if ((line.startsWith(u' ') || line.startsWith(u'\t')) && headers.size() > before) {
            headers.last() += u' ' + TrimBlanks(line);
        } else {
            headers.append(line);
        }
    }
}

THttpAnswer THttpAnswerReader::ReadOneHead(const QString &statusLine) {
    THttpAnswer answer;
    answer.StatusLine = statusLine;
    answer.StatusCode = StatusCodeOf(statusLine);
    ReadHeaderLines(answer.Headers);
    return answer;
}

THttpAnswer THttpAnswerReader::ReadHead() {
    for (int interim = 0;; ++interim) {
        if (interim > kMaxInterimAnswers) {
            throw Exception(QStringLiteral("Too many interim answers."));
        }
        THttpAnswer answer = ReadOneHead(ReadLine());
        const int code = answer.StatusCode;
        if (code < 100 || code > 199 || code == 101) {
            return answer;
        }
    }
}

THttpAnswer THttpAnswerReader::ReadConnectHead() {
    const QString first = ReadLine();
    if (first.isEmpty()) {
        THttpAnswer answer;
        answer.StatusLine = QStringLiteral("HTTP/1.0 200 OK");
        answer.StatusCode = 200;
        return answer;
    }
    return ReadOneHead(first);
}

void THttpAnswerReader::ReadBody(THttpAnswer &answer, const THttpBodySink &sink) {
    if (answer.StatusCode == 204) {
        return;
    }
    if (answer.Header(QStringLiteral("Transfer-Encoding"))
            .contains(QStringLiteral("chunked"), Qt::CaseInsensitive)) {
        ReadChunked(answer, sink);
        return;
    }
    if (const qint64 length = answer.ContentLength(); length >= 0) {
        ReadCounted(length, sink);
        return;
    }
    const QString contentType = answer.Header(QStringLiteral("Content-Type"));
    const QString boundary = ContentTypeParameter(contentType, QStringLiteral("boundary"));
    if (MediaType(contentType).startsWith(QStringLiteral("multipart/")) && !boundary.isEmpty()) {
        ReadMultipart("--" + boundary.toLatin1() + "--", sink);
        return;
    }
    ReadToClose(sink);
}

void THttpAnswerReader::ReadChunked(THttpAnswer &answer, const THttpBodySink &sink) {
    for (;;) {
        const QString sizeText = TrimBlanks(ReadLine().section(u';', 0, 0));
        const qint64 size = ParseNumber(sizeText, 16);
        if (size < 0) {
            throw Exception(QStringLiteral("Invalid chunk size."));
        }
        if (size == 0) {
            break;
        }
        qint64 left = size;
        while (left > 0) {
            if (!Fill()) {
                RaiseClosed();
            }
            const qint64 piece = qMin(left, FEnd - FStart);
            sink(FBuffer.constData() + FStart, piece);
            FStart += piece;
            left -= piece;
        }
        (void)ReadLine();
    }
    ReadHeaderLines(answer.Headers);
}

void THttpAnswerReader::ReadCounted(qint64 length, const THttpBodySink &sink) {
    // A server that closes early has sent the whole body it has: what arrived counts.
    while (length > 0 && Fill()) {
        const qint64 piece = qMin(length, FEnd - FStart);
        sink(FBuffer.constData() + FStart, piece);
        FStart += piece;
        length -= piece;
    }
}

void THttpAnswerReader::ReadMultipart(const QByteArray &terminator, const THttpBodySink &sink) {
    QByteArray line; // the current line while it may still be the terminator
    bool candidate = true;
    for (;;) {
        if (!Fill()) {
            RaiseClosed();
        }
        const char *begin = FBuffer.constData() + FStart;
        const auto *lf = static_cast<const char *>(memchr(begin, '\n', FEnd - FStart));
        const qint64 take = lf != nullptr ? lf - begin + 1 : FEnd - FStart;
        sink(begin, take);
        FStart += take;
        if (candidate) {
            line.append(begin, lf != nullptr ? take - 1 : take);
            candidate = line.size() <= terminator.size() + 1;
        }
        if (lf != nullptr) {
            if (line.endsWith('\r')) {
                line.chop(1);
            }
            if (candidate && line == terminator) {
                return;
            }
            line.clear();
            candidate = true;
        }
    }
}

void THttpAnswerReader::ReadToClose(const THttpBodySink &sink) {
    while (Fill()) {
        sink(FBuffer.constData() + FStart, FEnd - FStart);
        FStart = FEnd;
    }
    if (FStream.EndedUncleanly()) {
        throw Exception(QStringLiteral("EOF was observed that violates the protocol"));
    }
}
