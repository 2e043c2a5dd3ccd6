// sv.OSVersion: the one-line description of the operating system that goes with
// every playlist request, e.g. "Windows 10 (Version 10.0, Build 19045, 64-bit Edition)".
// QueryOSVersion has one implementation per platform under platform/; the rest is
// shared. Any thread.
#pragma once

#include <QString>

struct TOSVersionInfo {
    QString Name;
    int Major = 0;
    int Minor = 0;
    int Build = 0;
    int ServicePackMajor = 0; // 0: no service pack
    bool Is64Bit = false;
};

[[nodiscard]] TOSVersionInfo QueryOSVersion();
[[nodiscard]] QString FormatOSDescription(const TOSVersionInfo &info);
[[nodiscard]] QString GetOSDescription();
