// HttpErrors: the errors of the HTTP client. EHttpProtocolError is an answer whose
// status is not 2xx; ESocketError a failure of the operating system's sockets,
// keyed by the Windows socket error numbers on every platform. Any thread.
#pragma once

#include "sv.Exceptions.h"

class EHttpProtocolError final : public Exception {
public:
    // statusLine: the answer's status line as received, which is the message.
    EHttpProtocolError(QString statusLine, int errorCode, QString errorMessage);

    [[nodiscard]] int ErrorCode() const noexcept { return FErrorCode; }
    [[nodiscard]] const QString &ErrorMessage() const noexcept { return FErrorMessage; }

private:
    int FErrorCode;
    QString FErrorMessage;
};

class ESocketError final : public Exception {
public:
    // Message: "Socket Error # <number>" CR LF and the short text of the number.
    explicit ESocketError(int errorCode);

    [[nodiscard]] int ErrorCode() const noexcept { return FErrorCode; }

private:
    int FErrorCode;
};

// The short text for a Windows socket error number ("Connection refused." for 10061).
[[nodiscard]] QString SocketErrorText(int errorCode);

// Windows socket error numbers the client itself raises or tests for.
namespace SocketError {
constexpr int kWouldBlock = 10035;
constexpr int kAddressNotAvailable = 10049;
constexpr int kConnectionReset = 10054;
constexpr int kTimedOut = 10060;
constexpr int kConnectionRefused = 10061;
constexpr int kHostNotFound = 11001;
constexpr int kTryAgain = 11002;
constexpr int kNoRecovery = 11003;
} // namespace SocketError
