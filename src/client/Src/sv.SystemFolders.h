// sv.SystemFolders: the user's folders that the program keeps its files in (one
// implementation per platform under platform/). Called on the main thread.
#pragma once

#include <QString>

namespace SystemFolders {

// The character that separates folders in a path.
[[nodiscard]] QChar PathDelimiter();
// The user's (roaming) application-data folder, without a trailing separator.
[[nodiscard]] QString AppDataFolder();
// The user's private temporary folder in its long form.
[[nodiscard]] QString TempFolder();

// Settings folder: AppDataFolder + delimiter + ".svk" + delimiter.
[[nodiscard]] QString SettingsFolder();
// Sound-file folder: TempFolder combined with ".svk" (a delimiter inserted unless
// the folder already ends with one), then a delimiter.
[[nodiscard]] QString SoundFileFolder();

} // namespace SystemFolders
