#include "support/MonitorRecorder.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <string>

extern char **environ;

MonitorRecorder::MonitorRecorder() {
    int fds[2];
    if (pipe(fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    std::string rate = "--rate=" + std::to_string(kRate);
    const char *argv[] = {"parecord",
                          "--device=sonavik_null.monitor",
                          "--raw",
                          "--format=s16le",
                          rate.c_str(),
                          "--channels=1",
                          "--latency-msec=5",
                          nullptr};
    const int spawned = posix_spawnp(&FPid, "parecord", &actions, nullptr,
                                     const_cast<char *const *>(argv), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        throw std::runtime_error("cannot start parecord");
    }
    FReader = std::thread([this, fd = fds[0]] { read_loop(fd); });
    const auto limit = Clock::now() + std::chrono::seconds(20);
    while (SampleCount() < static_cast<std::size_t>(kWindow) && Clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (SampleCount() == 0) {
        Stop();
        throw std::runtime_error("the monitor delivers no samples");
    }
}

MonitorRecorder::~MonitorRecorder() {
    Stop();
}

void MonitorRecorder::Stop() {
    if (FPid > 0) {
        kill(FPid, SIGTERM);
        int status = 0;
        waitpid(FPid, &status, 0);
        FPid = -1;
    }
    if (FReader.joinable()) {
        FReader.join();
    }
}

void MonitorRecorder::read_loop(int fd) {
    std::vector<char> buffer(4096);
    std::vector<char> carry;
    for (;;) {
        const ssize_t got = read(fd, buffer.data(), buffer.size());
        if (got <= 0) {
            break;
        }
        const auto now = Clock::now();
        carry.insert(carry.end(), buffer.begin(), buffer.begin() + got);
        const std::size_t whole = carry.size() / 2;
        const std::lock_guard lock(FLock);
        for (std::size_t i = 0; i < whole; ++i) {
            const auto lo = static_cast<unsigned char>(carry[2 * i]);
            const auto hi = static_cast<unsigned char>(carry[2 * i + 1]);
            FSamples.push_back(static_cast<std::int16_t>(lo | (hi << 8)));
        }
        carry.erase(carry.begin(), carry.begin() + static_cast<std::ptrdiff_t>(whole * 2));
        FArrivals.emplace_back(FSamples.size(), now);
    }
    close(fd);
}

std::vector<std::int16_t> MonitorRecorder::Samples() const {
    const std::lock_guard lock(FLock);
    return FSamples;
}

std::size_t MonitorRecorder::SampleCount() const {
    const std::lock_guard lock(FLock);
    return FSamples.size();
}

MonitorRecorder::Clock::time_point MonitorRecorder::TimeOf(std::size_t sample) const {
    const std::lock_guard lock(FLock);
    const auto chunk = std::lower_bound(FArrivals.begin(), FArrivals.end(), sample + 1,
                                        [](const auto &a, std::size_t s) { return a.first < s; });
    if (chunk == FArrivals.end()) {
        return FArrivals.empty() ? Clock::now() : FArrivals.back().second;
    }
    const auto behind = static_cast<double>(chunk->first - sample) / kRate;
    return chunk->second -
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(behind));
}

std::vector<int> MonitorRecorder::WindowPeaks(const std::vector<std::int16_t> &samples) {
    std::vector<int> peaks;
    for (std::size_t start = 0; start + kWindow <= samples.size(); start += kWindow) {
        int peak = 0;
        for (std::size_t i = start; i < start + kWindow; ++i) {
            peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
        }
        peaks.push_back(peak);
    }
    return peaks;
}

std::vector<LoudRun> LoudRuns(const std::vector<int> &peaks, int threshold) {
    std::vector<LoudRun> runs;
    for (std::size_t i = 0; i < peaks.size(); ++i) {
        if (peaks[i] < threshold) {
            continue;
        }
        if (!runs.empty() && runs.back().Last + 1 == i) {
            runs.back().Last = i;
        } else {
            runs.push_back({i, i});
        }
    }
    return runs;
}
