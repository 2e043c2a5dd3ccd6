// sv.PlaylistQueue: the playlist queue of one reading. Downloads the parts of a
// playlist on the task pool, a few ahead of the part handed out last, and hands the
// local files out strictly in playlist order.
// Threads: the consumer (a retriever task) calls GetNextFileToPlay; the downloads run
// on pool threads, several at once; creation, Cancel and destruction run on a task
// that starts a reading or on the main thread at program end. The queue's lock is
// held only for short bookkeeping, never across a download or a wait.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

enum class TPlaylistQueueStatus : std::uint8_t {
    NOT_READY,
    SUCCESS,
    FAIL,
    NO_MORE_FILES,
    CANCELLED, // set only by the downloader
};

struct TPlaylistLocalFile {
    TPlaylistQueueStatus Status = TPlaylistQueueStatus::NOT_READY;
    QString URL;
    QString LocalPath; // only in records made by a successful download
    std::int32_t PartIndex0 = 0;
    QString ErrorMessage; // only in FAIL records
};

// The download procedure: creates the file at localPath with the content found at
// url, or raises an error. Called on pool threads, several at once.
using TDownloadProcedure = std::function<void(const QString &url, const QString &localPath)>;

// The queue's time limits and optional observers (for tests and diagnostics; they
// must only record).
struct TPlaylistQueueOptions {
    int PartWaitMs = 10000;  // the consumer's wait for one part
    int CancelWaitMs = 1000; // Cancel's and destruction's wait for each task
    // A part's task was started; called under the queue's lock.
    std::function<void(std::int32_t partIndex0)> OnTaskStarted;
    // The consumer begins to wait for a part; called without the lock.
    std::function<void(std::int32_t partIndex0)> OnConsumerWaits;
};

class IPlaylistQueue {
public:
    virtual ~IPlaylistQueue() = default;
    virtual TPlaylistLocalFile GetNextFileToPlay() = 0;
    virtual void Cancel() = 0;
    [[nodiscard]] virtual bool IsCanceled() const = 0;
    // As Cancel, but waits for no task, neither now nor at destruction: for the
    // program's end, which never waits for a download that does not end.
    virtual void CancelAtOnce() = 0;
};

// Forms the local path of a part's URL: a five-piece URL (scheme://server/folder/name)
// keeps its name when that is a plain file name on every platform; any other URL gets
// a new braced GUID name. Raises when the path cannot be formed.
QString PlaylistLocalPath(const QString &folder, const QString &url);

class TPlaylistQueue final : public IPlaylistQueue {
public:
    // Creates the folder when missing (its failure passes out) and starts part 0.
    TPlaylistQueue(const QStringList &urls, const QString &pathTempFolder,
                   TDownloadProcedure downloader, TPlaylistQueueOptions options = {});
    ~TPlaylistQueue() override;
    TPlaylistQueue(const TPlaylistQueue &) = delete;
    TPlaylistQueue &operator=(const TPlaylistQueue &) = delete;

    TPlaylistLocalFile GetNextFileToPlay() override;
    void Cancel() override;
    [[nodiscard]] bool IsCanceled() const override;
    void CancelAtOnce() override;

    // The stored outcome of one part, as it stands now.
    [[nodiscard]] TPlaylistLocalFile ResultOf(std::int32_t partIndex0) const;

    class TState;

private:
    void cancel_and_wait();

    // Shared with the download tasks, so a task that outlives the queue stays safe.
    std::shared_ptr<TState> FState;
    // Serialises the consumers; never the queue's lock, which is not held across waits.
    std::mutex FConsumerLock;
};
