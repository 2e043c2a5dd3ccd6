#include "sv.PlaylistQueue.h"

#include "logfile.h"
#include "sv.Exceptions.h"
#include "sv.TaskPool.h"
#include "sv.Utils.h"

#include <QDir>
#include <QUuid>

#include <algorithm>
#include <atomic>
#include <exception>
#include <utility>
#include <vector>

namespace {

QString MessageOf(const std::exception &error) {
    if (const auto *own = dynamic_cast<const Exception *>(&error)) {
        return own->Message();
    }
    return QString::fromLocal8Bit(error.what());
}

bool IsReservedDeviceName(const QString &name) {
    // Windows reserves these names with any extension ("NUL.mp3" too).
    const QString stem = name.section(u'.', 0, 0).trimmed().toUpper();
    static const QStringList plain = {QStringLiteral("CON"), QStringLiteral("PRN"),
                                      QStringLiteral("AUX"), QStringLiteral("NUL")};
    if (plain.contains(stem)) {
        return true;
    }
    return stem.size() == 4 && (stem.startsWith(u"COM") || stem.startsWith(u"LPT")) &&
           stem[3] >= u'1' && stem[3] <= u'9';
}

// A name that every platform stores as one file inside the folder.
bool IsPlainFileName(const QString &name) {
    if (name == u"." || name == u".." || name.toUtf8().size() > 255) {
        return false;
    }
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || QStringView(u"/\\:*?\"<>|").contains(c)) {
            return false;
        }
    }
    return !IsReservedDeviceName(name);
}

QString JoinPath(const QString &folder, const QString &name) {
    if (folder.contains(QChar(u'\0')) || name.contains(QChar(u'\0'))) {
        throw Exception(QStringLiteral("Invalid characters in path"));
    }
    if (folder.isEmpty()) {
        return name;
    }
    if (name.isEmpty()) {
        return folder;
    }
    if (QDir::isAbsolutePath(name)) {
        return name;
    }
    if (folder.endsWith(u'/') || folder.endsWith(QDir::separator())) {
        return folder + name;
    }
    return folder + QDir::separator() + name;
}

} // namespace

QString PlaylistLocalPath(const QString &folder, const QString &url) {
    const QStringList pieces = url.isEmpty() ? QStringList() : url.split(u'/');
    // An empty fifth piece is kept: the path is then the folder itself and the part fails.
    if (pieces.size() == 5 && (pieces[4].isEmpty() || IsPlainFileName(pieces[4]))) {
        QString path = JoinPath(folder, pieces[4]);
        LogLine(QStringLiteral("TPlaylistQueue.do_task.2:") + path);
        return path;
    }
    QString path = JoinPath(folder, QUuid::createUuid().toString(QUuid::WithBraces));
    LogLine(QStringLiteral("TPlaylistQueue.do_task.3.SMTH-IS-WRONG:") + path);
    return path;
}

// The queue's data and steps, shared by the queue and its download tasks.
class TPlaylistQueue::TState final : public std::enable_shared_from_this<TState> {
public:
    TState(const QStringList &urls, QString pathTempFolder, TDownloadProcedure downloader,
           TPlaylistQueueOptions options)
        : FUrls(urls), FDownloader(std::move(downloader)),
          FPathTempFolder(std::move(pathTempFolder)), FOptions(std::move(options)) {}

    void Init() {
        const std::lock_guard lock(FMutex);
        FTasks.resize(static_cast<size_t>(FUrls.size()));
        FResults.resize(static_cast<size_t>(FUrls.size()));
        if (!FUrls.isEmpty()) {
            FTasks[0] = create_and_run_task(0);
        }
    }

    [[nodiscard]] std::int32_t Count() const { return static_cast<std::int32_t>(FUrls.size()); }

    // Caller holds FMutex.
    TTaskHandle create_and_run_task(std::int32_t partIndex0) {
        LogLine(QStringLiteral("TPlaylistQueue.create_and_run_task.start"));
        if (FCanceled) {
            return {};
        }
        TTaskHandle handle = TTaskPool::Shared().Run(
            [state = shared_from_this(), partIndex0] { state->task_body(partIndex0); });
        if (FOptions.OnTaskStarted) {
            FOptions.OnTaskStarted(partIndex0);
        }
        LogLine(QStringLiteral("TPlaylistQueue.create_and_run_task.end"));
        return handle;
    }

