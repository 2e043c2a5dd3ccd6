#include "support/DesktopPrograms.h"

#include "support/TempHome.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QThread>

#include <stdexcept>
#include <utility>

namespace {

constexpr int kLimitMs = 60000;

// The environment of the test process, with Qt on the X server whatever the test uses itself.
QProcessEnvironment XcbEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return environment;
}

// The id of the visible window of a process, once there is one.
QString VisibleWindowOf(const QProcess &process) {
    QProcess search;
    search.start(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--sync"),
                  QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                  QString::number(process.processId())});
    if (!search.waitForFinished(kLimitMs)) {
        search.kill();
        search.waitForFinished();
        return {};
    }
    const QList<QByteArray> ids = search.readAllStandardOutput().trimmed().split('\n');
    return QString::fromLatin1(ids.front().trimmed());
}

} // namespace

QByteArray Xdotool(const QStringList &arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForFinished(kLimitMs) || process.exitCode() != 0) {
        return {};
    }
    return process.readAllStandardOutput();
}

TMarkedTextWindow::TMarkedTextWindow(const QString &binary, const QString &text) {
    FProcess.setProcessEnvironment(XcbEnvironment());
    FProcess.start(binary, {});
    if (!FProcess.waitForStarted(kLimitMs)) {
        throw std::runtime_error("cannot start the marked-text window");
    }
    FProcess.write(text.toUtf8());
    FProcess.waitForBytesWritten(kLimitMs);
    FProcess.closeWriteChannel();
    // The helper says "ready" once it is shown and owns the primary selection.
    QByteArray said;
    while (!said.contains("ready") && FProcess.waitForReadyRead(kLimitMs)) {
        said += FProcess.readAllStandardOutput();
    }
    FWindowId = VisibleWindowOf(FProcess);
    if (!said.contains("ready") || FWindowId.isEmpty()) {
        throw std::runtime_error("the marked-text window did not come up");
    }
}

TMarkedTextWindow::~TMarkedTextWindow() {
    FProcess.kill();
    FProcess.waitForFinished(kLimitMs);
}

TSonavikProgram::TSonavikProgram(const QString &binary, QString logFile)
    : FLogFile(std::move(logFile)) {
    FProcess.setProcessEnvironment(XcbEnvironment());
    FProcess.setProcessChannelMode(QProcess::ForwardedChannels);
    FProcess.start(binary, {});
    if (!FProcess.waitForStarted(kLimitMs)) {
        throw std::runtime_error("cannot start sonavik");
    }
    FWindowId = VisibleWindowOf(FProcess);
    if (FWindowId.isEmpty() || !WaitForLog(QStringLiteral("FormShow.end"))) {
        throw std::runtime_error("sonavik's window did not come up");
    }
}

TSonavikProgram::~TSonavikProgram() {
    if (Running()) {
        FProcess.kill();
        FProcess.waitForFinished(kLimitMs);
    }
}

void TSonavikProgram::Activate() const {
    Xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), FWindowId});
}

void TSonavikProgram::PressPlay() {
    Activate();
    Xdotool({QStringLiteral("key"), QStringLiteral("alt+a")});
}

void TSonavikProgram::ClickStop() {
    // The middle of the Stop button in the window's normal size.
    Xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QStringLiteral("--window"),
             FWindowId, QStringLiteral("136"), QStringLiteral("50"), QStringLiteral("click"),
             QStringLiteral("1")});
}

int TSonavikProgram::Close() {
    Activate();
    Xdotool({QStringLiteral("key"), QStringLiteral("alt+F4")});
    if (!FProcess.waitForFinished(kLimitMs) || FProcess.exitStatus() != QProcess::NormalExit) {
        return -1;
    }
    return FProcess.exitCode();
}

QString TSonavikProgram::Log() const {
    return QString::fromUtf8(ReadBytes(FLogFile));
}

bool TSonavikProgram::WaitForLog(const QString &text) const {
    QElapsedTimer timer;
    timer.start();
    while (!Log().contains(text)) {
        if (timer.elapsed() > kLimitMs || FProcess.state() != QProcess::Running) {
            return false;
        }
        QThread::msleep(20);
    }
    return true;
}
