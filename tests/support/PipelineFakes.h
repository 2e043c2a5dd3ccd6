// Test doubles for the retrieval pipeline: a gate that holds threads until opened,
// a download procedure that writes real files with scripted delays, failures and
// gates, and a recorder of the retriever's actions. Everything is shared through
// shared_ptr, so tasks that outlive a test stay safe.
#pragma once

#include "sv.PlaylistQueue.h"
#include "sv.Retriever.h"

#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

class TGate {
public:
    void Open();
    // Returns false when the time ran out before the gate opened.
    bool Pass(int timeoutMs = 60000);

private:
    std::mutex FMutex;
    std::condition_variable FOpened;
    bool FOpen = false;
};

// How the fake server answers one URL.
struct TFakeAnswer {
    int DelayMs = 0;
    QString Fail;                // non-empty: the download raises this message
    std::shared_ptr<TGate> Gate; // set: the download waits for it first
};

class TFakeDownloads : public std::enable_shared_from_this<TFakeDownloads> {
public:
    static std::shared_ptr<TFakeDownloads> Create() { return std::make_shared<TFakeDownloads>(); }

    void Script(const QString &url, TFakeAnswer answer);
    // Every URL not scripted: each download waits a random time in [0, maxMs].
    void SetRandomDelay(int maxMs, int failOneIn = 0);
    TDownloadProcedure Procedure();

    [[nodiscard]] int Peak() const;
    [[nodiscard]] int Finished() const;
    // Waits until n downloads have begun / have returned or failed.
    bool WaitStarted(int n, int timeoutMs = 60000);
    bool WaitFinished(int n, int timeoutMs = 60000);

private:
    void download(const QString &url, const QString &localPath);

    mutable std::mutex FMutex;
    std::condition_variable FChanged;
    std::map<QString, TFakeAnswer> FScript;
    int FRandomMaxMs = 0;
    int FFailOneIn = 0;
    int FInFlight = 0;
    int FPeak = 0;
    int FStarted = 0;
    int FFinished = 0;
};

// Waits until only the test holds the object, i.e. every task has let go of it.
template <typename T> bool WaitSoleOwner(const std::shared_ptr<T> &object, int timeoutMs = 60000);

class TActionLog : public std::enable_shared_from_this<TActionLog> {
public:
    using TAction = std::pair<TRetriever::TActionKind, QString>;

    static std::shared_ptr<TActionLog> Create() { return std::make_shared<TActionLog>(); }

    // The callback to give the retriever; throwOn: the callback raises after
    // recording an action of that kind.
    TRetriever::TActionFunction Callback(std::optional<TRetriever::TActionKind> throwOn = {});
    // The next action, or none when none came within the time.
    std::optional<TAction> Next(int timeoutMs = 60000);
    [[nodiscard]] int Count() const;

private:
    mutable std::mutex FMutex;
    std::condition_variable FAdded;
    std::deque<TAction> FActions;
    int FCount = 0;
};

bool WaitUntil(const std::function<bool()> &condition, int timeoutMs = 60000);

template <typename T> bool WaitSoleOwner(const std::shared_ptr<T> &object, int timeoutMs) {
    return WaitUntil([&] { return object.use_count() == 1; }, timeoutMs);
}