    TPlaylistLocalFile register_fail_result(std::int32_t k, const QString &message) {
        LogLine(QStringLiteral("TPlaylistQueue.register_fail_result:") + message);
        const std::lock_guard lock(FMutex);
        TPlaylistLocalFile record;
        record.Status = TPlaylistQueueStatus::FAIL;
        record.URL = FUrls[k];
        record.PartIndex0 = k;
        record.ErrorMessage = message;
        FResults[static_cast<size_t>(k)] = record;
        return record;
    }

    void run_next_task_if_possible(std::int32_t i) {
        if (FCanceled) {
            return;
        }
        const QString prefix = QStringLiteral("TPlaylistQueue.run_next_task_if_possible");
        LogLine(prefix + QStringLiteral(".start"));
        {
            const std::lock_guard lock(FMutex);
            const std::int32_t upper = std::min(FLastRetrievedFile.load() + 3, Count() - 1);
            for (std::int32_t j = i + 1; j <= upper; ++j) {
                LogLine(prefix + QStringLiteral(".1:") + QString::number(j));
                auto &task = FTasks[static_cast<size_t>(j)];
                if (!task) {
                    task = create_and_run_task(j);
                    LogLine(prefix + QStringLiteral(".2:") + QString::number(j));
                    break;
                }
            }
        }
        LogLine(prefix + QStringLiteral(".end"));
    }

    std::atomic<bool> FCanceled = false;
    std::atomic<bool> FWaitForNoTask = false; // set by CancelAtOnce
    std::atomic<std::int32_t> FLastRetrievedFile = -1;
    mutable std::mutex FMutex;
    // Never changed after construction and only read through const access, so the
    // tasks may read it without the lock (a non-const QList access would detach).
    const QStringList FUrls;
    std::vector<TTaskHandle> FTasks;
    std::vector<TPlaylistLocalFile> FResults;
    const TDownloadProcedure FDownloader;
    const QString FPathTempFolder;
    const TPlaylistQueueOptions FOptions;

private:
    TPlaylistLocalFile do_task(std::int32_t k) {
        LogLine(QStringLiteral("TPlaylistQueue.do_task.start:") + QString::number(k));
        TPlaylistLocalFile record;
        record.URL = FUrls[k];
        record.PartIndex0 = k;
        LogLine(QStringLiteral("TPlaylistQueue.do_task.1:") + record.URL);
        record.LocalPath = PlaylistLocalPath(FPathTempFolder, record.URL);
        FDownloader(record.URL, record.LocalPath);
        LogLine(QStringLiteral("TPlaylistQueue.do_task.4:") + record.LocalPath);
        record.Status = TPlaylistQueueStatus::SUCCESS;
        LogLine(QStringLiteral("TPlaylistQueue.do_task.end"));
        return record;
    }

    void task_body(std::int32_t k) {
        const QString number = QString::number(k);
        QString failure;
        try {
            LogLine(QStringLiteral("create_and_run_task.1: ") + number);
            const TPlaylistLocalFile record = do_task(k);
            LogLine(QStringLiteral("create_and_run_task.2: ") + number);
            {
                const std::lock_guard lock(FMutex);
                LogLine(QStringLiteral("create_and_run_task.3: ") + number);
                // A part already declared failed (its wait timed out) stays failed.
                auto &stored = FResults[static_cast<size_t>(k)];
                if (stored.Status == TPlaylistQueueStatus::NOT_READY) {
                    stored = record;
                }
                LogLine(QStringLiteral("create_and_run_task.4: ") + number);
            }
            LogLine(QStringLiteral("create_and_run_task.5: ") + number);
        } catch (const std::exception &e) {
            LogError(e, QStringLiteral("create_and_run_task ") + number);
            failure = MessageOf(e);
        } catch (...) {
            failure = QStringLiteral("Unknown error");
        }
        if (!failure.isNull()) {
            register_fail_result(k, QStringLiteral("create_and_run_task: ") + failure);
        }
        run_next_task_if_possible(k + 1);
    }
};

TPlaylistQueue::TPlaylistQueue(const QStringList &urls, const QString &pathTempFolder,
                               TDownloadProcedure downloader, TPlaylistQueueOptions options)
    : FState(std::make_shared<TState>(urls, pathTempFolder, std::move(downloader),
                                      std::move(options))) {
    ForceFolder(pathTempFolder);
    FState->Init();
}

