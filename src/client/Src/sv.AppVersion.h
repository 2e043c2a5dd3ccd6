// sv.AppVersion: the version of the running program file as four decimal numbers
// joined by dots ("2.0.0.7"), shown in the settings dialog's caption. On Windows it
// is read from the program file's version resource (file version), elsewhere it is
// the version compiled in. One implementation per platform under platform/. Any thread.
#pragma once

#include <QString>

// Raises an Exception when the version resource cannot be read.
[[nodiscard]] QString GetAppVersion();
