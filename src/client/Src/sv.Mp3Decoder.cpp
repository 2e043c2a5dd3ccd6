#include "sv.Mp3Decoder.h"

#include "sv.Exceptions.h"

#include <QFile>
#include <QFileInfo>

#include <mpg123.h>

#include <mutex>

namespace {

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

} // namespace

TMp3Decoder::TMp3Decoder(const QString &fileName) : FFileName(fileName) {
    const QFileInfo info(fileName);
    if (!info.exists() || !info.isFile()) {
        throw Exception(QStringLiteral("Sound file not found: %1").arg(fileName));
    }
    if (info.size() == 0) {
        throw Exception(QStringLiteral("Sound file is empty: %1").arg(fileName));
    }
    InitLibrary();
    int error = MPG123_OK;
    FHandle = mpg123_new(nullptr, &error);
    if (FHandle == nullptr) {
        throw Exception(QStringLiteral("Cannot start the MP3 decoder: %1")
                            .arg(QString::fromUtf8(mpg123_plain_strerror(error))));
    }
    try {
        mpg123_param(FHandle, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
        // 16-bit signed output at whatever rate and channel count the file has.
        mpg123_format_none(FHandle);
        const long *rates = nullptr;
        size_t rateCount = 0;
        mpg123_rates(&rates, &rateCount);
        for (size_t i = 0; i < rateCount; ++i) {
            mpg123_format(FHandle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);
        }
        if (mpg123_open(FHandle, QFile::encodeName(fileName).constData()) != MPG123_OK) {
            fail(QStringLiteral("Cannot open sound file"));
        }
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        if (mpg123_getformat(FHandle, &rate, &channels, &encoding) != MPG123_OK) {
            fail(QStringLiteral("Sound file holds no MP3 audio"));
        }
        // Later frames must keep this format: a change ends the stream instead of
        // playing at the wrong speed.
        mpg123_format_none(FHandle);
        mpg123_format(FHandle, rate, channels, MPG123_ENC_SIGNED_16);
        if (mpg123_scan(FHandle) != MPG123_OK) {
            fail(QStringLiteral("Cannot read sound file"));
        }
        const off_t frames = mpg123_length(FHandle);
        if (frames <= 0 || rate <= 0 || channels <= 0) {
            fail(QStringLiteral("Sound file holds no MP3 audio"));
        }
        if (mpg123_seek(FHandle, 0, SEEK_SET) < 0) {
            fail(QStringLiteral("Cannot read sound file"));
        }
        FRate = static_cast<int>(rate);
        FChannels = channels;
        FFrames = frames;
        open(QIODevice::ReadOnly);
    } catch (...) {
        mpg123_delete(FHandle);
        throw;
    }
}

TMp3Decoder::~TMp3Decoder() {
    mpg123_close(FHandle);
    mpg123_delete(FHandle);
}

void TMp3Decoder::fail(const QString &what) {
    const char *detail = mpg123_strerror(FHandle);
    throw Exception(QStringLiteral("%1: %2 (%3)").arg(what, FFileName, QString::fromUtf8(detail)));
}

qint64 TMp3Decoder::size() const {
    return FFrames * frame_bytes();
}

qint64 TMp3Decoder::readData(char *data, qint64 maxSize) {
    const qint64 wanted = maxSize - maxSize % frame_bytes();
    qint64 total = 0;
    while (!FExhausted && total < wanted) {
        size_t done = 0;
        const int result = mpg123_read(FHandle, reinterpret_cast<unsigned char *>(data + total),
                                       static_cast<size_t>(wanted - total), &done);
        total += static_cast<qint64>(done);
        // Anything other than more samples is the end: the real end, a file cut short or
        // one damaged beyond repair. What was decoded plays.
        const bool progressed = result == MPG123_OK || result == MPG123_NEW_FORMAT;
        if (!progressed || done == 0) {
            FExhausted = true;
        }
    }
    total -= total % frame_bytes();
    FFramesDecoded += total / frame_bytes();
    if (FExhausted) {
        FFrames = FFramesDecoded;
    }
    return total;
}

qint64 TMp3Decoder::writeData(const char * /*data*/, qint64 /*maxSize*/) {
    return -1;
}
