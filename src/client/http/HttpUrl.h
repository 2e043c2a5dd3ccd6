// HttpUrl: the URL type of the HTTP client (parse a text into its parts, compose
// it again) and the text encoders that go with it: ParamsEncode for query
// parameters, FormFieldEncode for form fields, Basic credentials. Pure functions
// and plain values, any thread.
#pragma once

#include <QByteArray>
#include <QString>

struct TUrl final {
    QString Protocol;
    QString UserName;
    QString Password;
    QString Host;
    QString Port;
    QString Path; // ends in "/"
    QString Document;
    QString Params;    // after "?", without it
    QString Bookmark;  // after "#", without it
    bool IPv6 = false; // the host was written in brackets

    // Splits a URL text into its parts. Never fails: parts it cannot find stay
    // empty. Without "://" only Params, Bookmark, Path and Document are filled.
    [[nodiscard]] static TUrl Parse(const QString &text);
    // The URL text from the parts.
    [[nodiscard]] QString Compose() const;
};

// Query-parameter encoding (UTF-8): "%" with two hexadecimal digits is kept, codes
// below 33 or above 127 and * < > # % " { } | \ ^ [ ] ` become %XX per UTF-8 byte.
[[nodiscard]] QString ParamsEncode(const QString &value);

// Form-field encoding (UTF-8): space as "+", A-Z a-z 0-9 * - . _ kept, everything
// else as %XX per UTF-8 byte (a character UTF-8 cannot hold as "&#<code>;").
[[nodiscard]] QString FormFieldEncode(const QString &value);

// "Basic " and the Base64 of user name ":" password, one byte per character
// (characters above 255 as "?").
[[nodiscard]] QString BasicCredentials(const QString &userName, const QString &password);

// Text as request bytes: one byte per character, a character outside ASCII as "?".
[[nodiscard]] QByteArray RequestBytes(const QString &text);
