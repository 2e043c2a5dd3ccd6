// MonitorRecorder: records what the test sound card plays. Runs parecord on the
// monitor of the null sink that scripts/test-env sets up ("sonavik_null.monitor"),
// low latency, 16-bit mono at 44100 Hz, and keeps every sample with the time at which
// it arrived. A reader thread of its own collects the samples; the rest any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class MonitorRecorder {
public:
    static constexpr int kRate = 44100;
    static constexpr int kWindow = kRate / 100; // 10 ms

    using Clock = std::chrono::steady_clock;

    // Starts recording and waits until the first samples have arrived.
    MonitorRecorder();
    ~MonitorRecorder();
    MonitorRecorder(const MonitorRecorder &) = delete;
    MonitorRecorder &operator=(const MonitorRecorder &) = delete;

    // Ends the recording; the samples stay.
    void Stop();

    [[nodiscard]] std::vector<std::int16_t> Samples() const;
    [[nodiscard]] std::size_t SampleCount() const;
    // Estimated time at which a sample reached the monitor.
    [[nodiscard]] Clock::time_point TimeOf(std::size_t sample) const;

    // Peak level of each 10 ms window.
    [[nodiscard]] static std::vector<int> WindowPeaks(const std::vector<std::int16_t> &samples);

private:
    void read_loop(int fd);

    int FPid = -1;
    std::thread FReader;
    mutable std::mutex FLock;
    std::vector<std::int16_t> FSamples;
    // (sample count after a chunk, arrival time of that chunk)
    std::vector<std::pair<std::size_t, Clock::time_point>> FArrivals;
};

// Windows of a recording whose peak reaches threshold, as [first, last] window
// indexes of each run of such windows.
struct LoudRun {
    std::size_t First;
    std::size_t Last;
    [[nodiscard]] std::size_t Windows() const { return Last - First + 1; }
};
std::vector<LoudRun> LoudRuns(const std::vector<int> &peaks, int threshold);
