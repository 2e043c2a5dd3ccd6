// Reading aloud from end to end with the separate program, as a user does it: on the X server
// of scripts/test-env another program's window holds marked text and owns the primary
// selection; the test focuses that window, then Sonavik, and presses Alt+A through XTest.
// A scripted speech service over HTTPS (trusted through a test CA) records what it is asked
// and answers with parts that are sine tones of distinct pitches, so the null sink's monitor
// tells which parts were heard and in which order.
#include "sv.OSVersion.h"

#include "support/DesktopPrograms.h"
#include "support/HeardTones.h"
#include "support/MonitorRecorder.h"
#include "support/ScriptedServer.h"
#include "support/ScriptedSpeechService.h"
#include "support/SoundFiles.h"
#include "support/TempHome.h"
#include "support/TestCertificates.h"
#include "support/WireForm.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QThread>

#include <chrono>
#include <map>
#include <optional>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The parts' pitches, in Hz, far enough apart to be told apart by their zero crossings.
const std::vector<int> kPitches = {500, 900, 1300, 1700, 2100};

const QString kMarkedText =
    QStringLiteral("Første linje med æ, ø og å.\nAnden linje: \"så\" & 50 %.");

class ProgramTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Certificates.emplace();
        qputenv("SSL_CERT_FILE", QFile::encodeName(Certificates->CaFile()));
        Sounds.emplace();
        for (const int pitch : kPitches) {
            for (const double seconds : {0.6, 2.0, 4.0}) {
                const QString name = QStringLiteral("%1-%2.mp3").arg(pitch).arg(seconds);
                Tones[{pitch, seconds}] = ReadBytes(Sounds->Tone(name, seconds, pitch, 0.8));
            }
        }
    }
    static void TearDownTestSuite() {
        Sounds.reset();
        Certificates.reset();
    }

    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
            GTEST_SKIP() << "needs the X server and the sound server of scripts/test-env";
        }
        Service.emplace(Certificates->Localhost().CertFile.toStdString(),
                        Certificates->Localhost().KeyFile.toStdString(),
                        "e2e-" + std::to_string(Clock::now().time_since_epoch().count()));
        Home.Set("SONAVIK_SERVICE_URL", QByteArray::fromStdString(Service->BaseUrl()));
        Home.Set("SONAVIK_LOG", QFile::encodeName(LogFile()));
    }

    [[nodiscard]] QString LogFile() const { return Home.Path() + QStringLiteral("/sonavik.log"); }

    // A part of the given pitch and length under the name.
    void AddTone(const std::string &name, int pitch, double seconds, int status = 200) {
        Service->AddPart(name, Tones.at({pitch, seconds}).toStdString(), status);
    }

    // A reading of three parts, p0 to p2 at 500, 900 and 1300 Hz, each of the given length
    // (0.6, 2 or 4 s); the part named missing answers 404.
    void ScriptReading(double seconds, const std::string &missing = {}) {
        Service->AddPlaylist(200, {"p0.mp3", "p1.mp3", "p2.mp3"});
        AddTone("p0.mp3", 500, seconds, missing == "p0.mp3" ? 404 : 200);
        AddTone("p1.mp3", 900, seconds, missing == "p1.mp3" ? 404 : 200);
        AddTone("p2.mp3", 1300, seconds, missing == "p2.mp3" ? 404 : 200);
    }

    // The marked-text window with the text, then the program (which gets its client id).
    void StartBoth(const QString &marked = kMarkedText) {
        Marked.emplace(QStringLiteral(MARKED_TEXT_WINDOW), marked);
        Program.emplace(QStringLiteral(SONAVIK_BINARY), LogFile());
        Xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), Marked->WindowId()});
    }

    // The tones heard so far.
    [[nodiscard]] std::vector<THeardTone> Heard() const {
        return HeardTones(Recorder->Samples(), kPitches);
    }

    // Waits until the tones heard so far satisfy the test, or a minute has passed.
    template <typename Test> std::vector<THeardTone> WaitUntilHeard(Test done) const {
        const auto limit = Clock::now() + 60s;
        std::vector<THeardTone> heard = Heard();
        while (!done(heard) && Clock::now() < limit) {
            std::this_thread::sleep_for(100ms);
            heard = Heard();
        }
        return heard;
    }
    std::vector<THeardTone> WaitUntilHeardTones(std::size_t count) const {
        return WaitUntilHeard([count](const auto &heard) { return heard.size() >= count; });
    }
    // Waits until the first tone heard has lasted a while: the reading is playing.
    void WaitUntilPlaying() const {
        const auto heard = WaitUntilHeard([](const auto &tones) {
            return !tones.empty() &&
                   tones.front().EndSample - tones.front().FirstSample > MonitorRecorder::kRate / 4;
        });
        ASSERT_FALSE(heard.empty()) << "nothing was heard";
    }

    // The paths the service was asked for with the method, in order.
    [[nodiscard]] std::vector<std::string> PathsAsked(const std::string &method) const {
        std::vector<std::string> paths;
        for (const TSpeechRequest &request : Service->Requests()) {
            if (request.Method == method) {
                paths.push_back(request.Path);
            }
        }
        return paths;
    }

    [[nodiscard]] QStringList FilesInSoundFolder() const {
        return QDir(Home.SoundFileFolder()).entryList(QDir::Files | QDir::Hidden);
    }

    // Lets the sink play for a while with the recorder listening.
    static void Listen(std::chrono::milliseconds time) { std::this_thread::sleep_for(time); }

    static inline std::optional<TTestCertificates> Certificates;
    static inline std::optional<SoundFiles> Sounds;
    static inline std::map<std::pair<int, double>, QByteArray> Tones;
    TempHome Home;
    std::optional<TScriptedSpeechService> Service;
    std::optional<MonitorRecorder> Recorder{std::in_place};
    std::optional<TMarkedTextWindow> Marked;
    std::optional<TSonavikProgram> Program;
};

