// sv.AppConfig: the settings record and its INI file "svkconfig.ini" in the
// settings folder. A plain value type; LoadSettings and SaveSettings run on the
// calling thread (the main window calls them on the main thread).
#pragma once

#include <QString>

struct TAppConfig {
    bool UseProxy = false;
    QString Proxy_hostname;
    QString Proxy_port; // the text the user typed; the HTTP client factory converts it
    bool Use_User = false;
    QString Proxy_User;
    QString Proxy_Userpass;
    qint32 MainFormX = 0;
    qint32 MainFormY = 0;
    QString AppUid; // empty until the speech service has given one
    QString SettingsPath; // not stored; ends with a separator
    QString TempFilePath; // not stored; ends with a separator
    qint32 Speed = 0;
    qint32 SoundVolume = 20;
    qint32 SoundPitch = 2;
    qint32 ColorTheme = 0;
    qint32 WindowSize = 0;

    bool operator==(const TAppConfig &) const = default;

    static constexpr const char *kFileName = "svkconfig.ini";

    // Creates both folders when missing (a refused path raises), then reads the file;
    // reading never fails: a missing file, key or number gives the default.
    static TAppConfig LoadSettings(const QString &settingsPath, const QString &tempPath);
    // Writes every stored field. Raises "Unable to write to <file>" on failure.
    static void SaveSettings(const TAppConfig &config);
};
