// The audio player with real MP3 files, the real decoder and the real audio output:
// scripts/test-env's PulseAudio null sink, whose monitor the tests record to hear
// what was played. Covers the end-of-file notification, cutting, stopping, pausing,
// the volume, files that cannot be played, destruction during a notification and a
// machine without any audio device (in a child process).
#include "support/MonitorRecorder.h"
#include "support/SoundFiles.h"
#include "support/TempHome.h"

#include "sv.Exceptions.h"
#include "sv.MediaPlayer.h"
#include "sv.SVKPlayerThread.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <atomic>
#include <cmath>
#include <limits>

namespace {

constexpr int kLoud = 1500; // peak that counts as sound on the monitor

// Runs the event loop until the condition holds or a generous limit passes.
bool ProcessEventsUntil(const std::function<bool()> &condition, int limitMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return condition();
}

void ProcessEventsFor(int ms) {
    ProcessEventsUntil([] { return false; }, ms);
}

// Counts the player's notifications and checks where they run.
struct Notifications {
    explicit Notifications(TSVKPLayer &player) {
        player.SetOnReadyForNewFile([this](QObject *sender) {
            ++Count;
            OnMainThread = OnMainThread && QThread::currentThread() == qApp->thread();
            NoSender = NoSender && sender == nullptr;
            if (Then) {
                Then();
            }
        });
    }
    int Count = 0;
    bool OnMainThread = true;
    bool NoSender = true;
    std::function<void()> Then;
};

// Peak level over a range of 10 ms windows.
int PeakOf(const std::vector<int> &peaks, std::size_t first, std::size_t last) {
    int peak = 0;
    for (std::size_t i = first; i <= last && i < peaks.size(); ++i) {
        peak = std::max(peak, peaks[i]);
    }
    return peak;
}

// Joins runs separated by at most maxGap quiet windows (a brief underrun of a busy
// machine is not a gap in the file).
std::vector<LoudRun> Joined(const std::vector<LoudRun> &runs, std::size_t maxGap) {
    std::vector<LoudRun> joined;
    for (const LoudRun &run : runs) {
        if (!joined.empty() && run.First - joined.back().Last <= maxGap + 1) {
            joined.back().Last = run.Last;
        } else {
            joined.push_back(run);
        }
    }
    return joined;
}

// Windows of sound within the runs.
std::size_t LoudWindows(const std::vector<int> &peaks, const LoudRun &run) {
    std::size_t count = 0;
    for (std::size_t i = run.First; i <= run.Last; ++i) {
        count += peaks[i] >= kLoud ? 1 : 0;
    }
    return count;
}

// Loud span of a 22050 Hz mono WAV made by the fixture, in 10 ms windows.
std::size_t WavLoudSpanWindows(const QString &path) {
    const QByteArray bytes = ReadBytes(path);
    const qsizetype data = bytes.indexOf("data");
    std::vector<std::int16_t> samples;
    for (qsizetype i = data + 8; i + 1 < bytes.size(); i += 2) {
        samples.push_back(
            static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i]) |
                                      (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    std::size_t first = samples.size();
    std::size_t last = 0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (std::abs(static_cast<int>(samples[i])) >= kLoud) {
            first = std::min(first, i);
            last = i;
        }
    }
    return first > last ? 0 : (last - first) / 220;
}

class PlayerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Files = new SoundFiles();
        Files->Tone("tone1s.mp3", 1.0, 440, 0.8);
        Files->Tone("tone3s.mp3", 3.0, 440, 0.8);
        Files->Tone("soft1s.mp3", 1.0, 660, 0.2);
        Files->Tone("short.mp3", 0.3, 440, 0.5);
        Files->Speech("speech.mp3", QStringLiteral("Sonavik reads marked text aloud."));
    }
    static void TearDownTestSuite() {
        delete Files;
        Files = nullptr;
    }
    static QString File(const char *name) { return Files->Path(QString::fromLatin1(name)); }

    void SetUp() override { Player.Activate(); }

    static SoundFiles *Files;
    TSVKPLayer Player;
};

