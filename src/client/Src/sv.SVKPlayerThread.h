// sv.SVKPlayerThread: the audio player. Plays the sound files of a reading one at a
// time through a media object and tells the main window when a file has played to
// its end. Threads: the commands, the media objects and the end-of-file notification
// belong to the main thread; the player's own thread (started by the constructor,
// stopped by the destructor) polls the media object every 200 ms and hands the
// notification over to the main thread, waiting until it has run there. One lock
// serialises every command and every poll step; it is never held across that hand-over.
#pragma once

#include "sv.Exceptions.h"
#include "sv.MediaPlayer.h"

#include <QString>
#include <QThread>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class QObject;

// An assertion in the program's own code did not hold.
class EAssertionFailed final : public Exception {
public:
    using Exception::Exception;
};

using TNotifyEvent = std::function<void(QObject *sender)>;

class TSVKPLayer final : public QThread {
public:
    enum TPlayerStatus { Stopped = 0, Playing = 1, Paused = 2, WAITING_FOR_LOADING_NEW_FILE = 3 };

    // factory makes the media object for each file; empty: the program's MP3 player.
    explicit TSVKPLayer(TMediaPlayerFactory factory = {});
    ~TSVKPLayer() override;

    TSVKPLayer(const TSVKPLayer &) = delete;
    TSVKPLayer &operator=(const TSVKPLayer &) = delete;

    void Activate();
    void SetFile(const QString &aFilename);
    void Play();
    void Pause();
    void Stop();
    void SetSoundVolume(float value);
    void DeActivate();

    // Called once per file that has played to its end, on the main thread, with no
    // sender. Not called for a file that was stopped, paused or replaced before the
    // main thread got to the notification.
    [[nodiscard]] const TNotifyEvent &OnReadyForNewFile() const { return FOnReadyForFile; }
    void SetOnReadyForNewFile(TNotifyEvent handler) { FOnReadyForFile = std::move(handler); }

    [[nodiscard]] TPlayerStatus Status() const;
    [[nodiscard]] float SoundVolume() const;
    // The current media object, or none (main thread).
    [[nodiscard]] const IMediaPlayer *MediaPlayer() const { return FMediaPlayer.get(); }

protected:
    void run() override;

private:
    void stop_locked();
    [[nodiscard]] bool poll_for_end(std::uint64_t &fileNumber);
    void notify_end(std::uint64_t fileNumber);
    void ask_to_stop();
    [[nodiscard]] bool stop_requested() const { return FStopRequested.load(); }
    void idle();

    TMediaPlayerFactory FFactory;
    mutable std::mutex FLock;
    std::unique_ptr<IMediaPlayer> FMediaPlayer;
    QString FFileToPlay;
    TPlayerStatus FStatus = Stopped;
    TNotifyEvent FOnReadyForFile;
    float FVolume = 0.0F;
    // Counts media objects, so that a late notification can tell whether its file is
    // still the current one.
    std::uint64_t FFileNumber = 0;

    std::atomic<bool> FStopRequested{false};
    std::mutex FSleepLock;
    std::condition_variable FWakeUp;
};
