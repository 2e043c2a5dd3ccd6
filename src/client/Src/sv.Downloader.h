// sv.Downloader: owns the playlist queue of the current reading. Start sends a text
// through the send-text function and replaces the queue with one for the playlist
// that comes back; Next hands out the current queue's next file, and every outcome
// of a cancelled queue as CANCELLED.
// Threads: Start and Next on retriever tasks, Cancel and destruction on the thread
// that releases the retriever. Start holds the downloader's lock for its whole
// duration (network included); Next never takes it and reads the current queue
// under a short lock of its own.
#pragma once

#include "sv.PlaylistQueue.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

struct TSendTextInfo {
    TSendTextInfo(QString text, QString speed) : Text(std::move(text)), Speed(std::move(speed)) {}

    QString Text;
    QString Speed; // the reading speed as a decimal integer
};

// Returns the playlist's URLs in reading order (possibly none) or raises.
using TSendTextFunction = std::function<QStringList(const TSendTextInfo &info)>;

class IDownloader {
public:
    virtual ~IDownloader() = default;
    virtual void Start(const QString &theText, std::int32_t speed) = 0;
    virtual TPlaylistLocalFile Next() = 0;
    // For the owner's end, while tasks may still hold the downloader: cancels the
    // current queue at once (IPlaylistQueue::CancelAtOnce), without waiting for a
    // Start in progress or for any download; a Start that ends afterwards sends
    // nothing or leaves a queue cancelled in the same way.
    virtual void CancelAtOnce() = 0;
};

class TDownloader final : public IDownloader {
public:
    // Creates the folder when missing (its failure passes out).
    TDownloader(const QString &tempFolderPath, TSendTextFunction funcSendText,
                TDownloadProcedure funcGetMp3, TPlaylistQueueOptions queueOptions = {});
    ~TDownloader() override;
    TDownloader(const TDownloader &) = delete;
    TDownloader &operator=(const TDownloader &) = delete;

    void Start(const QString &theText, std::int32_t speed) override;
    TPlaylistLocalFile Next() override;
    void CancelAtOnce() override;

private:
    std::shared_ptr<IPlaylistQueue> current_queue() const;
    std::shared_ptr<IPlaylistQueue> replace_queue(std::shared_ptr<IPlaylistQueue> queue);

    const QString FTempFolder;
    const TSendTextFunction FFuncSendText;
    const TDownloadProcedure FFuncGetMp3;
    const TPlaylistQueueOptions FQueueOptions;
    std::shared_ptr<IPlaylistQueue> FPlaylistQueue; // guarded by FQueueRefLock
    mutable std::mutex FQueueRefLock;               // the field alone, never across calls
    std::mutex FLock;                               // held by Start
    std::atomic<bool> FCanceled = false;
};
