// HeardTones: which sine tones a recording of the null sink's monitor holds, in the order
// they were heard. Each 10 ms window that is loud enough gets the frequency its zero
// crossings give, matched to the nearest of the tones the test made; runs of windows with the
// same tone (a short different stretch at a seam is ignored) become one heard tone. For tests
// and benchmarks that tell the parts of a reading apart by their pitch. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct THeardTone {
    int Frequency = 0;
    std::size_t FirstSample = 0;
    std::size_t EndSample = 0; // one past the last loud window's end
};

// frequencies: the tones that may occur; they should lie at least 300 Hz apart.
std::vector<THeardTone> HeardTones(const std::vector<std::int16_t> &samples,
                                   const std::vector<int> &frequencies);
// Just the frequencies, in order.
std::vector<int> FrequenciesOf(const std::vector<THeardTone> &tones);
