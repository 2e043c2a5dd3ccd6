// sv.Mp3MediaPlayer: the real media object. libmpg123 decodes the file (TMp3Decoder),
// Qt's QAudioSink plays it on the default output. Main thread only, except
// CurrentTime and Duration, which read atomics that a 10 ms timer on the main
// thread keeps up to date from the sink's played-time counter.
#pragma once

#include "sv.MediaPlayer.h"

#include <QObject>

#include <atomic>
#include <memory>

class QAudioSink;
class QTimer;
class TMp3Decoder;

class TMp3MediaPlayer final : public QObject, public IMediaPlayer {
public:
    TMp3MediaPlayer();
    ~TMp3MediaPlayer() override;

    void SetFileName(const QString &fileName) override;
    void SetVolume(float volume) override;
    void Play() override;
    void Stop() override;
    [[nodiscard]] std::int64_t CurrentTime() const override { return FCurrentTime.load(); }
    [[nodiscard]] std::int64_t Duration() const override { return FDuration.load(); }

private:
    void open_output();
    void release_output();
    void update_position();
    [[nodiscard]] std::int64_t frames_to_time(std::int64_t frames) const;

    std::unique_ptr<TMp3Decoder> FDecoder;
    QAudioSink *FSink = nullptr;
    QTimer *FTimer = nullptr;
    float FVolume = 1.0F;
    bool FEnded = false;
    std::int64_t FEndDeadlineMs = -1;
    std::atomic<std::int64_t> FCurrentTime{0};
    std::atomic<std::int64_t> FDuration{0};
};