SoundFiles *PlayerTest::Files = nullptr;

TEST_F(PlayerTest, DurationIsKnownAtOnceAndExactForGaplessFiles) {
    auto media = CreateMediaPlayer();
    EXPECT_EQ(media->CurrentTime(), 0);
    EXPECT_EQ(media->Duration(), 0);
    media->SetFileName(File("tone1s.mp3"));
    EXPECT_EQ(media->Duration(), 10'000'000); // 22050 samples at 22050 Hz, padding trimmed
    EXPECT_EQ(media->CurrentTime(), 0);
}

TEST_F(PlayerTest, FilePlayedToItsEndIsReportedOnceAfterItsSoundEnded) {
    const struct { const char *Name; } files[] = {{"tone1s.mp3"}, {"speech.mp3"}};
    for (const auto &f : files) {
        SCOPED_TRACE(f.Name);
        Notifications notified(Player);
        MonitorRecorder monitor;
        TSVKPLayer::TPlayerStatus statusInHandler = TSVKPLayer::Stopped;
        std::int64_t position = -1;
        std::int64_t duration = -2;
        notified.Then = [&] {
            statusInHandler = Player.Status();
            position = Player.MediaPlayer()->CurrentTime();
            duration = Player.MediaPlayer()->Duration();
        };
        Player.SetFile(File(f.Name));
        Player.Play();
        EXPECT_EQ(Player.Status(), TSVKPLayer::Playing);
        ASSERT_TRUE(ProcessEventsUntil([&] { return notified.Count > 0; }));
        // Releasing the file at once cuts whatever would still sound: an early
        // notification would show as sound missing on the monitor.
        Player.Stop();
        ProcessEventsFor(700);
        monitor.Stop();

        EXPECT_EQ(notified.Count, 1);
        EXPECT_TRUE(notified.OnMainThread);
        EXPECT_TRUE(notified.NoSender);
        EXPECT_EQ(statusInHandler, TSVKPLayer::WAITING_FOR_LOADING_NEW_FILE);
        EXPECT_EQ(position, duration);
        const auto runs = LoudRuns(MonitorRecorder::WindowPeaks(monitor.Samples()), kLoud);
        ASSERT_FALSE(runs.empty());
        const std::size_t heard = runs.back().Last - runs.front().First + 1;
        const std::size_t expected = WavLoudSpanWindows(Files->Wav(QString::fromLatin1(f.Name)));
        EXPECT_GE(heard + 3, expected) << "sound was cut short";
    }
}

TEST_F(PlayerTest, WaitingStateHoldsWithoutFurtherNotifications) {
    Notifications notified(Player);
    Player.SetFile(File("short.mp3"));
    Player.Play();
    ASSERT_TRUE(ProcessEventsUntil([&] { return notified.Count > 0; }));
    ProcessEventsFor(800);
    EXPECT_EQ(notified.Count, 1);
    EXPECT_EQ(Player.Status(), TSVKPLayer::WAITING_FOR_LOADING_NEW_FILE);
    EXPECT_NE(Player.MediaPlayer(), nullptr); // the finished file stays loaded
}

