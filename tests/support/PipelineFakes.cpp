#include "support/PipelineFakes.h"

#include "sv.Exceptions.h"

#include <QFile>

#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

void TGate::Open() {
    {
        const std::lock_guard lock(FMutex);
        FOpen = true;
    }
    FOpened.notify_all();
}

bool TGate::Pass(int timeoutMs) {
    std::unique_lock lock(FMutex);
    return FOpened.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return FOpen; });
}

void TFakeDownloads::Script(const QString &url, TFakeAnswer answer) {
    const std::lock_guard lock(FMutex);
    FScript[url] = std::move(answer);
}

void TFakeDownloads::SetRandomDelay(int maxMs, int failOneIn) {
    const std::lock_guard lock(FMutex);
    FRandomMaxMs = maxMs;
    FFailOneIn = failOneIn;
}

TDownloadProcedure TFakeDownloads::Procedure() {
    return [self = shared_from_this()](const QString &url, const QString &localPath) {
        self->download(url, localPath);
    };
}

int TFakeDownloads::Peak() const {
    const std::lock_guard lock(FMutex);
    return FPeak;
}

int TFakeDownloads::Finished() const {
    const std::lock_guard lock(FMutex);
    return FFinished;
}

bool TFakeDownloads::WaitStarted(int n, int timeoutMs) {
    std::unique_lock lock(FMutex);
    return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return FStarted >= n; });
}

bool TFakeDownloads::WaitFinished(int n, int timeoutMs) {
    std::unique_lock lock(FMutex);
    return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return FFinished >= n; });
}

void TFakeDownloads::download(const QString &url, const QString &localPath) {
    TFakeAnswer answer;
    {
        const std::lock_guard lock(FMutex);
        if (const auto it = FScript.find(url); it != FScript.end()) {
            answer = it->second;
        } else if (FRandomMaxMs > 0 || FFailOneIn > 0) {
            thread_local std::mt19937 random(std::random_device{}());
            answer.DelayMs = std::uniform_int_distribution<int>(0, FRandomMaxMs)(random);
            if (FFailOneIn > 0 && std::uniform_int_distribution<int>(1, FFailOneIn)(random) == 1) {
                answer.Fail = QStringLiteral("random failure");
            }
        }
        FPeak = std::max(FPeak, ++FInFlight);
        ++FStarted;
    }
    FChanged.notify_all();
    const auto finish = [this] {
        {
            const std::lock_guard lock(FMutex);
            --FInFlight;
            ++FFinished;
        }
        FChanged.notify_all();
    };
    if (answer.Gate) {
        answer.Gate->Pass();
    }
    if (answer.DelayMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(answer.DelayMs));
    }
    if (!answer.Fail.isEmpty()) {
        finish();
        throw Exception(answer.Fail);
    }
    // Plain stdio, not QFile: a QObject would give the pool's long-lived worker
    // threads Qt thread data that exists until the process ends.
    std::FILE *file = std::fopen(QFile::encodeName(localPath).constData(), "wb");
    if (file == nullptr) {
        finish();
        throw Exception(QStringLiteral("Cannot create file ") + localPath);
    }
    const QByteArray content = url.toUtf8();
    std::fwrite(content.constData(), 1, static_cast<size_t>(content.size()), file);
    std::fclose(file);
    finish();
}

TRetriever::TActionFunction TActionLog::Callback(std::optional<TRetriever::TActionKind> throwOn) {
    return [self = shared_from_this(), throwOn](TRetriever::TActionKind kind, const QString &text) {
        {
            const std::lock_guard lock(self->FMutex);
            self->FActions.emplace_back(kind, text);
            ++self->FCount;
        }
        self->FAdded.notify_all();
        if (throwOn && *throwOn == kind) {
            throw Exception(QStringLiteral("receiver failed"));
        }
    };
}

std::optional<TActionLog::TAction> TActionLog::Next(int timeoutMs) {
    std::unique_lock lock(FMutex);
    if (!FAdded.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [this] { return !FActions.empty(); })) {
        return std::nullopt;
    }
    TAction action = FActions.front();
    FActions.pop_front();
    return action;
}

int TActionLog::Count() const {
    const std::lock_guard lock(FMutex);
    return FCount;
}

bool WaitUntil(const std::function<bool()> &condition, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
