#include "sv.Downloader.h"

#include "logfile.h"
#include "sv.Exceptions.h"
#include "sv.Utils.h"

#include <utility>

TDownloader::TDownloader(const QString &tempFolderPath, TSendTextFunction funcSendText,
                         TDownloadProcedure funcGetMp3, TPlaylistQueueOptions queueOptions)
    : FTempFolder(tempFolderPath), FFuncSendText(std::move(funcSendText)),
      FFuncGetMp3(std::move(funcGetMp3)), FQueueOptions(std::move(queueOptions)) {
    ForceFolder(FTempFolder);
    LogLine(QStringLiteral("TDownloader.Create:") + FTempFolder);
}

TDownloader::~TDownloader() {
    if (auto queue = replace_queue(nullptr)) {
        queue->Cancel();
    }
}

void TDownloader::Start(const QString &theText, std::int32_t speed) {
    LogLine(QStringLiteral("TDownloader.Start.start"));
    {
        const std::lock_guard lock(FLock);
        if (auto old = replace_queue(nullptr)) {
            old->Cancel();
            old.reset(); // destroys it unless a Next still holds it
        }
        if (FCanceled) {
            return; // the owner is gone: nothing more is sent
        }
        const TSendTextInfo info(theText, QString::number(speed));
        const QStringList urls = FFuncSendText(info);
        replace_queue(
            std::make_shared<TPlaylistQueue>(urls, FTempFolder, FFuncGetMp3, FQueueOptions));
        // Cancel sets the flag before it reads the queue, so one of the two sees the other.
        if (FCanceled) {
            if (auto queue = current_queue()) {
                queue->CancelAtOnce();
            }
        }
    }
    LogLine(QStringLiteral("TDownloader.Start.end"));
}

TPlaylistLocalFile TDownloader::Next() {
    LogLine(QStringLiteral("TDownloader.Next.start"));
    const std::shared_ptr<IPlaylistQueue> queue = current_queue();
    if (!queue) {
        throw Exception(QStringLiteral("There is no downloading task"));
    }
    TPlaylistLocalFile result;
    if (queue->IsCanceled()) {
        result.Status = TPlaylistQueueStatus::CANCELLED;
    } else {
        result = queue->GetNextFileToPlay();
        if (queue->IsCanceled()) {
            result.Status = TPlaylistQueueStatus::CANCELLED;
        }
    }
    LogLine(QStringLiteral("TDownloader.Next.end"));
    return result;
}

void TDownloader::CancelAtOnce() {
    LogLine(QStringLiteral("TDownloader.CancelAtOnce"));
    FCanceled = true;
    if (auto queue = current_queue()) {
        queue->CancelAtOnce();
    }
}

std::shared_ptr<IPlaylistQueue> TDownloader::current_queue() const {
    const std::lock_guard lock(FQueueRefLock);
    return FPlaylistQueue;
}

std::shared_ptr<IPlaylistQueue> TDownloader::replace_queue(std::shared_ptr<IPlaylistQueue> queue) {
    const std::lock_guard lock(FQueueRefLock);
    std::swap(FPlaylistQueue, queue);
    return queue;
}