TEST_F(PlayerTest, NewFileCutsTheOldOneWithoutNotification) {
    Notifications notified(Player);
    MonitorRecorder monitor;
    Player.SetFile(File("tone3s.mp3"));
    Player.Play();
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return Player.MediaPlayer()->CurrentTime() > 5'000'000; }));
    const std::int64_t cutAt = Player.MediaPlayer()->CurrentTime();
    Player.SetFile(File("soft1s.mp3"));
    Player.Play();
    ASSERT_TRUE(ProcessEventsUntil([&] { return notified.Count > 0; }));
    ProcessEventsFor(700);
    monitor.Stop();

    EXPECT_EQ(notified.Count, 1); // for the new file only
    const auto peaks = MonitorRecorder::WindowPeaks(monitor.Samples());
    const auto runs = LoudRuns(peaks, 13000); // the old file's level
    ASSERT_FALSE(runs.empty());
    // The old file sounded up to where it was cut, not on through the half second that
    // the output had buffered ahead.
    EXPECT_LT(runs.back().Last - runs.front().First, static_cast<std::size_t>(cutAt / 100'000 + 25))
        << "the old file was not cut";
    const auto soft = LoudRuns(peaks, kLoud);
    ASSERT_FALSE(soft.empty());
    EXPECT_GT(soft.back().Last, runs.back().Last + 80); // the new file played its second
}

TEST_F(PlayerTest, StopSilencesWithoutNotification) {
    Notifications notified(Player);
    MonitorRecorder monitor;
    Player.SetFile(File("tone3s.mp3"));
    Player.Play();
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return Player.MediaPlayer()->CurrentTime() > 5'000'000; }));
    const std::int64_t stoppedAtTime = Player.MediaPlayer()->CurrentTime();
    Player.Stop();
    EXPECT_EQ(Player.Status(), TSVKPLayer::Stopped);
    EXPECT_EQ(Player.MediaPlayer(), nullptr);
    const std::size_t stoppedAt = monitor.SampleCount();
    ProcessEventsFor(3500);
    monitor.Stop();

    EXPECT_EQ(notified.Count, 0);
    const auto peaks = MonitorRecorder::WindowPeaks(monitor.Samples());
    // The recording lags behind the output; a second after Stop all must be silent.
    EXPECT_LT(PeakOf(peaks, stoppedAt / MonitorRecorder::kWindow + 100, peaks.size()), kLoud);
    const auto runs = LoudRuns(peaks, kLoud);
    ASSERT_FALSE(runs.empty());
    // Silent from where it stopped, not after the half second the output had buffered.
    EXPECT_LT(runs.back().Last - runs.front().First,
              static_cast<std::size_t>(stoppedAtTime / 100'000 + 25));
}

TEST_F(PlayerTest, PauseThenPlayResumesWhereItStopped) {
    Notifications notified(Player);
    MonitorRecorder monitor;
    Player.SetFile(File("tone1s.mp3"));
    Player.Play();
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return Player.MediaPlayer()->CurrentTime() > 4'000'000; }));
    Player.Pause();
    EXPECT_EQ(Player.Status(), TSVKPLayer::Paused);
    ProcessEventsFor(300);
    const std::int64_t pausedAt = Player.MediaPlayer()->CurrentTime();
    ProcessEventsFor(700);
    EXPECT_EQ(Player.MediaPlayer()->CurrentTime(), pausedAt);
    EXPECT_EQ(notified.Count, 0);
    Player.Play();
    EXPECT_EQ(Player.Status(), TSVKPLayer::Playing);
    ASSERT_TRUE(ProcessEventsUntil([&] { return notified.Count > 0; }));
    Player.Stop();
    ProcessEventsFor(500);
    monitor.Stop();

    EXPECT_EQ(notified.Count, 1);
    const auto peaks = MonitorRecorder::WindowPeaks(monitor.Samples());
    const auto runs = Joined(LoudRuns(peaks, kLoud), 3);
    ASSERT_EQ(runs.size(), 2U) << "one pause, no other gap";
    EXPECT_GT(runs[1].First - runs[0].Last, 50U); // the pause is heard
    const std::size_t heard = LoudWindows(peaks, runs[0]) + LoudWindows(peaks, runs[1]);
    EXPECT_GE(heard, 97U) << "sound was skipped";
    EXPECT_LE(heard, 104U) << "sound was repeated";
}

