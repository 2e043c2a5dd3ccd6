// The speech service's reading store and synthesis worker, driven by a scripted synthesiser that
// holds each part until the test lets it finish, so that the order of synthesis is visible.
#include "ReadingStore.h"
#include "SynthesisWorker.h"
#include "Synthesizer.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

using namespace speechd;
using namespace std::chrono_literals;

namespace {

class ScriptedSynthesizer final : public ISynthesizer {
public:
    SynthesisResult Synthesize(const std::string &text, int, int,
                               const std::atomic<bool> &abort) override {
        std::unique_lock lock(FLock);
        FStarted.push_back(text);
        FChanged.notify_all();
        // The store raises `abort` without telling us, so look at it now and then.
        while (FFinished.size() >= FAllowed && !abort.load()) {
            FChanged.wait_for(lock, 2ms);
        }
        SynthesisResult result;
        if (FFinished.size() >= FAllowed) {
            FAborted.push_back(text);
            result.Aborted = true;
        } else {
            FFinished.push_back(text);
            result.Mp3 = "mp3 of " + text;
        }
        FChanged.notify_all();
        return result;
    }

    void Allow(std::size_t count) {
        std::lock_guard lock(FLock);
        FAllowed = count;
        FChanged.notify_all();
    }
    void AllowAll() { Allow(static_cast<std::size_t>(-1)); }

