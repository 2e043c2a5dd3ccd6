// The URL type and the encoders of the HTTP client: how a URL text splits into its
// parts and back, query-parameter and form-field encoding, Basic credentials,
// request bytes and the socket error texts.
#include "http/HttpErrors.h"
#include "http/HttpUrl.h"

#include <gtest/gtest.h>

namespace {

TEST(Url, SplitsLikeTheClientNeedsIt) {
    const struct {
        const char *Text;
        TUrl Parts;
    } cases[] = {
        {"https://example.com/getplaylist.wq",
         {"https", "", "", "example.com", "", "/", "getplaylist.wq", "", "", false}},
        {"http://u:p:q@h:8080/a/b/c.mp3?x=1&y=2#top",
         {"http", "u", "p:q", "h", "8080", "/a/b/", "c.mp3", "x=1&y=2", "top", false}},
        {"https://a@b@host/", {"https", "a@b", "", "host", "", "/", "", "", "", false}},
        {"http://[::1]:81/x", {"http", "", "", "::1", "81", "/", "x", "", "", true}},
        {"http://[fe80::1]/", {"http", "", "", "fe80::1", "", "/", "", "", "", true}},
        {"http://host", {"http", "", "", "host", "", "/", "", "", "", false}},
        {"http://host?q=/a/b", {"http", "", "", "host", "", "/", "", "q=/a/b", "", false}},
        {"http:\\\\host\\dir\\f.mp3?a\\b",
         {"http", "", "", "host", "", "/dir/", "f.mp3", "a\\b", "", false}},
        {"http://h/p#frag?notparams",
         {"http", "", "", "h", "", "/", "p", "", "frag?notparams", false}},
        {"dir/sub/file.txt?x#y", {"", "", "", "", "", "dir/sub/", "file.txt", "x", "y", false}},
        {"noslash", {"", "", "", "", "", "/", "noslash", "", "", false}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Text);
        const TUrl url = TUrl::Parse(QString::fromLatin1(c.Text));
        EXPECT_EQ(url.Protocol, c.Parts.Protocol);
        EXPECT_EQ(url.UserName, c.Parts.UserName);
        EXPECT_EQ(url.Password, c.Parts.Password);
        EXPECT_EQ(url.Host, c.Parts.Host);
        EXPECT_EQ(url.Port, c.Parts.Port);
        EXPECT_EQ(url.Path, c.Parts.Path);
        EXPECT_EQ(url.Document, c.Parts.Document);
        EXPECT_EQ(url.Params, c.Parts.Params);
        EXPECT_EQ(url.Bookmark, c.Parts.Bookmark);
        EXPECT_EQ(url.IPv6, c.Parts.IPv6);
    }
}

TEST(Url, ComposesWhatItParsed) {
    for (const char *text :
         {"https://example.com/getplaylist.wq", "http://u:p@h:8080/a/b.mp3?x=1#t",
          "http://[::1]:81/x", "http://host/"}) {
        EXPECT_EQ(TUrl::Parse(QString::fromLatin1(text)).Compose(), QString::fromLatin1(text));
    }
}

TEST(ParamsEncode, KeepsEscapesAndEncodesUnsafeCharacters) {
    const struct {
        QString Value;
        QString Encoded;
    } cases[] = {
        {QStringLiteral("abc \u00e6"), QStringLiteral("abc%20%C3%A6")},
        {QStringLiteral("a&b=c+d"), QStringLiteral("a&b=c+d")},
        {QStringLiteral("50%41 x"), QStringLiteral("50%41%20x")},
        {QStringLiteral("50%4g%"), QStringLiteral("50%254g%25")},
        {QStringLiteral("%a"), QStringLiteral("%25a")},
        {QStringLiteral("l1\r\nl2"), QStringLiteral("l1%0D%0Al2")},
        {QStringLiteral("*<>#\"{}|\\^[]`"),
         QStringLiteral("%2A%3C%3E%23%22%7B%7D%7C%5C%5E%5B%5D%60")},
        {QStringLiteral("/?,(~\x7f"), QStringLiteral("/?,(~\x7f")},
        {QString::fromUtf16(u"\U0001F600"), QStringLiteral("%F0%9F%98%80")},
        {QString(), QString()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Value.toStdString());
        EXPECT_EQ(ParamsEncode(c.Value), c.Encoded);
    }
}

TEST(FormFieldEncode, KeepsOnlyTheSafeCharacters) {
    const struct {
        QString Value;
        QString Encoded;
    } cases[] = {
        {QStringLiteral("abc%20%C3%A6"), QStringLiteral("abc%2520%25C3%25A6")},
        {QStringLiteral("a&b=c+d"), QStringLiteral("a%26b%3Dc%2Bd")},
        {QStringLiteral("50%41%20x"), QStringLiteral("50%2541%2520x")},
        {QStringLiteral("A z*-._~"), QStringLiteral("A+z*-._%7E")},
        {QStringLiteral("?"), QStringLiteral("%3F")},
        {QStringLiteral("\u00e6"), QStringLiteral("%C3%A6")},
        {QString::fromUtf16(u"\U0001F600"), QStringLiteral("%F0%9F%98%80")},
        {QString(QChar(0xD800)) + u'x', QStringLiteral("&#55296;x")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Value.toStdString());
        EXPECT_EQ(FormFieldEncode(c.Value), c.Encoded);
    }
}

TEST(BasicCredentials, OneBytePerCharacterInBase64) {
    EXPECT_EQ(BasicCredentials(QStringLiteral("u"), QStringLiteral("p")),
              QStringLiteral("Basic dTpw"));
    EXPECT_EQ(BasicCredentials(QString(), QString()), QStringLiteral("Basic Og=="));
    EXPECT_EQ(BasicCredentials(QStringLiteral("\u00e6"), QStringLiteral("\u20ac")),
              QStringLiteral("Basic 5jo/"));
    // Long values come out on one line (no line breaks every 64 characters).
    EXPECT_FALSE(BasicCredentials(QString(100, u'a'), QString(100, u'b')).contains(u'\n'));
}

TEST(RequestBytes, NonAsciiBecomesQuestionMark) {
    EXPECT_EQ(RequestBytes(QStringLiteral("a\u00e6b\u20ac")), QByteArray("a?b?"));
}

TEST(SocketErrors, MessageCarriesNumberAndText) {
    EXPECT_EQ(ESocketError(10061).Message(),
              QStringLiteral("Socket Error # 10061\r\nConnection refused."));
    EXPECT_EQ(SocketErrorText(11001), QStringLiteral("Host not found."));
    EXPECT_EQ(SocketErrorText(10060), QStringLiteral("Connection timed out."));
    EXPECT_EQ(SocketErrorText(10054), QStringLiteral("Connection reset by peer."));
}

} // namespace