TEST_F(PlayerTest, VolumeAppliesFromTheNextFile) {
    Notifications notified(Player);
    MonitorRecorder monitor;
    Player.SetFile(File("tone1s.mp3"));
    Player.Play();
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return Player.MediaPlayer()->CurrentTime() > 2'000'000; }));
    Player.SetSoundVolume(0.5F);
    notified.Then = [&] {
        if (notified.Count == 1) {
            Player.SetFile(File("tone1s.mp3"));
            Player.Play();
        }
    };
    ASSERT_TRUE(ProcessEventsUntil([&] { return notified.Count == 2; }));
    monitor.Stop();

    const auto peaks = MonitorRecorder::WindowPeaks(monitor.Samples());
    const auto runs = LoudRuns(peaks, kLoud);
    ASSERT_GE(runs.size(), 1U);
    // The first file keeps its level to the end, the second is half as loud.
    const std::size_t first = runs.front().First;
    const int before = PeakOf(peaks, first + 5, first + 15);
    const int late = PeakOf(peaks, first + 60, first + 90);
    EXPECT_NEAR(static_cast<double>(late) / before, 1.0, 0.1);
    const int second = PeakOf(peaks, runs.back().Last - 40, runs.back().Last - 5);
    EXPECT_NEAR(static_cast<double>(second) / before, 0.5, 0.08);
}

TEST_F(PlayerTest, VolumeOutOfRangeFailsAndKeepsTheOldOne) {
    Player.SetSoundVolume(0.25F);
    for (const float value : {1.5F, -0.1F, std::numeric_limits<float>::quiet_NaN()}) {
        SCOPED_TRACE(value);
        try {
            Player.SetSoundVolume(value);
            ADD_FAILURE() << "accepted";
        } catch (const Exception &error) {
            EXPECT_EQ(error.Message(),
                      QStringLiteral("Assertion failure (sv.SVKPlayerThread, line 118)"));
        }
        EXPECT_EQ(Player.SoundVolume(), 0.25F);
    }
    Player.SetSoundVolume(0.0F);
    Player.SetSoundVolume(1.0F);
    EXPECT_EQ(Player.SoundVolume(), 1.0F);
}

TEST_F(PlayerTest, PlayWithoutFileDoesNothing) {
    Player.Play();
    EXPECT_EQ(Player.Status(), TSVKPLayer::Stopped);
    EXPECT_EQ(Player.MediaPlayer(), nullptr);
}

TEST_F(PlayerTest, UnplayableFilesFailClearly) {
    const struct {
        const char *Name;
        QString Path;
        const char *Message;
    } cases[] = {
        {"missing", Files->Path("missing.mp3"), "Sound file not found"},
        {"text", Files->Raw("text.mp3", QByteArray("This is not sound.\n").repeated(200)),
         "holds no MP3 audio"},
        {"empty", Files->Raw("empty.mp3", QByteArray()), "Sound file is empty"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        Notifications notified(Player);
        Player.SetFile(c.Path);
        try {
            Player.Play();
            ADD_FAILURE() << "played";
        } catch (const Exception &error) {
            EXPECT_TRUE(error.Message().contains(QString::fromLatin1(c.Message)))
                << qPrintable(error.Message());
            EXPECT_TRUE(error.Message().contains(c.Path));
        }
        EXPECT_EQ(Player.Status(), TSVKPLayer::Stopped);
        ProcessEventsFor(500);
        EXPECT_EQ(notified.Count, 0);
    }
}

TEST_F(PlayerTest, FileCutShortPlaysWhatItHolds) {
    Notifications notified(Player);
    const QString cut = Files->CutShort("cut.mp3", File("tone1s.mp3"), 0.5);
    Player.SetFile(cut);
    Player.Play();
    const std::int64_t announced = Player.MediaPlayer()->Duration();
    EXPECT_GT(announced, 0);
    ASSERT_TRUE(ProcessEventsUntil([&] { return notified.Count > 0; }));
    EXPECT_EQ(Player.MediaPlayer()->CurrentTime(), Player.MediaPlayer()->Duration());
    EXPECT_GT(Player.MediaPlayer()->Duration(), 3'000'000);
    EXPECT_LT(Player.MediaPlayer()->Duration(), 8'000'000);
}

TEST_F(PlayerTest, DestroyingThePlayerAsAFileEndsNeverDeadlocks) {
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        int count = 0;
        {
            TSVKPLayer player;
            player.Activate();
            player.SetOnReadyForNewFile([&](QObject *) { ++count; });
            player.SetFile(File("short.mp3"));
            player.Play();
            ProcessEventsUntil([&] { return player.MediaPlayer()->CurrentTime() > 2'000'000; });
            // The main thread stops running its loop around the file's end, then destroys.
            QThread::msleep(static_cast<unsigned long>(100 + (round % 5) * 60));
        }
        ProcessEventsFor(20);
        EXPECT_LE(count, 1);
    }
}