TEST_F(ProgramTest, FirstStartReadsTheMarkedTextAloudInOrder) {
    ScriptReading(0.6);
    StartBoth();
    const QByteArray storedId = "AppIdent=" + QByteArray::fromStdString(Service->ClientId());
    EXPECT_TRUE(ReadBytes(Home.SettingsFile()).contains(storedId));

    Program->PressPlay();
    WaitUntilHeardTones(3);
    Listen(1s); // nothing more follows
    EXPECT_EQ(FrequenciesOf(Heard()), (std::vector<int>{500, 900, 1300}));

    const std::vector<TSpeechRequest> requests = Service->Requests();
    ASSERT_GE(requests.size(), 2U);
    EXPECT_EQ(requests[0].Path, "/getuniqueid.wq");
    EXPECT_EQ(requests[0].Body, "reg=get");
    EXPECT_EQ(requests[1].Path, "/getplaylist.wq");
    EXPECT_EQ(requests[1].ContentType, "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[1].Body,
              PlaylistBody(kMarkedText.toStdString(), "5", "2", Service->ClientId(),
                           GetOSDescription().toStdString()));
    std::vector<std::string> parts = PathsAsked("GET");
    std::sort(parts.begin(), parts.end()); // downloads run in parallel
    EXPECT_EQ(parts, (std::vector<std::string>{"/parts/p0.mp3", "/parts/p1.mp3", "/parts/p2.mp3"}));

    EXPECT_EQ(Program->Close(), 0);
    EXPECT_TRUE(ReadBytes(Home.SettingsFile()).contains(storedId));
    EXPECT_TRUE(FilesInSoundFolder().isEmpty()) << FilesInSoundFolder().join(u' ').toStdString();
}

TEST_F(ProgramTest, APartAnswering404IsSkipped) {
    ScriptReading(0.6, "p1.mp3");
    StartBoth();
    Program->PressPlay();
    WaitUntilHeardTones(2);
    Listen(1s);
    EXPECT_EQ(FrequenciesOf(Heard()), (std::vector<int>{500, 1300}));
    EXPECT_TRUE(Service->WaitForPath("/parts/p1.mp3", 1s))
        << "the missing part was never asked for";
    EXPECT_EQ(Program->Close(), 0);
}

TEST_F(ProgramTest, APlaylistAnswer500PlaysNothing) {
    Service->AddPlaylist(500, {});
    StartBoth();
    Program->PressPlay();
    ASSERT_TRUE(Service->WaitForPath("/getplaylist.wq"));
    Listen(3s);
    EXPECT_TRUE(Heard().empty());
    EXPECT_TRUE(PathsAsked("GET").empty());
    ASSERT_TRUE(Program->Running());
    EXPECT_EQ(Program->Close(), 0);
}