    // Waits (generously) until `count` parts have started; true when they have.
    bool WaitStarted(std::size_t count) {
        std::unique_lock lock(FLock);
        return FChanged.wait_for(lock, 30s, [&] { return FStarted.size() >= count; });
    }
    bool WaitFinished(std::size_t count) {
        std::unique_lock lock(FLock);
        return FChanged.wait_for(lock, 30s, [&] { return FFinished.size() >= count; });
    }
    std::vector<std::string> Finished() {
        std::lock_guard lock(FLock);
        return FFinished;
    }
    std::vector<std::string> Aborted() {
        std::lock_guard lock(FLock);
        return FAborted;
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    std::size_t FAllowed = 0;
    std::vector<std::string> FStarted;
    std::vector<std::string> FFinished;
    std::vector<std::string> FAborted;
};

std::vector<std::string> Parts(const std::string &prefix, int count) {
    std::vector<std::string> parts;
    parts.reserve(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
        parts.push_back(prefix + std::to_string(k));
    }
    return parts;
}

using Strings = std::vector<std::string>;

} // namespace

TEST(SpeechdStoreTest, NewestReadingsFirstPartGoesAheadThenPlaylistOrder) {
    ScriptedSynthesizer synthesizer;
    ReadingStore store;
    SynthesisWorker worker(store, synthesizer);
    store.AddReading("client-a", Parts("A", 3), 5, 2);
    ASSERT_TRUE(synthesizer.WaitStarted(1)); // A0 runs
    store.AddReading("client-b", Parts("B", 2), 5, 2);
    store.AddReading("client-c", Parts("C", 2), 5, 2);
    synthesizer.AllowAll();
    ASSERT_TRUE(synthesizer.WaitFinished(7));
    EXPECT_EQ(synthesizer.Finished(), (Strings{"A0", "C0", "B0", "A1", "A2", "B1", "C1"}));
    EXPECT_TRUE(synthesizer.Aborted().empty());
}

TEST(SpeechdStoreTest, NewFirstPartInterruptsALaterPart) {
    ScriptedSynthesizer synthesizer;
    ReadingStore store;
    SynthesisWorker worker(store, synthesizer);
    synthesizer.Allow(1);
    store.AddReading("client-a", Parts("A", 3), 5, 2);
    ASSERT_TRUE(synthesizer.WaitStarted(2)); // A0 done, A1 held
    store.AddReading("client-b", Parts("B", 2), 5, 2);
    ASSERT_TRUE(synthesizer.WaitStarted(3)); // A1 gave way to B0
    synthesizer.AllowAll();
    ASSERT_TRUE(synthesizer.WaitFinished(5));
    EXPECT_EQ(synthesizer.Aborted(), (Strings{"A1"}));
    EXPECT_EQ(synthesizer.Finished(), (Strings{"A0", "B0", "A1", "A2", "B1"}));
}

TEST(SpeechdStoreTest, ReplacedReadingIsSynthesisedOnlyWhereAsked) {
    ScriptedSynthesizer synthesizer;
    ReadingStore store;
    SynthesisWorker worker(store, synthesizer);
    synthesizer.Allow(1);
    const std::string old = store.AddReading("client-a", Parts("A", 4), 5, 2);
    ASSERT_TRUE(synthesizer.WaitStarted(2)); // A0 done, A1 held
    store.AddReading("client-a", Parts("N", 2), 5, 2);
    ASSERT_TRUE(synthesizer.WaitStarted(3)); // A1 gave way to N0
    synthesizer.AllowAll();
    ASSERT_TRUE(synthesizer.WaitFinished(3));

    // Only a request brings back a part of the replaced reading.
    const PartAnswer answer = store.WaitForPart(ReadingStore::FileName(old, 2), 30s);
    ASSERT_EQ(answer.Kind, PartAnswerKind::READY);
    EXPECT_EQ(*answer.Mp3, "mp3 of A2");
    EXPECT_EQ(synthesizer.Finished(), (Strings{"A0", "N0", "N1", "A2"}));
    EXPECT_EQ(synthesizer.Aborted(), (Strings{"A1"}));
}

TEST(SpeechdStoreTest, AnswersPartsAndRefusesUnknownNames) {
    ScriptedSynthesizer synthesizer;
    ReadingStore store;
    SynthesisWorker worker(store, synthesizer);
    synthesizer.AllowAll();
    const std::string id = store.AddReading("c", Parts("P", 2), 5, 2);
    EXPECT_EQ(id.size(), 24u);
    const PartAnswer second = store.WaitForPart(id + "-1.mp3", 30s);
    ASSERT_EQ(second.Kind, PartAnswerKind::READY);
    EXPECT_EQ(*second.Mp3, "mp3 of P1");
    const Strings unknown = {id + "-2.mp3",
                             id + "-1.wav",
                             id + "-01x.mp3",
                             id + "-.mp3",
                             id + "-1",
                             "-1.mp3",
                             "nope-0.mp3",
                             "../" + id + "-0.mp3",
                             "",
                             id + "-99999999999999999999.mp3"};
    for (const std::string &name : unknown) {
        EXPECT_EQ(store.WaitForPart(name, 10ms).Kind, PartAnswerKind::UNKNOWN) << name;
    }
    EXPECT_NE(store.AddReading("c", Parts("Q", 1), 5, 2), id);
    EXPECT_TRUE(store.AddReading("c", {}, 5, 2).size() == 24u); // an empty reading has an id too
}

TEST(SpeechdStoreTest, WaitEndsByTimeOrShutdown) {
    ScriptedSynthesizer synthesizer;
    ReadingStore store;
    SynthesisWorker worker(store, synthesizer);
    const std::string id = store.AddReading("c", Parts("P", 1), 5, 2);
    EXPECT_EQ(store.WaitForPart(id + "-0.mp3", 50ms).Kind, PartAnswerKind::TIMED_OUT);
    PartAnswerKind late = PartAnswerKind::READY;
    std::thread waiter([&] { late = store.WaitForPart(id + "-0.mp3", 60s).Kind; });
    ASSERT_TRUE(synthesizer.WaitStarted(1));
    store.Shutdown();
    waiter.join();
    EXPECT_EQ(late, PartAnswerKind::SHUT_DOWN);
}

TEST(SpeechdStoreTest, ExpiresOldReadingsAndKeepsMemoryBounded) {
    auto now = ReadingStore::Clock::now();
    std::mutex clockLock;
    const auto clock = [&] {
        std::lock_guard lock(clockLock);
        return now;
    };
    const auto advance = [&](std::chrono::seconds by) {
        std::lock_guard lock(clockLock);
        now += by;
    };
    ScriptedSynthesizer synthesizer;
    StoreLimits limits;
    limits.MaxReadings = 2;
    limits.MaxBytes = 40; // each part is 9 bytes
    limits.Expiry = 600s;
    ReadingStore store(limits, clock);
    SynthesisWorker worker(store, synthesizer);
    synthesizer.AllowAll();

    const std::string a = store.AddReading("a", Parts("A", 1), 5, 2);
    ASSERT_EQ(store.WaitForPart(a + "-0.mp3", 30s).Kind, PartAnswerKind::READY);
    advance(601s);
    const std::string b = store.AddReading("b", Parts("B", 2), 5, 2); // a expires
    EXPECT_EQ(store.WaitForPart(a + "-0.mp3", 10ms).Kind, PartAnswerKind::UNKNOWN);
    ASSERT_EQ(store.WaitForPart(b + "-1.mp3", 30s).Kind, PartAnswerKind::READY);

    advance(1s);
    const std::string c = store.AddReading("c", Parts("C", 1), 5, 2);
    advance(1s);
    const std::string d = store.AddReading("d", Parts("D", 3), 5, 2); // over two readings: b goes
    EXPECT_EQ(store.ReadingCount(), 2u);
    EXPECT_EQ(store.WaitForPart(b + "-0.mp3", 10ms).Kind, PartAnswerKind::UNKNOWN);
    ASSERT_EQ(store.WaitForPart(d + "-2.mp3", 30s).Kind, PartAnswerKind::READY);
    ASSERT_TRUE(synthesizer.WaitFinished(7));
    // c (9 bytes) and d (27) fit in 40 bytes; another reading pushes out the older one.
    EXPECT_LE(store.BytesKept(), 40u);
    advance(1s);
    const std::string e = store.AddReading("e", Parts("E", 1), 5, 2);
    ASSERT_EQ(store.WaitForPart(e + "-0.mp3", 30s).Kind, PartAnswerKind::READY);
    EXPECT_LE(store.BytesKept(), 40u);
    EXPECT_EQ(store.WaitForPart(c + "-0.mp3", 10ms).Kind, PartAnswerKind::UNKNOWN);
}
