// Windows path rules, checked on the full form of the path as the system's folder
// creation does.
#include "sv.PathRules.h"

#include "sv.Exceptions.h"

#include <QString>

#include <windows.h>

namespace {

constexpr int kMaxFolderPath = 248;

bool HasInvalidCharacter(const QString &path) {
    for (const QChar ch : path) {
        if (ch.unicode() < 32 || ch == u'"' || ch == u'<' || ch == u'>' || ch == u'|') {
            return true;
        }
    }
    return false;
}

} // namespace

void CheckFolderPath(const QString &path) {
    if (path.trimmed().isEmpty() || HasInvalidCharacter(path)) {
        throw Exception(QStringLiteral("Invalid characters in path"));
    }
    wchar_t full[32768];
    const DWORD length =
        GetFullPathNameW(reinterpret_cast<LPCWSTR>(path.utf16()), 32768, full, nullptr);
    const QString fullPath = QString::fromWCharArray(full, static_cast<int>(length));
    const bool extended = fullPath.startsWith(QStringLiteral("\\\\?\\"));
    if (!extended && fullPath.size() >= kMaxFolderPath) {
        throw Exception(QStringLiteral("The specified path is too long"));
    }
    if (fullPath.indexOf(u':', extended ? 6 : 2) >= 0) {
        throw Exception(QStringLiteral("The path format is not supported"));
    }
    const bool network = fullPath.startsWith(QStringLiteral("\\\\"));
    if (!network && fullPath.size() >= 2 && fullPath[1] == u':') {
        const QString root = fullPath.left(2) + u'\\';
        if (GetDriveTypeW(reinterpret_cast<LPCWSTR>(root.utf16())) == DRIVE_NO_ROOT_DIR) {
            throw Exception(QStringLiteral("The drive cannot be found"));
        }
    }
}
