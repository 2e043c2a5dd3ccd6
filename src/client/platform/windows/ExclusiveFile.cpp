// Windows: CreateFileW with no sharing and CREATE_ALWAYS (created or emptied).
#include "sv.ExclusiveFile.h"

#include "sv.Exceptions.h"

#include <utility>

#include <windows.h>

#include "SystemErrorText.h"

TExclusiveFile::TExclusiveFile(QString path)
    : FPath(std::move(path)), FHandle(reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE)) {
    HANDLE file = CreateFileW(reinterpret_cast<LPCWSTR>(FPath.utf16()), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        throw Exception(QStringLiteral("Cannot create file \"%1\". %2")
                            .arg(FPath, SystemErrorText(GetLastError())));
    }
    FHandle = reinterpret_cast<std::intptr_t>(file);
}

TExclusiveFile::~TExclusiveFile() {
    Close();
}

void TExclusiveFile::Write(const char *data, qint64 size) {
    while (size > 0) {
        const DWORD piece = static_cast<DWORD>(qMin<qint64>(size, 1 << 30));
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(FHandle), data, piece, &written, nullptr) ||
            written == 0) {
            throw Exception(QStringLiteral("Cannot write file \"%1\". %2")
                                .arg(FPath, SystemErrorText(GetLastError())));
        }
        data += written;
        size -= written;
    }
}

void TExclusiveFile::Close() noexcept {
    if (reinterpret_cast<HANDLE>(FHandle) != INVALID_HANDLE_VALUE) {
        CloseHandle(reinterpret_cast<HANDLE>(FHandle));
        FHandle = reinterpret_cast<std::intptr_t>(INVALID_HANDLE_VALUE);
    }
}
