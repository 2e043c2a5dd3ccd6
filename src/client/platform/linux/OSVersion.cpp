// Linux: the distribution's pretty name, the kernel's version numbers (major, minor,
// patch as the build) and the edition from the processor architecture.
#include "sv.OSVersion.h"

#include <QStringList>
#include <QSysInfo>

TOSVersionInfo QueryOSVersion() {
    TOSVersionInfo info;
    info.Name = QSysInfo::prettyProductName();
    // "6.1.0-18-amd64": the numbers before the first character that is not a digit or dot.
    const QString kernel = QSysInfo::kernelVersion();
    qsizetype end = 0;
    while (end < kernel.size() && (kernel[end].isDigit() || kernel[end] == u'.')) {
        ++end;
    }
    const QStringList numbers = kernel.left(end).split(u'.');
    info.Major = numbers.value(0).toInt();
    info.Minor = numbers.value(1).toInt();
    info.Build = numbers.value(2).toInt();
    info.Is64Bit = QSysInfo::currentCpuArchitecture().contains(QStringLiteral("64"));
    return info;
}
