#include "support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

TempHome::TempHome() {
    if (!FDir.isValid()) {
        throw std::runtime_error("cannot create a temporary folder");
    }
    Set("XDG_CONFIG_HOME", QFile::encodeName(FDir.path() + QStringLiteral("/config")));
    Set("XDG_CACHE_HOME", QFile::encodeName(FDir.path() + QStringLiteral("/cache")));
    Set("XDG_RUNTIME_DIR", QByteArray());
}

TempHome::~TempHome() {
    for (const auto &[name, saved] : FSaved) {
        if (saved.first) {
            qputenv(name.constData(), saved.second);
        } else {
            qunsetenv(name.constData());
        }
    }
}

void TempHome::Set(const char *name, const QByteArray &value) {
    if (FSaved.find(name) == FSaved.end()) {
        FSaved[name] = {qEnvironmentVariableIsSet(name), qgetenv(name)};
    }
    if (value.isNull()) {
        qunsetenv(name);
    } else {
        qputenv(name, value);
    }
}

QByteArray ReadBytes(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

void WriteBytes(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size()) {
        throw std::runtime_error("cannot write test file");
    }
}
