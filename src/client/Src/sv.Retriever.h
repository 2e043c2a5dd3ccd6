// sv.Retriever: drives a reading for the main window without blocking it. Start
// begins a new reading, StartToPlayNextFile asks for the next file of the current
// one; each runs on the task pool and ends with at most one call of the action
// callback: play this file, the reading is done, or an error.
// Threads: Start, StartToPlayNextFile and destruction on the owner's thread (they
// return at once); the task bodies and the action callback on pool threads. The
// callback must hand the action over to its own thread without waiting for it, and
// no call of it begins or is still running once the destructor has returned.
#pragma once

#include <QString>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

class IDownloader;
struct TPlaylistLocalFile;

class TRetriever final {
public:
    enum class TActionKind { PLAY_FILE, PLAY_IS_DONE, ERROR };
    using TActionFunction = std::function<void(TActionKind action, const QString &text)>;

    TRetriever(std::shared_ptr<IDownloader> downloader, TActionFunction funcAction);
    // Stops the reports and cancels the current queue at once, waiting for no
    // download; tasks that still run keep the downloader alive until they end.
    ~TRetriever();
    TRetriever(const TRetriever &) = delete;
    TRetriever &operator=(const TRetriever &) = delete;

    void Start(const QString &theText, std::int32_t speedOfReading);
    void StartToPlayNextFile();

private:
    struct TShared;

    static TPlaylistLocalFile get_next_file_to_play(TShared &shared);
    static void dispatch_action(TShared &shared, const TPlaylistLocalFile &file);
    static void handle_exception(TShared &shared, const std::exception &error);
    static void run_task(const std::shared_ptr<TShared> &shared, const QString &name,
                         const std::function<void()> &beforeNext);

    std::shared_ptr<TShared> FShared;
};
