#include "sv.Retriever.h"

#include "logfile.h"
#include "sv.Downloader.h"
#include "sv.Exceptions.h"
#include "sv.TaskPool.h"

#include <mutex>
#include <utility>

// What the tasks use; they share it, so it outlives the retriever while they run.
struct TRetriever::TShared {
    TShared(std::shared_ptr<IDownloader> downloader, TActionFunction action)
        : FDownloader(std::move(downloader)), FAction(std::move(action)) {}

    // Calls the action unless the retriever is gone; rethrows the action's error.
    void Report(TActionKind kind, const QString &text) {
        const std::lock_guard lock(FActionLock);
        if (FReceiverAlive) {
            FAction(kind, text);
        }
    }

    void ReceiverGone() {
        const std::lock_guard lock(FActionLock);
        FReceiverAlive = false;
    }

    const std::shared_ptr<IDownloader> FDownloader;

private:
    const TActionFunction FAction;
    std::mutex FActionLock;
    bool FReceiverAlive = true;
};

namespace {

constexpr int kMaxNextCalls = 101;

QString MessageOf(const std::exception &error) {
    if (const auto *own = dynamic_cast<const Exception *>(&error)) {
        return own->Message();
    }
    return QString::fromLocal8Bit(error.what());
}

} // namespace

TRetriever::TRetriever(std::shared_ptr<IDownloader> downloader, TActionFunction funcAction)
    : FShared(std::make_shared<TShared>(std::move(downloader), std::move(funcAction))) {}

TRetriever::~TRetriever() {
    FShared->ReceiverGone();
    FShared->FDownloader->CancelAtOnce();
}

void TRetriever::Start(const QString &theText, std::int32_t speedOfReading) {
    LogLine(QStringLiteral("TRetriever.Start.start"));
    TTaskPool::Shared().Run([shared = FShared, theText, speedOfReading] {
        run_task(shared, QStringLiteral("TRetriever.Start.task"),
                 [&] { shared->FDownloader->Start(theText, speedOfReading); });
    });
    LogLine(QStringLiteral("TRetriever.Start.end"));
}

void TRetriever::StartToPlayNextFile() {
    LogLine(QStringLiteral("TRetriever.StartToPlayNextFile.start"));
    TTaskPool::Shared().Run([shared = FShared] {
        run_task(shared, QStringLiteral("TRetriever.StartToPlayNextFile.task"), nullptr);
    });
    LogLine(QStringLiteral("TRetriever.StartToPlayNextFile.end"));
}

void TRetriever::run_task(const std::shared_ptr<TShared> &shared, const QString &name,
                          const std::function<void()> &beforeNext) {
    try {
        try {
            LogLine(name + QStringLiteral(".start"));
            if (beforeNext) {
                beforeNext();
            }
            dispatch_action(*shared, get_next_file_to_play(*shared));
            LogLine(name + QStringLiteral(".end"));
        } catch (const std::exception &e) {
            handle_exception(*shared, e);
        }
    } catch (const std::exception &e) {
        // The action failed again while reporting the first error.
        LogError(e, name);
    } catch (...) {
        LogLine(name + QStringLiteral(": unknown error"));
    }
}

TPlaylistLocalFile TRetriever::get_next_file_to_play(TShared &shared) {
    TPlaylistLocalFile file;
    for (int call = 0; call < kMaxNextCalls; ++call) {
        file = shared.FDownloader->Next();
        LogLine(QStringLiteral("get_next_file_to_play:") +
                QString::number(static_cast<int>(file.Status)));
        if (file.Status != TPlaylistQueueStatus::FAIL) {
            break;
        }
    }
    return file;
}

void TRetriever::dispatch_action(TShared &shared, const TPlaylistLocalFile &file) {
    switch (file.Status) {
    case TPlaylistQueueStatus::SUCCESS:
        shared.Report(TActionKind::PLAY_FILE, file.LocalPath);
        break;
    case TPlaylistQueueStatus::FAIL:
        shared.Report(TActionKind::ERROR, file.ErrorMessage);
        break;
    case TPlaylistQueueStatus::NO_MORE_FILES:
        shared.Report(TActionKind::PLAY_IS_DONE, QString());
        break;
    case TPlaylistQueueStatus::CANCELLED:
        break; // a reading that was replaced or ended reports nothing more
    default:
        shared.Report(TActionKind::ERROR, QStringLiteral("Internal error"));
        break;
    }
}

void TRetriever::handle_exception(TShared &shared, const std::exception &error) {
    shared.Report(TActionKind::ERROR, MessageOf(error));
    LogError(error, QStringLiteral("TRetriever.handle_exception"));
}
