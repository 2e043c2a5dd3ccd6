#include "http/HttpErrors.h"

#include <utility>

EHttpProtocolError::EHttpProtocolError(QString statusLine, int errorCode, QString errorMessage)
    : Exception(std::move(statusLine)), FErrorCode(errorCode),
      FErrorMessage(std::move(errorMessage)) {}

ESocketError::ESocketError(int errorCode)
    : Exception(
          QStringLiteral("Socket Error # %1\r\n%2").arg(errorCode).arg(SocketErrorText(errorCode))),
      FErrorCode(errorCode) {}

QString SocketErrorText(int errorCode) {
    struct Entry {
        int Code;
        const char *Text;
    };
    static constexpr Entry kTexts[] = {
        {10004, "Interrupted system call."},
        {10009, "Bad file number."},
        {10013, "Access denied."},
        {10014, "Bad address."},
        {10022, "Invalid argument."},
        {10024, "Too many open files."},
        {10035, "Operation would block."},
        {10036, "Operation now in progress."},
        {10037, "Operation already in progress."},
        {10038, "Socket operation on non-socket."},
        {10040, "Message too long."},
        {10047, "Address family not supported by protocol family."},
        {10048, "Address already in use."},
        {10049, "Cannot assign requested address."},
        {10050, "Network is down."},
        {10051, "Network is unreachable."},
        {10052, "Net dropped connection or reset."},
        {10053, "Software caused connection abort."},
        {10054, "Connection reset by peer."},
        {10055, "No buffer space available."},
        {10056, "Socket is already connected."},
        {10057, "Socket is not connected."},
        {10058, "Cannot send or receive after socket is closed."},
        {10060, "Connection timed out."},
        {10061, "Connection refused."},
        {10064, "Host is down."},
        {10065, "No route to host."},
        {10091, "Network subsystem is unavailable."},
        {10093, "Socket library not initialised."},
        {11001, "Host not found."},
        {11002, "Non-authoritative response: Host not found."},
        {11003, "Non-recoverable error."},
        {11004, "Valid name, no data record of requested type."},
    };
    for (const Entry &entry : kTexts) {
        if (entry.Code == errorCode) {
            return QString::fromLatin1(entry.Text);
        }
    }
    return QStringLiteral("Unknown socket error.");
}
