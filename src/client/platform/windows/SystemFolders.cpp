// Windows folders: the roaming application-data folder (CSIDL_APPDATA) and the
// system's temporary path in its long (not 8.3) form.
#include "sv.SystemFolders.h"

#include <shlobj.h>
#include <windows.h>

namespace SystemFolders {

QChar PathDelimiter() {
    return u'\\';
}

QString AppDataFolder() {
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path);
    return QString::fromWCharArray(path);
}

QString TempFolder() {
    wchar_t shortPath[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, shortPath);
    wchar_t longPath[32768] = {};
    const DWORD length = GetLongPathNameW(shortPath, longPath, 32768);
    return length > 0 && length < 32768
               ? QString::fromWCharArray(longPath, static_cast<int>(length))
               : QString::fromWCharArray(shortPath);
}

} // namespace SystemFolders
