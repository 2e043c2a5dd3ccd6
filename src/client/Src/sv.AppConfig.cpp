#include "sv.AppConfig.h"

#include "sv.IniFile.h"
#include "sv.Utils.h"

namespace {

const QString kSettings = QStringLiteral("SETTINGS");
const QString kView = QStringLiteral("VIEW");
constexpr qint32 kDefaultSpeed = 5;

} // namespace

TAppConfig TAppConfig::LoadSettings(const QString &settingsPath, const QString &tempPath) {
    TAppConfig config;
    ForceFolder(settingsPath);
    ForceFolder(tempPath);

    const TIniFile ini(settingsPath + QLatin1String(kFileName));
    config.UseProxy = ini.ReadBool(kSettings, QStringLiteral("UseProxy"), false);
    config.Proxy_hostname = ini.ReadString(kSettings, QStringLiteral("ProxyHost"), QString());
    config.Proxy_port = ini.ReadString(kSettings, QStringLiteral("ProxyPort"), QString());
    config.Use_User = ini.ReadBool(kSettings, QStringLiteral("UseUser"), false);
    config.Proxy_User = ini.ReadString(kSettings, QStringLiteral("ProxyUser"), QString());
    config.Proxy_Userpass = ini.ReadString(kSettings, QStringLiteral("ProxyPass"), QString());
    config.AppUid = ini.ReadString(kSettings, QStringLiteral("AppIdent"), QString());
    config.MainFormX = ini.ReadInteger(kSettings, QStringLiteral("MainFormX"), 0);
    config.MainFormY = ini.ReadInteger(kSettings, QStringLiteral("MainFormY"), 0);
    config.Speed = ini.ReadInteger(kSettings, QStringLiteral("Speed"), kDefaultSpeed);
    config.SoundPitch = ini.ReadInteger(kSettings, QStringLiteral("Pitch"), 2);
    config.SoundVolume = ini.ReadInteger(kSettings, QStringLiteral("Volume"), 20);
    config.ColorTheme = ini.ReadInteger(kView, QStringLiteral("ColorTheme"), 0);
    config.WindowSize = ini.ReadInteger(kView, QStringLiteral("WinSize"), 0);

    config.SettingsPath = settingsPath;
    config.TempFilePath = tempPath;
    return config;
}

void TAppConfig::SaveSettings(const TAppConfig &config) {
    TIniFile ini(config.SettingsPath + QLatin1String(kFileName));
    ini.WriteString(kSettings, QStringLiteral("AppIdent"), config.AppUid);
    ini.WriteBool(kSettings, QStringLiteral("UseProxy"), config.UseProxy);
    ini.WriteString(kSettings, QStringLiteral("ProxyHost"), config.Proxy_hostname);
    ini.WriteString(kSettings, QStringLiteral("ProxyPort"), config.Proxy_port);
    ini.WriteBool(kSettings, QStringLiteral("UseUser"), config.Use_User);
    ini.WriteString(kSettings, QStringLiteral("ProxyUser"), config.Proxy_User);
    ini.WriteString(kSettings, QStringLiteral("ProxyPass"), config.Proxy_Userpass);
    ini.WriteInteger(kSettings, QStringLiteral("MainFormX"), config.MainFormX);
    ini.WriteInteger(kSettings, QStringLiteral("MainFormY"), config.MainFormY);
    ini.WriteInteger(kSettings, QStringLiteral("Speed"), config.Speed);
    ini.WriteInteger(kSettings, QStringLiteral("Pitch"), config.SoundPitch);
    ini.WriteInteger(kSettings, QStringLiteral("Volume"), config.SoundVolume);
    ini.WriteInteger(kView, QStringLiteral("ColorTheme"), config.ColorTheme);
    ini.WriteInteger(kView, QStringLiteral("WinSize"), config.WindowSize);
    ini.UpdateFile();
}