// Without a reachable service the program still starts and stays usable: the client id it
// could not get is stored empty, Play ends in the retriever's error report, and the next
// start with the service back asks for the id again.
TEST_F(ProgramTest, ADeadServiceLeavesTheProgramUsableAndTheIdIsFetchedLater) {
    Home.Set("SONAVIK_SERVICE_URL",
             QStringLiteral("https://127.0.0.1:%1/").arg(FreeLoopbackPort()).toUtf8());
    StartBoth();
    EXPECT_TRUE(ReadBytes(Home.SettingsFile()).contains("AppIdent=\n"));
    Program->PressPlay();
    ASSERT_TRUE(Program->WaitForLog(QStringLiteral("process_retriever_command: 2 ")))
        << "Play against a dead service ended in no error report";
    Listen(1s);
    EXPECT_TRUE(Heard().empty());
    EXPECT_EQ(Program->Close(), 0);
    EXPECT_TRUE(Service->Requests().empty());

    Home.Set("SONAVIK_SERVICE_URL", QByteArray::fromStdString(Service->BaseUrl()));
    ScriptReading(0.6);
    Program.emplace(QStringLiteral(SONAVIK_BINARY), LogFile());
    EXPECT_TRUE(ReadBytes(Home.SettingsFile())
                    .contains("AppIdent=" + QByteArray::fromStdString(Service->ClientId())));
    Program->PressPlay();
    WaitUntilHeardTones(3);
    EXPECT_EQ(FrequenciesOf(Heard()), (std::vector<int>{500, 900, 1300}));
    EXPECT_EQ(Program->Close(), 0);
}

TEST_F(ProgramTest, BlankMarkedTextStartsNothing) {
    StartBoth(QStringLiteral(" \t\n  \r\n"));
    Program->PressPlay();
    ASSERT_TRUE(Program->WaitForLog(QStringLiteral("ActionPlayExecute.end")));
    Listen(1s);
    EXPECT_EQ(PathsAsked("POST"), std::vector<std::string>{"/getuniqueid.wq"});
    EXPECT_EQ(Program->Close(), 0);
}

TEST_F(ProgramTest, StopDuringPlaybackSilencesTheReading) {
    ScriptReading(2.0);
    StartBoth();
    Program->PressPlay();
    WaitUntilPlaying();
    Program->ClickStop();
    ASSERT_TRUE(Program->WaitForLog(QStringLiteral("ActionStopExecute.end")));
    Listen(3s);
    const auto heard = Heard();
    ASSERT_EQ(FrequenciesOf(heard), std::vector<int>{500});
    EXPECT_LT(heard[0].EndSample - heard[0].FirstSample, MonitorRecorder::kRate * 19 / 10)
        << "the first part was not cut short";
    EXPECT_FALSE(Program->Log().contains(QStringLiteral("ReadyToPlay.start")))
        << "the player asked for a next file";
    EXPECT_EQ(Program->Close(), 0);
}

TEST_F(ProgramTest, PlayDuringAReadingGoesOnUntilTheNewFirstPartReplacesIt) {
    Service->AddPlaylist(200, {"a0.mp3", "a1.mp3", "a2.mp3"});
    Service->AddPlaylist(200, {"b0.mp3", "b1.mp3", "b2.mp3"});
    AddTone("a0.mp3", 500, 4.0);
    AddTone("a1.mp3", 900, 0.6);
    AddTone("a2.mp3", 900, 0.6);
    AddTone("b0.mp3", 1300, 0.6);
    AddTone("b1.mp3", 1700, 0.6);
    AddTone("b2.mp3", 2100, 0.6);
    Service->HoldPart("b0.mp3");
    StartBoth();
    Program->PressPlay();
    WaitUntilPlaying();
    Program->PressPlay();
    ASSERT_TRUE(Service->WaitForPath("/parts/b0.mp3"));
    Listen(500ms); // the new reading's first part is still on its way
    const auto released = Clock::now();
    Service->ReleasePart("b0.mp3");
    const auto heard = WaitUntilHeardTones(4);
    Listen(1s);
    EXPECT_EQ(FrequenciesOf(Heard()), (std::vector<int>{500, 1300, 1700, 2100}));
    ASSERT_FALSE(heard.empty());
    // The old part went on while the new first part was held back; it ends as that part
    // arrives, a few milliseconds after its release (the margin allows for the monitor's
    // timing).
    EXPECT_GT(Recorder->TimeOf(heard[0].EndSample), released - 250ms)
        << "the old part stopped before the new first part was there";
    EXPECT_EQ(Program->Close(), 0);
}

TEST_F(ProgramTest, ClosingDuringPlaybackEndsTheProgramAndEmptiesTheFolder) {
    ScriptReading(2.0);
    StartBoth();
    Program->PressPlay();
    WaitUntilPlaying();
    EXPECT_EQ(Program->Close(), 0); // a hang ends in the kill after a minute: -1
    EXPECT_TRUE(Program->Log().contains(QStringLiteral("FormDestroy.end")));
    EXPECT_TRUE(FilesInSoundFolder().isEmpty()) << FilesInSoundFolder().join(u' ').toStdString();
    const std::size_t atClose = Recorder->SampleCount();
    Listen(1s);
    const auto samples = Recorder->Samples();
    EXPECT_TRUE(HeardTones({samples.begin() + static_cast<std::ptrdiff_t>(atClose), samples.end()},
                           kPitches)
                    .empty());
}

} // namespace