// A media object that has played to its end from the start, so that the player's
// thread hands over a notification at its first poll.
class TFinishedMedia final : public IMediaPlayer {
public:
    explicit TFinishedMedia(std::atomic<int> &reads) : FReads(reads) {}
    void SetFileName(const QString &) override {}
    void SetVolume(float) override {}
    void Play() override {}
    void Stop() override {}
    [[nodiscard]] std::int64_t CurrentTime() const override {
        ++FReads;
        return 1;
    }
    [[nodiscard]] std::int64_t Duration() const override { return 1; }

private:
    std::atomic<int> &FReads;
};

TEST(PlayerHandOver, DestroyingWhileANotificationWaitsDropsIt) {
    std::atomic<int> reads{0};
    int count = 0;
    {
        TSVKPLayer player([&] { return std::make_unique<TFinishedMedia>(reads); });
        player.Activate();
        player.SetOnReadyForNewFile([&](QObject *) { ++count; });
        player.SetFile(QStringLiteral("any.mp3"));
        player.Play();
        // The main thread runs no loop: the notification stays pending until destruction.
        while (reads.load() == 0) {
            QThread::msleep(5);
        }
        QThread::msleep(50);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    EXPECT_EQ(count, 0);
}

TEST(PlayerHandOver, NotificationForAFileStoppedMeanwhileIsDropped) {
    std::atomic<int> reads{0};
    int count = 0;
    TSVKPLayer player([&] { return std::make_unique<TFinishedMedia>(reads); });
    player.Activate();
    player.SetOnReadyForNewFile([&](QObject *) { ++count; });
    player.SetFile(QStringLiteral("any.mp3"));
    player.Play();
    while (player.Status() != TSVKPLayer::WAITING_FOR_LOADING_NEW_FILE) {
        QThread::msleep(5);
    }
    player.Stop(); // before the main thread got to the notification
    ProcessEventsFor(600);
    EXPECT_EQ(count, 0);
}

// Runs in a child process whose PULSE_SERVER names a dead socket.
TEST(PlayerNoDevice, ChildPlayFailsClearly) {
    if (qEnvironmentVariableIsEmpty("SONAVIK_PLAYER_CHILD")) {
        GTEST_SKIP() << "runs only in the child process";
    }
    SoundFiles files;
    const QString tone = files.Tone("tone.mp3", 0.5, 440, 0.5);
    TSVKPLayer player;
    player.Activate();
    int count = 0;
    player.SetOnReadyForNewFile([&](QObject *) { ++count; });
    player.SetFile(tone);
    try {
        player.Play();
        ADD_FAILURE() << "played without an audio device";
    } catch (const Exception &error) {
        std::printf("message: %s\n", error.what());
        EXPECT_FALSE(error.Message().isEmpty());
    }
    EXPECT_EQ(player.Status(), TSVKPLayer::Stopped);
    ProcessEventsFor(500);
    EXPECT_EQ(count, 0);
}

TEST(PlayerNoDevice, PlayFailsInsteadOfHanging) {
    if (!qEnvironmentVariableIsEmpty("SONAVIK_PLAYER_CHILD")) {
        GTEST_SKIP();
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("SONAVIK_PLAYER_CHILD"), QStringLiteral("1"));
    env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/sonavik/native"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=PlayerNoDevice.ChildPlayFailsClearly")});
    ASSERT_TRUE(child.waitForFinished(120000)) << "the child hangs";
    const QString output = QString::fromLocal8Bit(child.readAll());
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << qPrintable(output);
    EXPECT_EQ(child.exitCode(), 0) << qPrintable(output);
    EXPECT_TRUE(output.contains(QStringLiteral("message: "))) << qPrintable(output);
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << qPrintable(output);
}

} // namespace
