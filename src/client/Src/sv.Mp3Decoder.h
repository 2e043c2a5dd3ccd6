// sv.Mp3Decoder: an MP3 file decoded by libmpg123 into 16-bit PCM, read as a
// sequential QIODevice (the audio output pulls from it). Opening checks the file and
// counts its samples exactly (gapless trimming honoured), so the length is known
// before anything plays; a file cut short yields what it holds and the count is
// corrected when its end is reached. Used on the thread that created it.
#pragma once

#include <QIODevice>
#include <QString>

#include <cstdint>

struct mpg123_handle_struct;

class TMp3Decoder final : public QIODevice {
public:
    // Opens and scans the file; raises with a clear message when it does not exist,
    // is empty or holds no decodable MP3 frame.
    explicit TMp3Decoder(const QString &fileName);
    ~TMp3Decoder() override;

    TMp3Decoder(const TMp3Decoder &) = delete;
    TMp3Decoder &operator=(const TMp3Decoder &) = delete;

    [[nodiscard]] int SampleRate() const { return FRate; }
    [[nodiscard]] int Channels() const { return FChannels; }
    // Sample frames in the file: the scanned count until the end has been decoded,
    // then the count actually decoded.
    [[nodiscard]] std::int64_t Frames() const { return FFrames; }
    [[nodiscard]] std::int64_t FramesDecoded() const { return FFramesDecoded; }
    [[nodiscard]] bool Exhausted() const { return FExhausted; }

    [[nodiscard]] bool isSequential() const override { return true; }
    [[nodiscard]] bool atEnd() const override { return FExhausted; }
    [[nodiscard]] qint64 size() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    [[nodiscard]] int frame_bytes() const { return FChannels * 2; }
    void fail(const QString &what);

    QString FFileName;
    mpg123_handle_struct *FHandle = nullptr;
    int FRate = 0;
    int FChannels = 0;
    std::int64_t FFrames = 0;
    std::int64_t FFramesDecoded = 0;
    bool FExhausted = false;
};
