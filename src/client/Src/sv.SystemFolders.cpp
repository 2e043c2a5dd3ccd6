#include "sv.SystemFolders.h"

namespace SystemFolders {

QString SettingsFolder() {
    const QChar delimiter = PathDelimiter();
    return AppDataFolder() + delimiter + QStringLiteral(".svk") + delimiter;
}

QString SoundFileFolder() {
    const QChar delimiter = PathDelimiter();
    QString folder = TempFolder();
    if (!folder.endsWith(delimiter)) {
        folder += delimiter;
    }
    return folder + QStringLiteral(".svk") + delimiter;
}

} // namespace SystemFolders
