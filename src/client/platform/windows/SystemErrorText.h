// The system's own text for a Windows error code (FormatMessageW), trimmed. Any thread.
#pragma once

#include <QString>

#include <windows.h>

inline QString SystemErrorText(DWORD code) {
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    const QString result = text != nullptr ? QString::fromWCharArray(text).trimmed() : QString();
    LocalFree(text);
    return result;
}
