// libFuzzer target: the URL parser and the encoders on arbitrary UTF-16 text. A
// composed URL must parse into the same parts again.
#include "http/HttpUrl.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t *>(data),
                                            static_cast<qsizetype>(size / 2));
    const TUrl url = TUrl::Parse(text);
    (void)ParamsEncode(text);
    (void)FormFieldEncode(text);
    (void)BasicCredentials(url.UserName, url.Password);
    (void)RequestBytes(text);
    // Parse(Compose(parts)) gives the parts back for URLs the client would request.
    if (!url.Protocol.isEmpty() && !url.Host.isEmpty()) {
        bool plain = true;
        for (const QChar ch : text) {
            plain = plain && ch.unicode() > 32 && ch.unicode() < 127 && ch != u'\\' && ch != u'@' &&
                    ch != u'[' && ch != u']';
        }
        const QString again = url.Compose();
        const TUrl reparsed = TUrl::Parse(again);
        if (plain && !url.Protocol.contains(u'/') && !url.Protocol.contains(u'?') &&
            !url.Protocol.contains(u'#') && !url.Protocol.contains(QStringLiteral("://")) &&
            (reparsed.Host != url.Host || reparsed.Port != url.Port || reparsed.Path != url.Path ||
             reparsed.Document != url.Document || reparsed.Params != url.Params ||
             reparsed.Bookmark != url.Bookmark)) {
            std::abort();
        }
    }
    return 0;
}