TPlaylistQueue::~TPlaylistQueue() {
    LogLine(QStringLiteral("TPlaylistQueue.Destroy.start"));
    cancel_and_wait();
    // The handles go now; a task that still runs keeps the data alive and its late
    // result is dropped with it.
    std::vector<TTaskHandle> tasks;
    {
        const std::lock_guard lock(FState->FMutex);
        tasks.swap(FState->FTasks);
        FState->FTasks.resize(tasks.size());
    }
    LogLine(QStringLiteral("TPlaylistQueue.Destroy.end"));
}

TPlaylistLocalFile TPlaylistQueue::GetNextFileToPlay() {
    const std::lock_guard consumer(FConsumerLock);
    TState &s = *FState;
    const QString prefix = QStringLiteral("TPlaylistQueue.GetNextFileToPlay");
    LogLine(prefix + QStringLiteral(".start"));
    const std::int32_t next = s.FLastRetrievedFile + 1;
    if (next >= s.Count()) {
        LogLine(prefix + QStringLiteral(".1"));
        TPlaylistLocalFile done;
        done.Status = TPlaylistQueueStatus::NO_MORE_FILES;
        done.PartIndex0 = next;
        return done;
    }
    LogLine(prefix + QStringLiteral(".2"));
    TTaskHandle task;
    {
        const std::lock_guard lock(s.FMutex);
        LogLine(prefix + QStringLiteral(".3:") + QString::number(next));
        auto &slot = s.FTasks[static_cast<size_t>(next)];
        if (!slot) {
            LogLine(prefix + QStringLiteral(".4"));
            slot = s.create_and_run_task(next);
        }
        task = slot;
    }
    LogLine(prefix + QStringLiteral(".5"));
    if (s.FOptions.OnConsumerWaits) {
        s.FOptions.OnConsumerWaits(next);
    }
    TPlaylistLocalFile result;
    try {
        if (!task) {
            // The queue was cancelled before this part's task could start.
            throw Exception(QStringLiteral("Cancelled"));
        }
        if (task.Wait(s.FOptions.PartWaitMs)) {
            LogLine(prefix + QStringLiteral(".7"));
            const std::lock_guard lock(s.FMutex);
            result = s.FResults[static_cast<size_t>(next)];
        } else {
            LogLine(prefix + QStringLiteral(".6"));
            task.Cancel();
            result = s.register_fail_result(next, QStringLiteral("Timeout"));
        }
        LogLine(prefix + QStringLiteral(".8"));
    } catch (const std::exception &e) {
        LogError(e, QStringLiteral("GetNextFileToPlay"));
        result = s.register_fail_result(next, MessageOf(e));
    }
    s.FLastRetrievedFile = next;
    s.run_next_task_if_possible(next);
    LogLine(prefix + QStringLiteral(".end"));
    return result;
}

void TPlaylistQueue::Cancel() {
    LogLine(QStringLiteral("TPlaylistQueue.Cancel.start"));
    cancel_and_wait();
    LogLine(QStringLiteral("TPlaylistQueue.Cancel.end"));
}

bool TPlaylistQueue::IsCanceled() const {
    return FState->FCanceled;
}

void TPlaylistQueue::CancelAtOnce() {
    LogLine(QStringLiteral("TPlaylistQueue.CancelAtOnce"));
    FState->FWaitForNoTask = true;
    cancel_and_wait();
}

TPlaylistLocalFile TPlaylistQueue::ResultOf(std::int32_t partIndex0) const {
    const std::lock_guard lock(FState->FMutex);
    return FState->FResults.at(static_cast<size_t>(partIndex0));
}

void TPlaylistQueue::cancel_and_wait() {
    // The flag first, then the snapshot under the lock: a start that passed the flag
    // check has stored its handle before the snapshot is read.
    FState->FCanceled = true;
    std::vector<TTaskHandle> snapshot;
    {
        const std::lock_guard lock(FState->FMutex);
        snapshot = FState->FTasks;
    }
    for (const TTaskHandle &task : snapshot) {
        if (!task) {
            continue;
        }
        try {
            task.Cancel();
            if (!FState->FWaitForNoTask) {
                task.Wait(FState->FOptions.CancelWaitMs);
            }
        } catch (const std::exception &e) {
            LogError(e, QStringLiteral("TPlaylistQueue.Cancel"));
        }
    }
}
