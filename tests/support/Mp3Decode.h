// Mp3Decode: decodes MP3 bytes with libmpg123 into 16-bit mono samples, for tests that check
// what a speech service sent. Any thread.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct DecodedAudio {
    std::vector<short> Samples; // the first channel
    long SampleRate = 0;
    bool Ok = false;
    std::string Error;

    double Seconds() const {
        return SampleRate > 0
                   ? static_cast<double>(Samples.size()) / static_cast<double>(SampleRate)
                   : 0.0;
    }
    // Root mean square of the samples, 0 for silence, up to 32767.
    double Rms() const;
};

DecodedAudio DecodeMp3(const std::string &bytes);
