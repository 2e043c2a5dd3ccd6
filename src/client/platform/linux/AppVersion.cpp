// Linux: the program's version compiled in from the build's project version.
#include "sv.AppVersion.h"

#include "sv.BuildConfig.h"

QString GetAppVersion() {
    return QString::fromLatin1(sv::build::kProgramVersion);
}
