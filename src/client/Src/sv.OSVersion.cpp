#include "sv.OSVersion.h"

QString FormatOSDescription(const TOSVersionInfo &info) {
    const QString edition =
        info.Is64Bit ? QStringLiteral("64-bit Edition") : QStringLiteral("32-bit Edition");
    const QString version = QStringLiteral("(Version %1.%2, Build %3, %4)")
                                .arg(info.Major)
                                .arg(info.Minor)
                                .arg(info.Build)
                                .arg(edition);
    if (info.ServicePackMajor != 0) {
        return QStringLiteral("%1 Service Pack %2 %3")
            .arg(info.Name)
            .arg(info.ServicePackMajor)
            .arg(version);
    }
    return info.Name + u' ' + version;
}

QString GetOSDescription() { return FormatOSDescription(QueryOSVersion()); }
