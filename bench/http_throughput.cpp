// http_throughput: downloads a 64 MiB and a 1 GiB file from nginx on loopback
// (started here with its own configuration, pid and log files, HTTP and HTTPS)
// with THttpClient::Get and with the curl command line, into /dev/null and into
// a file, and prints the throughputs, their ratios and the peak RSS of each
// THttpClient download (each runs in a child process of its own, so that its
// peak is its own). Needs the nginx, curl and openssl commands. Everything lives
// in one temporary folder that is removed at the end.
//
//   build/release/bench/http_throughput            run the whole benchmark
//   http_throughput --get URL OUTPUT               one download (used internally)
#include "http/HttpClient.h"
#include "sv.Exceptions.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

constexpr qint64 kMiB = qint64{1024} * 1024;

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

pid_t Spawn(const std::vector<QByteArray> &args, const char *output = nullptr) {
    std::vector<char *> argv;
    argv.reserve(args.size() + 1);
    for (const QByteArray &arg : args) {
        argv.push_back(const_cast<char *>(arg.constData()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (output != nullptr) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output,
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (QByteArray(output) == "/dev/null") {
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, output, O_WRONLY, 0);
        }
    }
    pid_t pid = -1;
    const int result = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return result == 0 ? pid : -1;
}

bool Run(const std::vector<QByteArray> &args, const char *output = nullptr) {
    const pid_t pid = Spawn(args, output);
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// The child's side: one download, then "seconds peak-rss-kib" on stdout.
int GetOne(const QString &url, const QString &output) {
    QFile file(output);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(output));
        return 1;
    }
    THttpClient client;
    const double start = Now();
    try {
        client.Get(url, file);
    } catch (const Exception &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    file.close();
    const double seconds = Now() - start;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%.6f %ld\n", seconds, usage.ru_maxrss);
    return 0;
}

void WriteFile(const QString &path, qint64 size) {
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QByteArray block(kMiB, Qt::Uninitialized);
    quint32 x = 2463534242U;
    for (char &c : block) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    for (qint64 written = 0; written < size; written += kMiB) {
        file.write(block);
    }
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
}

struct TResult {
    double Seconds = -1;
    long PeakKiB = 0;
};

class TBench final {
public:
    explicit TBench(const char *self) : FSelf(self) {}
    ~TBench() {
        if (FNginx > 0) {
            kill(FNginx, SIGQUIT);
            int status = 0;
            waitpid(FNginx, &status, 0);
        }
    }
    TBench(const TBench &) = delete;
    TBench &operator=(const TBench &) = delete;

    int Main() {
        if (!FDir.isValid()) {
            return 1;
        }
        // nginx's workers may run as another user: they must be able to read the files.
        QFile::setPermissions(FDir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                               QFile::ReadOther | QFile::ExeOther |
                                               QFile::ReadGroup | QFile::ExeGroup);
        FPath = FDir.path() + u'/';
        QDir().mkpath(FPath + QStringLiteral("www"));
        QFile::setPermissions(FPath + QStringLiteral("www"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                  QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup |
                                  QFile::ExeGroup);
        if (!MakeCertificate() || !StartNginx()) {
            return 1;
        }
        qputenv("SSL_CERT_FILE", QFile::encodeName(FPath + QStringLiteral("cert.pem")));
        std::printf("%-6s %-9s %-6s %12s %12s %7s %14s\n", "proto", "sink", "size", "client MB/s",
                    "curl MB/s", "ratio", "peak RSS KiB");
        for (const qint64 size : {64 * kMiB, 1024 * kMiB}) {
            const QString name = QStringLiteral("f%1.bin").arg(size / kMiB);
            WriteFile(FPath + QStringLiteral("www/") + name, size);
            for (const bool tls : {false, true}) {
                for (const bool toFile : {false, true}) {
                    Measure(size, name, tls, toFile);
                }
            }
            QFile::remove(FPath + QStringLiteral("www/") + name);
        }
        return FFailed ? 1 : 0;
    }

private:
    bool MakeCertificate() {
        const QByteArray dir = QFile::encodeName(FPath);
        return Run({"openssl",
                    "req",
                    "-x509",
                    "-newkey",
                    "ec",
                    "-pkeyopt",
                    "ec_paramgen_curve:P-256",
                    "-nodes",
                    "-keyout",
                    dir + "key.pem",
                    "-out",
                    dir + "cert.pem",
                    "-days",
                    "2",
                    "-subj",
                    "/CN=127.0.0.1",
                    "-addext",
                    "subjectAltName=IP:127.0.0.1",
                    "-addext",
                    "basicConstraints=critical,CA:TRUE"},
                   "/dev/null");
    }

    bool StartNginx() {
        FHttpPort = FreePort();
        FHttpsPort = FreePort();
        const QString config =
            QStringLiteral(
                "daemon off;\nmaster_process on;\nworker_processes 1;\npid %1nginx.pid;\n"
                "error_log %1error.log;\nevents { worker_connections 64; }\n"
                "http {\n access_log off;\n sendfile on;\n tcp_nopush on;\n"
                " client_body_temp_path %1tmp-body;\n proxy_temp_path %1tmp-proxy;\n"
                " fastcgi_temp_path %1tmp-fastcgi;\n uwsgi_temp_path %1tmp-uwsgi;\n"
                " scgi_temp_path %1tmp-scgi;\n types { application/octet-stream bin; }\n"
                " server {\n  listen 127.0.0.1:%2;\n  listen 127.0.0.1:%3 ssl;\n"
                "  ssl_certificate %1cert.pem;\n  ssl_certificate_key %1key.pem;\n"
                "  root %1www;\n }\n}\n")
                .arg(FPath)
                .arg(FHttpPort)
                .arg(FHttpsPort);
        QFile file(FPath + QStringLiteral("nginx.conf"));
        file.open(QIODevice::WriteOnly);
        file.write(config.toUtf8());
        file.close();
        const QByteArray dir = QFile::encodeName(FPath);
        FNginx = Spawn({"nginx", "-p", dir, "-c", dir + "nginx.conf", "-e", dir + "error.log"});
        for (int i = 0; i < 100; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (Run({"curl", "-sf", "-o", "/dev/null",
                     "http://127.0.0.1:" + QByteArray::number(FHttpPort) + "/"},
                    nullptr) ||
                Run({"curl", "-s", "-o", "/dev/null",
                     "http://127.0.0.1:" + QByteArray::number(FHttpPort) + "/x"})) {
                return true;
            }
        }
        std::fprintf(stderr, "nginx did not start\n");
        return false;
    }

    static int FreePort() {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof(address);
        if (bind(fd, reinterpret_cast<sockaddr *>(&address), length) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
            address.sin_port = 0;
        }
        close(fd);
        return ntohs(address.sin_port);
    }

    TResult Ours(const QByteArray &url, const QByteArray &output) {
        const QByteArray report = QFile::encodeName(FPath + QStringLiteral("report.txt"));
        TResult result;
        if (Run({FSelf, "--get", url, output}, report.constData())) {
            QFile file(QString::fromLocal8Bit(report));
            file.open(QIODevice::ReadOnly);
            const QList<QByteArray> parts = file.readAll().trimmed().split(' ');
            if (parts.size() == 2) {
                result.Seconds = parts[0].toDouble();
                result.PeakKiB = parts[1].toLong();
            }
        }
        return result;
    }

    TResult Curl(const QByteArray &url, const QByteArray &output) {
        const QByteArray cert = QFile::encodeName(FPath + QStringLiteral("cert.pem"));
        TResult result;
        const double start = Now();
        if (Run({"curl", "-sSf", "--cacert", cert, "-o", output, url})) {
            result.Seconds = Now() - start;
        }
        return result;
    }

    static TResult Better(const TResult &a, const TResult &b) {
        if (a.Seconds <= 0) {
            return b;
        }
        return b.Seconds > 0 && b.Seconds < a.Seconds ? b : a;
    }

    // One download; a downloaded file is removed afterwards (never the null device).
    TResult Timed(TResult (TBench::*client)(const QByteArray &, const QByteArray &),
                  const QByteArray &url, const QByteArray &output, bool toFile) {
        Run({"sync"});
        const TResult result = (this->*client)(url, output);
        if (toFile) {
            QFile::remove(QFile::decodeName(output));
        }
        return result;
    }

    void Measure(qint64 size, const QString &name, bool tls, bool toFile) {
        const QByteArray url = (tls ? "https://127.0.0.1:" + QByteArray::number(FHttpsPort)
                                    : "http://127.0.0.1:" + QByteArray::number(FHttpPort)) +
                               "/" + name.toLatin1();
        const QByteArray output =
            toFile ? QFile::encodeName(FPath + QStringLiteral("download.bin")) : "/dev/null";
        // Best of two runs each, alternating, with the page cache's dirty pages
        // written out first, so that neither client pays for the other's writes.
        TResult ours;
        TResult curl;
        for (int round = 0; round < 2; ++round) {
            const TResult oursNow = Timed(&TBench::Ours, url, output, toFile);
            const TResult curlNow = Timed(&TBench::Curl, url, output, toFile);
            ours = Better(ours, oursNow);
            curl = Better(curl, curlNow);
        }
        if (ours.Seconds <= 0 || curl.Seconds <= 0) {
            std::printf("%-6s %-9s %4lldMiB  download failed\n", tls ? "https" : "http",
                        toFile ? "file" : "/dev/null", size / kMiB);
            FFailed = true;
            return;
        }
        const double oursRate = static_cast<double>(size) / 1e6 / ours.Seconds;
        const double curlRate = static_cast<double>(size) / 1e6 / curl.Seconds;
        std::printf("%-6s %-9s %4lldMiB %12.1f %12.1f %7.2f %14ld\n", tls ? "https" : "http",
                    toFile ? "file" : "/dev/null", size / kMiB, oursRate, curlRate,
                    oursRate / curlRate, ours.PeakKiB);
        std::fflush(stdout);
    }

    QByteArray FSelf;
    QTemporaryDir FDir;
    QString FPath;
    pid_t FNginx = -1;
    int FHttpPort = 0;
    int FHttpsPort = 0;
    bool FFailed = false;
};

} // namespace

int main(int argc, char **argv) {
    if (argc == 4 && QByteArray(argv[1]) == "--get") {
        return GetOne(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    TBench bench(argv[0]);
    return bench.Main();
}
