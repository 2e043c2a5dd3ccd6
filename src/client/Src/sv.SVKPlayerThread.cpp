#include "sv.SVKPlayerThread.h"

#include "logfile.h"
#include "sv.Guard.h"
#include "sv.MainThread.h"

#include <chrono>

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(200);

// The assertion's place as the program has always reported it.
QString AssertionMessage() {
    return QStringLiteral("%1 (%2, line %3)")
        .arg(QStringLiteral("Assertion failure"), QStringLiteral("sv.SVKPlayerThread"))
        .arg(118);
}

} // namespace

TSVKPLayer::TSVKPLayer(TMediaPlayerFactory factory)
    : FFactory(factory ? std::move(factory) : TMediaPlayerFactory(CreateMediaPlayer)) {
    start();
}

TSVKPLayer::~TSVKPLayer() {
    ask_to_stop();
    wait();
    // The media object, if any, goes now, on the main thread.
}

void TSVKPLayer::ask_to_stop() {
    const std::lock_guard lock(FSleepLock);
    FStopRequested = true;
    FWakeUp.notify_all();
}

void TSVKPLayer::idle() {
    std::unique_lock lock(FSleepLock);
    FWakeUp.wait_for(lock, kPollInterval, [this] { return stop_requested(); });
}

TSVKPLayer::TPlayerStatus TSVKPLayer::Status() const {
    const std::lock_guard lock(FLock);
    return FStatus;
}

float TSVKPLayer::SoundVolume() const {
    const std::lock_guard lock(FLock);
    return FVolume;
}

void TSVKPLayer::Activate() {
    const std::lock_guard lock(FLock);
    LogLine(QStringLiteral("TSVKPlayer.Activate.start"));
    FMediaPlayer.reset();
    FStatus = Stopped;
    FFileToPlay.clear();
    FVolume = 1.0F;
    LogLine(QStringLiteral("TSVKPlayer.Activate.end"));
}

void TSVKPLayer::SetFile(const QString &aFilename) {
    const std::lock_guard lock(FLock);
    LogLine(QStringLiteral("TSVKPlayer.SetFile:") + aFilename);
    FFileToPlay = aFilename;
}

void TSVKPLayer::Play() {
    const std::lock_guard lock(FLock);
    LogLine(QStringLiteral("TSVKPlayer.Play.start:") + FFileToPlay);
    if (FStatus == Paused) {
        LogLine(QStringLiteral("TSVKPlayer.Play.1"));
        if (FMediaPlayer) {
            FMediaPlayer->SetVolume(FVolume);
            FMediaPlayer->Play();
        }
        FStatus = Playing;
    } else {
        LogLine(QStringLiteral("TSVKPlayer.Play.2"));
        if (!FFileToPlay.isEmpty()) {
            LogLine(QStringLiteral("TSVKPlayer.Play.3"));
            stop_locked();
            FMediaPlayer = FFactory();
            ++FFileNumber;
            // An error while loading passes to the caller; the state stays Stopped.
            FMediaPlayer->SetFileName(FFileToPlay);
            FMediaPlayer->SetVolume(FVolume);
            FMediaPlayer->Play();
            FStatus = Playing;
            FFileToPlay.clear();
        }
    }
    LogLine(QStringLiteral("TSVKPlayer.Play.end:") + FFileToPlay);
}

void TSVKPLayer::Pause() {
    const std::lock_guard lock(FLock);
    LogLine(QStringLiteral("TSVKPlayer.Pause.start:") + FFileToPlay);
    FStatus = Paused;
    if (FMediaPlayer) {
        FMediaPlayer->Stop();
    }
    LogLine(QStringLiteral("TSVKPlayer.Pause.end:") + FFileToPlay);
}

void TSVKPLayer::Stop() {
    const std::lock_guard lock(FLock);
    stop_locked();
}

void TSVKPLayer::stop_locked() {
    LogLine(QStringLiteral("TSVKPlayer.Stop.start:") + FFileToPlay);
    FStatus = Stopped;
    if (FMediaPlayer) {
        LogLine(QStringLiteral("TSVKPlayer.Stop.1:") + FFileToPlay);
        FMediaPlayer->Stop();
        FMediaPlayer.reset();
    }
    LogLine(QStringLiteral("TSVKPlayer.Stop.end:") + FFileToPlay);
}

void TSVKPLayer::SetSoundVolume(float value) {
    const std::lock_guard lock(FLock);
    LogLine(QStringLiteral("TSVKPlayer.SetSoundVolume:") + QString::number(double(value)));
    if (!(value >= 0.0F && value <= 1.0F)) { // also refuses NaN
        throw EAssertionFailed(AssertionMessage());
    }
    FVolume = value;
}

void TSVKPLayer::DeActivate() {
    const std::lock_guard lock(FLock);
    LogLine(QStringLiteral("TSVKPlayer.DeActivate.start"));
    RunGuarded(QStringLiteral("TSVKPlayer.DeActivate"), [this] {
        if (FStatus != Stopped) {
            LogLine(QStringLiteral("TSVKPlayer.DeActivate.1"));
            if (FMediaPlayer) {
                FMediaPlayer->Stop();
            }
        }
        if (FMediaPlayer) {
            LogLine(QStringLiteral("TSVKPlayer.DeActivate.2"));
            FMediaPlayer.reset();
        }
    });
    LogLine(QStringLiteral("TSVKPlayer.DeActivate.end"));
}

void TSVKPLayer::run() {
    while (!stop_requested()) {
        std::uint64_t fileNumber = 0;
        bool ended = false;
        RunGuarded(QStringLiteral("TSVKPLayer.Execute"), [&] { ended = poll_for_end(fileNumber); });
        if (ended) {
            RunGuarded(QStringLiteral("TSVKPLayer.Execute"), [&] { notify_end(fileNumber); });
        }
        idle();
    }
}

// One poll step under the lock. The new state is recorded before the notification is
// handed over, so a Play that the notification leads to is never overwritten.
bool TSVKPLayer::poll_for_end(std::uint64_t &fileNumber) {
    const std::lock_guard lock(FLock);
    if (FStatus == Playing && FMediaPlayer &&
        FMediaPlayer->CurrentTime() == FMediaPlayer->Duration()) {
        FStatus = WAITING_FOR_LOADING_NEW_FILE;
        fileNumber = FFileNumber;
        return true;
    }
    return false;
}

// Waits, without the lock, until the main thread has run the notification. Given up
// when the player is being destroyed: the main thread then waits for this thread and
// cannot run it.
void TSVKPLayer::notify_end(std::uint64_t fileNumber) {
    MainThread::Synchronize(
        [this, fileNumber] {
            {
                const std::lock_guard lock(FLock);
                // Stopped, paused or replaced since the end was seen: nothing to report.
                if (FStatus != WAITING_FOR_LOADING_NEW_FILE || FFileNumber != fileNumber) {
                    return;
                }
            }
            if (FOnReadyForFile) {
                FOnReadyForFile(nullptr);
            }
        },
        [this] { return stop_requested(); });
}
