// TinyProxy: a real HTTP proxy (Debian's tinyproxy) for tests, started on a free
// loopback port with its own configuration, pid and log files in a private
// temporary folder, optionally with Basic authentication; stopped when the object
// goes. Main test thread.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <sys/types.h>

class TTinyProxy final {
public:
    // Empty user: no authentication.
    explicit TTinyProxy(const QString &user = {}, const QString &password = {});
    ~TTinyProxy();
    TTinyProxy(const TTinyProxy &) = delete;
    TTinyProxy &operator=(const TTinyProxy &) = delete;

    [[nodiscard]] int Port() const { return FPort; }
    [[nodiscard]] QString Log() const;

private:
    // False when tinyproxy ended at once (its port was taken meanwhile).
    bool Start(const QString &user, const QString &password);

    QTemporaryDir FDir;
    int FPort = 0;
    pid_t FPid = -1;
};
