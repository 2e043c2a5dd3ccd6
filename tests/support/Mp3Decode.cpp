#include "support/Mp3Decode.h"

#include <mpg123.h>

#include <cmath>
#include <memory>

namespace {

struct HandleCloser {
    void operator()(mpg123_handle *handle) const { mpg123_delete(handle); }
};

} // namespace

double DecodedAudio::Rms() const {
    if (Samples.empty()) {
        return 0.0;
    }
    double sum = 0.0;
    for (const short s : Samples) {
        sum += static_cast<double>(s) * s;
    }
    return std::sqrt(sum / static_cast<double>(Samples.size()));
}

DecodedAudio DecodeMp3(const std::string &bytes) {
    DecodedAudio audio;
    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, HandleCloser> handle(mpg123_new(nullptr, &error));
    if (!handle || mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0) != MPG123_OK ||
        mpg123_format_none(handle.get()) != MPG123_OK ||
        mpg123_format2(handle.get(), 0, MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16) !=
            MPG123_OK ||
        mpg123_open_feed(handle.get()) != MPG123_OK) {
        audio.Error = "cannot start libmpg123";
        return audio;
    }
    int channels = 1;
    int result = mpg123_feed(handle.get(), reinterpret_cast<const unsigned char *>(bytes.data()),
                             bytes.size());
    std::vector<unsigned char> buffer(65536);
    while (result == MPG123_OK || result == MPG123_NEW_FORMAT) {
        std::size_t done = 0;
        result = mpg123_read(handle.get(), buffer.data(), buffer.size(), &done);
        if (result == MPG123_NEW_FORMAT) {
            int encoding = 0;
            mpg123_getformat(handle.get(), &audio.SampleRate, &channels, &encoding);
        }
        const auto *samples = reinterpret_cast<const short *>(buffer.data());
        const std::size_t count = done / sizeof(short);
        for (std::size_t i = 0; i < count; i += static_cast<std::size_t>(channels)) {
            audio.Samples.push_back(samples[i]);
        }
    }
    audio.Ok = result == MPG123_NEED_MORE && audio.SampleRate > 0 && !audio.Samples.empty();
    if (!audio.Ok) {
        audio.Error = std::string("libmpg123: ") + mpg123_plain_strerror(result);
    }
    return audio;
}
