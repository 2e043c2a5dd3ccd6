// Benchmark of the audio player on the real audio output. Run it inside the test
// environment, which provides the PulseAudio null sink and its monitor:
//   scripts/test-env build/release/bench/player
// Prints, over 20 rounds (median and worst): the time from Play to the first sound on
// the monitor, the time from the end of the sound to the end-of-file notification,
// and the silent gap between two files when the notification handler plays the next
// one at once. Times on the monitor are estimated from the arrival of its samples.
#include "support/MonitorRecorder.h"
#include "support/SoundFiles.h"

#include "sv.SVKPlayerThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRounds = 20;
constexpr int kLoud = 1500;

using Clock = MonitorRecorder::Clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

bool RunUntil(const std::function<bool()> &condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        QThread::usleep(500);
    }
    return condition();
}

// First and last sample at or above the loud level, from a given sample on.
std::pair<std::size_t, std::size_t> LoudSpan(const std::vector<std::int16_t> &s, std::size_t from,
                                             std::size_t to) {
    std::size_t first = to;
    std::size_t last = from;
    for (std::size_t i = from; i < to && i < s.size(); ++i) {
        if (std::abs(static_cast<int>(s[i])) >= kLoud) {
            first = std::min(first, i);
            last = i;
        }
    }
    return {first, last};
}

void Print(const char *what, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    if (values.empty()) {
        std::printf("%-48s no data\n", what);
        return;
    }
    std::printf("%-48s median %7.1f ms   worst %7.1f ms   (n=%zu)\n", what,
                values[values.size() / 2], values.back(), values.size());
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    SoundFiles files;
    const QString first = files.Tone("first.mp3", 0.5, 440, 0.6);
    const QString second = files.Tone("second.mp3", 0.5, 660, 0.6);

    std::vector<double> startLatency;
    std::vector<double> endToNotification;
    std::vector<double> gap;
    for (int round = 0; round < kRounds; ++round) {
        MonitorRecorder monitor;
        TSVKPLayer player;
        player.Activate();
        int notified = 0;
        Clock::time_point notifiedAt;
        player.SetOnReadyForNewFile([&](QObject *) {
            if (++notified == 1) {
                notifiedAt = Clock::now();
                player.SetFile(second);
                player.Play();
            }
        });
        // Start at a different phase of the player's 200 ms poll in every round.
        QThread::msleep(static_cast<unsigned long>((round * 37) % 200));
        const Clock::time_point playAt = Clock::now();
        player.SetFile(first);
        player.Play();
        if (!RunUntil([&] { return notified >= 2; })) {
            std::fprintf(stderr, "round %d: no notification\n", round);
            continue;
        }
        monitor.Stop();
        const auto samples = monitor.Samples();
        // Two runs of loud 10 ms windows: the first file, then the second.
        const auto runs = LoudRuns(MonitorRecorder::WindowPeaks(samples), kLoud);
        if (runs.size() < 2) {
            std::fprintf(stderr, "round %d: the two files are not told apart\n", round);
            continue;
        }
        const std::size_t w = MonitorRecorder::kWindow;
        const std::size_t firstStart =
            LoudSpan(samples, runs[0].First * w, (runs[0].First + 1) * w).first;
        const std::size_t firstEnd =
            LoudSpan(samples, runs[0].Last * w, (runs[0].Last + 1) * w).second;
        const std::size_t secondStart =
            LoudSpan(samples, runs[1].First * w, (runs[1].First + 1) * w).first;
        startLatency.push_back(Ms(monitor.TimeOf(firstStart) - playAt));
        endToNotification.push_back(Ms(notifiedAt - monitor.TimeOf(firstEnd)));
        gap.push_back(1000.0 * static_cast<double>(secondStart - firstEnd) /
                      MonitorRecorder::kRate);
    }
    std::printf("Audio player, %d rounds of two 0.5 s MP3 tones on the null sink\n", kRounds);
    Print("Play -> first sound on the monitor", startLatency);
    Print("end of sound -> end-of-file notification", endToNotification);
    Print("silent gap, next file played by the handler", gap);
    return 0;
}
