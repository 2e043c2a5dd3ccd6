// Pipeline benchmark: how long Start and StartToPlayNextFile keep their caller, and
// how a reading of 200 parts with 20 ms downloads is handed out (rate, longest
// wait, peak number of downloads at once). Prints its figures.
#include "sv.Downloader.h"
#include "sv.Retriever.h"

#include "support/PipelineFakes.h"

#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

QStringList Urls(int n) {
    QStringList urls;
    for (int i = 0; i < n; ++i) {
        urls << QStringLiteral("https://h/snd/p%1.mp3").arg(i);
    }
    return urls;
}

void PrintCallTimes(const char *name, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    double sum = 0;
    for (const double t : times) {
        sum += t;
    }
    std::printf("%-22s calls %zu  mean %.1f us  median %.1f us  max %.1f us\n", name, times.size(),
                sum / static_cast<double>(times.size()), times[times.size() / 2], times.back());
}

void BenchCallTimes(const QString &folder) {
    auto fake = TFakeDownloads::Create();
    auto actions = TActionLog::Create();
    auto downloader = std::make_shared<TDownloader>(
        folder, [](const TSendTextInfo &) { return Urls(3); }, fake->Procedure());
    auto retriever = std::make_unique<TRetriever>(downloader, actions->Callback());
    std::vector<double> start;
    std::vector<double> next;
    for (int i = 0; i < 200; ++i) {
        auto t0 = Clock::now();
        retriever->Start(QStringLiteral("text"), 5);
        start.push_back(Micros(Clock::now() - t0));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        t0 = Clock::now();
        retriever->StartToPlayNextFile();
        next.push_back(Micros(Clock::now() - t0));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    retriever.reset();
    WaitSoleOwner(downloader, 120000);
    PrintCallTimes("Start", start);
    PrintCallTimes("StartToPlayNextFile", next);
}

// pauseMs: how long the "player" takes per part before it asks for the next one.
void BenchReading(const QString &folder, int pauseMs) {
    constexpr int kParts = 200;
    auto fake = TFakeDownloads::Create();
    const QStringList urls = Urls(kParts);
    for (const QString &url : urls) {
        fake->Script(url, {20, QString(), nullptr});
    }
    auto actions = TActionLog::Create();
    auto downloader = std::make_shared<TDownloader>(
        folder, [urls](const TSendTextInfo &) { return QStringList(urls); }, fake->Procedure());
    auto retriever = std::make_unique<TRetriever>(downloader, actions->Callback());
    double longestWait = 0;
    double totalWait = 0;
    int played = 0;
    const auto t0 = Clock::now();
    retriever->Start(QStringLiteral("text"), 5);
    for (;;) {
        const auto asked = Clock::now();
        const auto action = actions->Next(60000);
        const double waited = Micros(Clock::now() - asked);
        if (!action || action->first != TRetriever::TActionKind::PLAY_FILE) {
            break;
        }
        ++played;
        if (played > 1) { // the first part includes the start of the reading
            longestWait = std::max(longestWait, waited);
            totalWait += waited;
        }
        if (pauseMs > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
        retriever->StartToPlayNextFile();
    }
    const double seconds = Micros(Clock::now() - t0) / 1e6;
    retriever.reset();
    WaitSoleOwner(downloader, 120000);
    std::printf(
        "200 parts, 20 ms downloads, player pause %2d ms: %d parts in %.2f s (%.0f parts/s), "
        "wait per part mean %.2f ms, max %.2f ms, peak downloads at once %d\n",
        pauseMs, played, seconds, played / seconds, totalWait / std::max(played - 1, 1) / 1000,
        longestWait / 1000, fake->Peak());
}

} // namespace

int main() {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/svk");
    BenchCallTimes(folder);
    BenchReading(folder, 0);
    BenchReading(folder, 10);
    BenchReading(folder, 25);
    return 0;
}
