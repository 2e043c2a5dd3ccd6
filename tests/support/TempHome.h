// TempHome: gives a test a private home for the program's files. XDG_CONFIG_HOME and
// XDG_CACHE_HOME point into a fresh temporary folder and XDG_RUNTIME_DIR is unset,
// so the settings folder and the sound-file folder land there; the variables are
// restored and the folder removed when the object goes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <map>

class TempHome {
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome &) = delete;
    TempHome &operator=(const TempHome &) = delete;

    [[nodiscard]] QString Path() const { return FDir.path(); }
    [[nodiscard]] QString SettingsFolder() const { return FDir.path() + QStringLiteral("/config/.svk/"); }
    [[nodiscard]] QString SoundFileFolder() const { return FDir.path() + QStringLiteral("/cache/.svk/"); }
    [[nodiscard]] QString SettingsFile() const { return SettingsFolder() + QStringLiteral("svkconfig.ini"); }

    // Sets an environment variable for the lifetime of this object.
    void Set(const char *name, const QByteArray &value);

private:
    QTemporaryDir FDir;
    std::map<QByteArray, std::pair<bool, QByteArray>> FSaved;
};

// Reads and writes whole files in tests.
QByteArray ReadBytes(const QString &path);
void WriteBytes(const QString &path, const QByteArray &bytes);
