#include "logfile.h"

#include "sv.Exceptions.h"

#include <QDateTime>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

// The sink is opened once, at the first call, and kept open until the process ends.
class LogSink {
public:
    static LogSink &Instance() {
        static LogSink sink;
        return sink;
    }

    void Write(const QString &text) {
        if (FFile == nullptr) {
            return;
        }
        std::ostringstream thread;
        thread << std::this_thread::get_id();
        const QByteArray line = QDateTime::currentDateTime()
                                    .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"))
                                    .toUtf8() +
                                " [" + QByteArray::fromStdString(thread.str()) + "] " +
                                text.toUtf8() + '\n';
        const std::lock_guard lock(FMutex);
        std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), FFile);
        std::fflush(FFile);
    }

    LogSink(const LogSink &) = delete;
    LogSink &operator=(const LogSink &) = delete;

private:
    LogSink() {
        const char *path = std::getenv("SONAVIK_LOG");
        if (path != nullptr && *path != '\0') {
            FFile = std::fopen(path, "a");
        }
    }
    ~LogSink() {
        if (FFile != nullptr) {
            std::fclose(FFile);
        }
    }

    std::mutex FMutex;
    std::FILE *FFile = nullptr;
};

QString MessageOf(const std::exception &error) {
    if (const auto *own = dynamic_cast<const Exception *>(&error)) {
        return own->Message();
    }
    return QString::fromLocal8Bit(error.what());
}

} // namespace

void LogLine(const QString &text) { LogSink::Instance().Write(text); }

void LogError(const std::exception &error, const QString &context) {
    LogSink::Instance().Write(QStringLiteral("ERROR in %1: %2").arg(context, MessageOf(error)));
}

void LogError(const std::exception &error) {
    LogSink::Instance().Write(QStringLiteral("ERROR: %1").arg(MessageOf(error)));
}
