// Linux folders: settings below $XDG_CONFIG_HOME (default ~/.config); sound files in
// $XDG_RUNTIME_DIR when it is a folder of the user's own with mode 0700, otherwise
// below $XDG_CACHE_HOME (default ~/.cache). Never a fixed name in the shared /tmp.
#include "sv.SystemFolders.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString XdgFolder(const char *variable, const QString &fallbackBelowHome) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) {
        return QDir::cleanPath(value);
    }
    return QDir::homePath() + u'/' + fallbackBelowHome;
}

bool IsPrivateFolder(const QString &path) {
    struct stat info {};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0 &&
           S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 0777) == 0700;
}

} // namespace

namespace SystemFolders {

QChar PathDelimiter() { return u'/'; }

QString AppDataFolder() { return XdgFolder("XDG_CONFIG_HOME", QStringLiteral(".config")); }

QString TempFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && IsPrivateFolder(runtime)) {
        return QDir::cleanPath(runtime);
    }
    return XdgFolder("XDG_CACHE_HOME", QStringLiteral(".cache"));
}

} // namespace SystemFolders
