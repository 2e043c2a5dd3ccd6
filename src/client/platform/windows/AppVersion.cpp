// Windows: the file version of the running program's version resource
// (src/client/resources/sonavik.rc), read with the version API.
#include "sv.AppVersion.h"

#include "sv.Exceptions.h"

#include <QByteArray>

#include <windows.h>

#include "SystemErrorText.h"

namespace {

// Raises an error carrying the system's last error code and its text.
[[noreturn]] void RaiseLastOSError() {
    const DWORD code = GetLastError();
    throw Exception(
        QStringLiteral("System Error.  Code: %1.\r\n%2").arg(code).arg(SystemErrorText(code)));
}

} // namespace

QString GetAppVersion() {
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    if (length == 0 || length >= MAX_PATH * 4) {
        RaiseLastOSError();
    }
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) {
        RaiseLastOSError();
    }
    QByteArray data(static_cast<int>(size), '\0');
    if (!GetFileVersionInfoW(path, 0, size, data.data())) {
        RaiseLastOSError();
    }
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT fixedLength = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void **>(&fixed), &fixedLength) ||
        fixed == nullptr) {
        RaiseLastOSError();
    }
    return QStringLiteral("%1.%2.%3.%4")
        .arg(HIWORD(fixed->dwFileVersionMS))
        .arg(LOWORD(fixed->dwFileVersionMS))
        .arg(HIWORD(fixed->dwFileVersionLS))
        .arg(LOWORD(fixed->dwFileVersionLS));
}
