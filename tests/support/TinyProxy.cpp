#include "support/TinyProxy.h"

#include "support/ScriptedServer.h"

#include <QFile>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <netinet/in.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace {

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}

} // namespace

TTinyProxy::TTinyProxy(const QString &user, const QString &password) {
    if (!FDir.isValid()) {
        throw std::runtime_error("tinyproxy: no temporary folder");
    }
    // The free port may be taken by someone else before tinyproxy binds it: try again.
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (Start(user, password)) {
            return;
        }
    }
    throw std::runtime_error("tinyproxy does not start: " + Log().toStdString());
}

bool TTinyProxy::Start(const QString &user, const QString &password) {
    FPort = FreeLoopbackPort();
    const QString dir = FDir.path() + u'/';
    QString config = QStringLiteral("Port %1\nListen 127.0.0.1\nAllow 127.0.0.1\nTimeout 60\n"
                                    "MaxClients 20\nDisableViaHeader Yes\nLogLevel Info\n"
                                    "LogFile \"%2tinyproxy.log\"\nPidFile \"%2tinyproxy.pid\"\n")
                         .arg(FPort)
                         .arg(dir);
    if (!user.isEmpty()) {
        config += QStringLiteral("BasicAuth %1 %2\n").arg(user, password);
    }
    QFile file(dir + QStringLiteral("tinyproxy.conf"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(config.toUtf8()) < 0) {
        throw std::runtime_error("tinyproxy: cannot write its configuration");
    }
    file.close();
    const QByteArray configPath = QFile::encodeName(file.fileName());
    char program[] = "tinyproxy";
    char foreground[] = "-d";
    char option[] = "-c";
    char *argv[] = {program, foreground, option, const_cast<char *>(configPath.constData()),
                    nullptr};
    if (::posix_spawnp(&FPid, program, nullptr, nullptr, argv, environ) != 0) {
        throw std::runtime_error(
            "tinyproxy: cannot start it (is the tinyproxy package installed?)");
    }
    for (int i = 0; i < 300; ++i) {
        if (Accepts(FPort)) {
            return true;
        }
        int status = 0;
        if (::waitpid(FPid, &status, WNOHANG) == FPid) {
            FPid = -1;
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    throw std::runtime_error("tinyproxy does not accept connections: " + Log().toStdString());
}

TTinyProxy::~TTinyProxy() {
    if (FPid > 0) {
        ::kill(FPid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && ::waitpid(FPid, &status, WNOHANG) == 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (::waitpid(FPid, &status, WNOHANG) == 0) {
            ::kill(FPid, SIGKILL);
            ::waitpid(FPid, &status, 0);
        }
    }
}

QString TTinyProxy::Log() const {
    QFile file(FDir.path() + QStringLiteral("/tinyproxy.log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
