// Hundreds of overlapping Start and StartToPlayNextFile calls and releases of the
// retriever, with random delays, random download failures and time-outs. Passes when
// it ends without deadlock and every task has let go of what it held; the sanitizer
// builds add the checks for races, leaks and use after free.
#include "sv.Downloader.h"
#include "sv.Exceptions.h"
#include "sv.Retriever.h"

#include "support/PipelineFakes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <thread>
#include <vector>

namespace {

int RandomBelow(int n) {
    thread_local std::mt19937 random(std::random_device{}());
    return std::uniform_int_distribution<int>(0, n - 1)(random);
}

void Pause(int maxMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(RandomBelow(maxMs + 1)));
}

// Playlists of 0 to 7 parts whose names repeat across readings; one text in ten fails.
QStringList RandomPlaylist(const TSendTextInfo &info) {
    Pause(2);
    if (RandomBelow(10) == 0) {
        throw Exception(QStringLiteral("send-text failed for ") + info.Text);
    }
    QStringList urls;
    const int n = RandomBelow(8);
    for (int i = 0; i < n; ++i) {
        urls << (RandomBelow(12) == 0
                     ? QStringLiteral("https://h/snd/slow.mp3")
                     : QStringLiteral("https://h/snd/p%1.mp3").arg(RandomBelow(20)));
    }
    return urls;
}

TEST(PipelineStress, OverlappingCallsAndReleases) {
    QTemporaryDir dir;
    auto fake = TFakeDownloads::Create();
    fake->SetRandomDelay(4, 7);
    fake->Script(QStringLiteral("https://h/snd/slow.mp3"), {120, QString(), nullptr});
    auto actions = TActionLog::Create();
    TPlaylistQueueOptions options;
    options.PartWaitMs = 60; // shorter than the slow part: time-outs happen
    options.CancelWaitMs = 10;

    constexpr int kRounds = 40;
    constexpr int kCallsPerThread = 12;
    std::vector<std::weak_ptr<TDownloader>> released;
    for (int round = 0; round < kRounds; ++round) {
        auto downloader = std::make_shared<TDownloader>(dir.path() + QStringLiteral("/svk"),
                                                        RandomPlaylist, fake->Procedure(), options);
        released.push_back(downloader);
        auto retriever = std::make_unique<TRetriever>(downloader, actions->Callback());
        downloader.reset();
        const auto caller = [&retriever, round](int thread) {
            for (int i = 0; i < kCallsPerThread; ++i) {
                if (RandomBelow(3) == 0) {
                    retriever->Start(QStringLiteral("text %1.%2.%3").arg(round).arg(thread).arg(i),
                                     5);
                } else {
                    retriever->StartToPlayNextFile();
                }
                Pause(3);
            }
        };
        std::thread first(caller, 1);
        std::thread second(caller, 2);
        first.join();
        second.join();
        Pause(round % 2 == 0 ? 0 : 30); // released at once, or after some tasks ended
        retriever.reset();
    }
    for (const auto &downloader : released) {
        EXPECT_TRUE(WaitUntil([&] { return downloader.expired(); }, 120000));
    }
    EXPECT_TRUE(WaitSoleOwner(fake, 120000)); // no download task holds anything any more
    EXPECT_GT(actions->Count(), 0);
}

} // namespace
