#include "sv.Mp3MediaPlayer.h"

#include "logfile.h"
#include "sv.Exceptions.h"
#include "sv.Mp3Decoder.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace {

constexpr int kUpdateMs = 10;
constexpr qint64 kBufferUs = 500'000;
constexpr std::int64_t kTicksPerSecond = 10'000'000; // 100 ns units
// When the sink has taken every sample but its played-time counter stops short of
// the end, the file still counts as finished this long after the remaining sound.
constexpr std::int64_t kEndGraceMs = 1000;

// Qt's PulseAudio sink runs the event loop in its destructor. Deleting it later, from
// the main thread's queue, keeps that out of the player's commands; the holder also
// deletes it when the queue is dropped at exit.
void DeleteLater(QAudioSink *sink) {
    auto holder = std::shared_ptr<QAudioSink>(sink);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [holder]() mutable { holder.reset(); }, Qt::QueuedConnection);
}

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString SinkErrorText(QAudio::Error error) {
    switch (error) {
    case QAudio::OpenError:
        return QStringLiteral("the audio output could not be opened");
    case QAudio::IOError:
        return QStringLiteral("writing to the audio output failed");
    case QAudio::UnderrunError:
        return QStringLiteral("the audio output ran out of data");
    case QAudio::FatalError:
        return QStringLiteral("the audio output is not available");
    case QAudio::NoError:
        break;
    }
    return QStringLiteral("the audio output did not start");
}

} // namespace

std::unique_ptr<IMediaPlayer> CreateMediaPlayer() {
    return std::make_unique<TMp3MediaPlayer>();
}

TMp3MediaPlayer::TMp3MediaPlayer() : FTimer(new QTimer(this)) {
    FTimer->setInterval(kUpdateMs);
    FTimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(FTimer, &QTimer::timeout, this, [this] { update_position(); });
}

TMp3MediaPlayer::~TMp3MediaPlayer() {
    release_output();
}

void TMp3MediaPlayer::SetFileName(const QString &fileName) {
    release_output();
    FDecoder.reset();
    FCurrentTime = 0;
    FDuration = 0;
    FEnded = false;
    FEndDeadlineMs = -1;
    FDecoder = std::make_unique<TMp3Decoder>(fileName);
    FDuration = frames_to_time(FDecoder->Frames());
}

void TMp3MediaPlayer::SetVolume(float volume) {
    FVolume = std::clamp(volume, 0.0F, 1.0F);
    if (FSink != nullptr) {
        FSink->setVolume(FVolume);
    }
}

void TMp3MediaPlayer::Play() {
    if (!FDecoder) {
        return;
    }
    if (FSink == nullptr) {
        open_output();
    } else if (FSink->state() == QAudio::SuspendedState) {
        FSink->resume();
    }
    FTimer->start();
}

void TMp3MediaPlayer::Stop() {
    if (FSink != nullptr && FSink->state() != QAudio::StoppedState) {
        FSink->suspend();
    }
    update_position();
    FTimer->stop();
    FEndDeadlineMs = -1;
}

void TMp3MediaPlayer::open_output() {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        throw Exception(QStringLiteral("No audio output device is available"));
    }
    QAudioFormat format;
    format.setSampleRate(FDecoder->SampleRate());
    format.setChannelCount(FDecoder->Channels());
    format.setSampleFormat(QAudioFormat::Int16);
    auto *sink = new QAudioSink(device, format);
    // Half a second of sound ahead, so that a busy main thread (the text capture waits
    // there) does not starve the output.
    sink->setBufferSize(format.bytesForDuration(kBufferUs));
    sink->setVolume(FVolume);
    sink->start(FDecoder.get());
    if (sink->error() != QAudio::NoError || sink->state() == QAudio::StoppedState) {
        const QString reason = SinkErrorText(sink->error());
        sink->stop();
        DeleteLater(sink);
        throw Exception(
            QStringLiteral("Cannot play sound: %1 (%2)").arg(reason, device.description()));
    }
    FSink = sink;
}

void TMp3MediaPlayer::release_output() {
    FTimer->stop();
    if (FSink != nullptr) {
        FSink->stop();
        DeleteLater(FSink);
        FSink = nullptr;
    }
}

std::int64_t TMp3MediaPlayer::frames_to_time(std::int64_t frames) const {
    return frames * kTicksPerSecond / FDecoder->SampleRate();
}

// The end is reached when the decoder has handed over every sample, the sink has
// run dry, and its played-time counter has reached the length of what it was given
// (the counter alone is truncated to microseconds; the sink runs dry while its
// buffer still sounds). Until then the position stays below the duration.
void TMp3MediaPlayer::update_position() {
    if (FSink == nullptr || FEnded) {
        return;
    }
    const std::int64_t duration = frames_to_time(FDecoder->Frames());
    FDuration = duration;
    const QAudio::State state = FSink->state();
    if (state == QAudio::StoppedState) {
        // The output failed under the file: nothing more will play, so it is finished.
        LogLine(QStringLiteral("TMp3MediaPlayer: output stopped: %1")
                    .arg(SinkErrorText(FSink->error())));
        FEnded = true;
    } else if (state == QAudio::IdleState && FDecoder->Exhausted()) {
        const std::int64_t playedUs = FSink->processedUSecs();
        const std::int64_t givenUs = FDecoder->FramesDecoded() * 1'000'000 / FDecoder->SampleRate();
        const std::int64_t nowMs = NowMs();
        if (FEndDeadlineMs < 0) {
            FEndDeadlineMs =
                nowMs + std::max<std::int64_t>(0, givenUs - playedUs) / 1000 + kEndGraceMs;
        }
        FEnded = playedUs >= givenUs || nowMs > FEndDeadlineMs;
        if (!FEnded) {
            FCurrentTime = std::min<std::int64_t>(playedUs * 10, duration - 1);
        }
    } else if (state != QAudio::SuspendedState) {
        FCurrentTime = std::min<std::int64_t>(FSink->processedUSecs() * 10,
                                              std::max<std::int64_t>(duration - 1, 0));
    }
    if (FEnded) {
        FCurrentTime = duration;
        FTimer->stop();
    }
}
