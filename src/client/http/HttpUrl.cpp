#include "http/HttpUrl.h"

#include <openssl/evp.h>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsHexDigit(QChar ch) {
    const char16_t c = ch.unicode();
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// The character at index (a surrogate pair counts as one) and how many code units it takes.
QString CharacterAt(const QString &text, qsizetype index) {
    if (text[index].isHighSurrogate() && index + 1 < text.size() &&
        text[index + 1].isLowSurrogate()) {
        return text.mid(index, 2);
    }
    return text.mid(index, 1);
}

void AppendPercentBytes(QString &out, const QByteArray &bytes) {
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        out += u'%';
        out += QLatin1Char(kHexDigits[b >> 4]);
        out += QLatin1Char(kHexDigits[b & 0x0F]);
    }
}

} // namespace

TUrl TUrl::Parse(const QString &text) {
    TUrl url;
    QString rest = text;
    qsizetype queryStart = rest.indexOf(u'?');
    const qsizetype hashStart = rest.indexOf(u'#');
    if (queryStart < 0 || (hashStart >= 0 && hashStart < queryStart)) {
        queryStart = hashStart;
    }
    for (qsizetype i = 0; i < (queryStart < 0 ? rest.size() : queryStart); ++i) {
        if (rest[i] == u'\\') {
            rest[i] = u'/';
        }
    }

    const qsizetype schemeEnd = rest.indexOf(QStringLiteral("://"));
    const bool hasAuthority = schemeEnd >= 0;
    if (hasAuthority) {
        url.Protocol = rest.left(schemeEnd);
        rest = rest.mid(schemeEnd + 3);
    }
    if (const qsizetype hash = rest.indexOf(u'#'); hash >= 0) {
        url.Bookmark = rest.mid(hash + 1);
        rest.truncate(hash);
    }
    if (const qsizetype query = rest.indexOf(u'?'); query >= 0) {
        url.Params = rest.mid(query + 1);
        rest.truncate(query);
    }
    if (hasAuthority) {
        const qsizetype slash = rest.indexOf(u'/');
        QString authority = slash < 0 ? rest : rest.left(slash);
        rest = slash < 0 ? QString() : rest.mid(slash);
        if (const qsizetype at = authority.lastIndexOf(u'@'); at >= 0) {
            const QString userInfo = authority.left(at);
            authority = authority.mid(at + 1);
            const qsizetype colon = userInfo.indexOf(u':');
            url.UserName = colon < 0 ? userInfo : userInfo.left(colon);
            url.Password = colon < 0 ? QString() : userInfo.mid(colon + 1);
        }
        const qsizetype close = authority.indexOf(u']');
        if (authority.startsWith(u'[') && close > 0) {
            url.IPv6 = true;
            url.Host = authority.mid(1, close - 1);
            const QString afterHost = authority.mid(close + 1);
            url.Port = afterHost.startsWith(u':') ? afterHost.mid(1) : QString();
        } else {
            const qsizetype colon = authority.indexOf(u':');
            url.Host = colon < 0 ? authority : authority.left(colon);
            url.Port = colon < 0 ? QString() : authority.mid(colon + 1);
        }
    }
    const qsizetype lastSlash = rest.lastIndexOf(u'/');
    url.Path = lastSlash < 0 ? QStringLiteral("/") : rest.left(lastSlash + 1);
    url.Document = rest.mid(lastSlash + 1);
    return url;
}

QString TUrl::Compose() const {
    QString text;
    if (!Protocol.isEmpty() || !Host.isEmpty()) {
        text = Protocol + QStringLiteral("://");
        if (!UserName.isEmpty() || !Password.isEmpty()) {
            text += UserName;
            if (!Password.isEmpty()) {
                text += u':' + Password;
            }
            text += u'@';
        }
        text += IPv6 ? u'[' + Host + u']' : Host;
        if (!Port.isEmpty()) {
            text += u':' + Port;
        }
    }
    text += Path + Document;
    if (!Params.isEmpty()) {
        text += u'?' + Params;
    }
    if (!Bookmark.isEmpty()) {
        text += u'#' + Bookmark;
    }
    return text;
}

QString ParamsEncode(const QString &value) {
    static const QString kUnsafe = QStringLiteral("*<>#%\"{}|\\^[]`");
    QString out;
    out.reserve(value.size() * 3);
    qsizetype i = 0;
    while (i < value.size()) {
        const QChar ch = value[i];
        if (ch == u'%' && i + 2 < value.size() && IsHexDigit(value[i + 1]) &&
            IsHexDigit(value[i + 2])) {
            out += value.mid(i, 3);
            i += 3;
            continue;
        }
        const char16_t code = ch.unicode();
        if (code < 33 || code > 127 || kUnsafe.contains(ch)) {
            const QString character = CharacterAt(value, i);
            AppendPercentBytes(out, character.toUtf8());
            i += character.size();
            continue;
        }
        out += ch;
        ++i;
    }
    return out;
}

QString FormFieldEncode(const QString &value) {
    QString out;
    out.reserve(value.size() * 3);
    qsizetype i = 0;
    while (i < value.size()) {
        const char16_t code = value[i].unicode();
        if (code == u' ') {
            out += u'+';
            ++i;
            continue;
        }
        if ((code >= u'A' && code <= u'Z') || (code >= u'a' && code <= u'z') ||
            (code >= u'0' && code <= u'9') || code == u'*' || code == u'-' || code == u'.' ||
            code == u'_') {
            out += value[i];
            ++i;
            continue;
        }
        const QString character = CharacterAt(value, i);
        // A lone surrogate has no UTF-8 form: it goes out as a character reference.
        if (character.size() == 1 && QChar::isSurrogate(code)) {
            out += QStringLiteral("&#%1;").arg(static_cast<int>(code));
        } else {
            AppendPercentBytes(out, character.toUtf8());
        }
        i += character.size();
    }
    return out;
}

QString BasicCredentials(const QString &userName, const QString &password) {
    const QString plain = userName + u':' + password;
    QByteArray bytes;
    bytes.reserve(plain.size());
    for (const QChar ch : plain) {
        bytes += ch.unicode() > 255 ? '?' : static_cast<char>(ch.unicode());
    }
    QByteArray encoded(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char *>(encoded.data()),
                                       reinterpret_cast<const unsigned char *>(bytes.constData()),
                                       static_cast<int>(bytes.size()));
    encoded.truncate(length);
    return QStringLiteral("Basic ") + QString::fromLatin1(encoded);
}

QByteArray RequestBytes(const QString &text) {
    QByteArray bytes;
    bytes.reserve(text.size());
    for (const QChar ch : text) {
        bytes += ch.unicode() > 127 ? '?' : static_cast<char>(ch.unicode());
    }
    return bytes;
}
