// Windows: every entry of folder + "*.*" is handed to DeleteFileW; folders,
// read-only files and files still open elsewhere simply remain.
#include "sv.Utils.h"

#include <QString>

#include <windows.h>

void DeleteFilesInFolder(const QString &folder) {
    const QString pattern = folder + QStringLiteral("*.*");
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(reinterpret_cast<LPCWSTR>(pattern.utf16()), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        const QString path = folder + QString::fromWCharArray(found.cFileName);
        DeleteFileW(reinterpret_cast<LPCWSTR>(path.utf16()));
    } while (FindNextFileW(search, &found));
    FindClose(search);
}
