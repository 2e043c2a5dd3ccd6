// Windows: the version query, corrected from the file version of kernel32.dll above
// 6.1 (the query is capped there for programs without a compatibility manifest),
// the product name from the version and product type, and the edition from the
// native processor architecture.
#include "sv.OSVersion.h"

#include <lm.h>
#include <windows.h>

namespace {

struct FileVersion {
    int Major = 0, Minor = 0, Build = 0;
    bool Valid = false;
};

FileVersion Kernel32Version() {
    FileVersion result;
    const wchar_t *file = L"kernel32.dll";
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(file, &handle);
    if (size == 0) {
        return result;
    }
    QByteArray data(static_cast<int>(size), '\0');
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    if (GetFileVersionInfoW(file, 0, size, data.data()) &&
        VerQueryValueW(data.data(), L"\\", reinterpret_cast<void **>(&fixed), &length) && fixed) {
        result = {HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                  HIWORD(fixed->dwFileVersionLS), true};
    }
    return result;
}

void WorkstationVersion(TOSVersionInfo &info) {
    LPBYTE buffer = nullptr;
    if (NetWkstaGetInfo(nullptr, 100, &buffer) == NERR_Success) {
        const auto *wksta = reinterpret_cast<WKSTA_INFO_100 *>(buffer);
        info.Major = static_cast<int>(wksta->wki100_ver_major);
        info.Minor = static_cast<int>(wksta->wki100_ver_minor);
        NetApiBufferFree(buffer);
    }
}

QString ProductName(const TOSVersionInfo &info, bool workstation, bool r2) {
    const int v = info.Major * 10 + info.Minor;
    switch (v) {
    case 50:
        return QStringLiteral("Windows 2000");
    case 51:
        return QStringLiteral("Windows XP");
    case 52:
        if (workstation && info.Is64Bit)
            return QStringLiteral("Windows XP");
        return r2 ? QStringLiteral("Windows Server 2003 R2")
                  : QStringLiteral("Windows Server 2003");
    case 60:
        return workstation ? QStringLiteral("Windows Vista")
                           : QStringLiteral("Windows Server 2008");
    case 61:
        return workstation ? QStringLiteral("Windows 7") : QStringLiteral("Windows Server 2008 R2");
    case 62:
        return workstation ? QStringLiteral("Windows 8") : QStringLiteral("Windows Server 2012");
    case 63:
        return workstation ? QStringLiteral("Windows 8.1")
                           : QStringLiteral("Windows Server 2012 R2");
    case 100:
        if (workstation)
            return QStringLiteral("Windows 10");
        return info.Build < 17763 ? QStringLiteral("Windows Server 2016")
                                  : QStringLiteral("Windows Server 2019");
    default:
        return QStringLiteral("Windows");
    }
}

} // namespace

TOSVersionInfo QueryOSVersion() {
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW *>(&version));
    SYSTEM_INFO system{};
    GetNativeSystemInfo(&system);

    TOSVersionInfo info;
    info.Major = static_cast<int>(version.dwMajorVersion);
    info.Minor = static_cast<int>(version.dwMinorVersion);
    info.Build = static_cast<int>(version.dwBuildNumber);
    info.ServicePackMajor = version.wServicePackMajor;
    info.Is64Bit = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
    if (info.Major * 10 + info.Minor > 61) {
        const FileVersion file = Kernel32Version();
        if (file.Valid) {
            const int queriedBuild = info.Build;
            info.Major = file.Major;
            info.Minor = file.Minor;
            info.Build = file.Major >= 10 ? qMax(file.Build, queriedBuild) : file.Build;
        } else {
            WorkstationVersion(info);
        }
    }
    const bool workstation = version.wProductType == VER_NT_WORKSTATION;
    info.Name = ProductName(info, workstation, GetSystemMetrics(SM_SERVERR2) != 0);
    return info;
}
