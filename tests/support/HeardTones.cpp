#include "support/HeardTones.h"

#include "support/MonitorRecorder.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr int kLoud = 1500;            // of 32767: well above the null sink's silence
constexpr std::size_t kMinWindows = 5; // a tone shorter than 50 ms is a seam, not a part

// The frequency of one window from its zero crossings.
double WindowFrequency(const std::vector<std::int16_t> &samples, std::size_t start) {
    int crossings = 0;
    for (std::size_t i = start + 1; i < start + MonitorRecorder::kWindow; ++i) {
        if ((samples[i - 1] < 0) != (samples[i] < 0)) {
            ++crossings;
        }
    }
    return static_cast<double>(crossings) * MonitorRecorder::kRate /
           (2.0 * MonitorRecorder::kWindow);
}

// The nearest candidate within a tolerance, or 0.
int Nearest(double frequency, const std::vector<int> &candidates) {
    int best = 0;
    double bestDistance = 120.0;
    for (const int candidate : candidates) {
        const double distance = std::abs(frequency - candidate);
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace

std::vector<THeardTone> HeardTones(const std::vector<std::int16_t> &samples,
                                   const std::vector<int> &frequencies) {
    // Runs of windows with one tone; silent or unknown windows end a run.
    std::vector<THeardTone> runs;
    const std::vector<int> peaks = MonitorRecorder::WindowPeaks(samples);
    for (std::size_t window = 0; window < peaks.size(); ++window) {
        if (peaks[window] < kLoud) {
            continue;
        }
        const std::size_t start = window * MonitorRecorder::kWindow;
        const std::size_t end = start + MonitorRecorder::kWindow;
        const int tone = Nearest(WindowFrequency(samples, start), frequencies);
        if (tone == 0) {
            continue;
        }
        if (!runs.empty() && runs.back().Frequency == tone && runs.back().EndSample == start) {
            runs.back().EndSample = end;
        } else {
            runs.push_back({tone, start, end});
        }
    }
    // Short runs are seams (a tone's first or last window, a cut); runs of one tone that
    // only such a seam separates are one tone.
    std::vector<THeardTone> tones;
    for (const THeardTone &run : runs) {
        if ((run.EndSample - run.FirstSample) / MonitorRecorder::kWindow < kMinWindows) {
            continue;
        }
        const std::size_t seam = kMinWindows * MonitorRecorder::kWindow;
        if (!tones.empty() && tones.back().Frequency == run.Frequency &&
            run.FirstSample - tones.back().EndSample <= seam) {
            tones.back().EndSample = run.EndSample;
        } else {
            tones.push_back(run);
        }
    }
    return tones;
}

std::vector<int> FrequenciesOf(const std::vector<THeardTone> &tones) {
    std::vector<int> frequencies;
    frequencies.reserve(tones.size());
    for (const THeardTone &tone : tones) {
        frequencies.push_back(tone.Frequency);
    }
    return frequencies;
}
