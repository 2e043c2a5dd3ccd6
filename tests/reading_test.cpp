// Reading text aloud from end to end, in the program's own window on a real X server
// with the PulseAudio null sink (scripts/test-env): the marked text is owned by
// another program (xclip), the bundled speech service answers over HTTPS with a
// test CA, and the program's log shows which files the player was given. A scripted
// service that can hold a part back shows what Stop does while a reading is being fetched,
// heard on the null sink's monitor.
#include "forms.FormMain2.h"
#include "sv.ActionButton.h"
#include "sv.SVKPlayerThread.h"

#include "support/HeardTones.h"
#include "support/MonitorRecorder.h"
#include "support/ScriptedSpeechService.h"
#include "support/SelectionOwners.h"
#include "support/SoundFiles.h"
#include "support/SpeechdServer.h"
#include "support/TempHome.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <optional>

namespace {

class ReadingTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The log sink opens at the first log line of the process, so it is named first.
        static QTemporaryDir logDir;
        LogFile = logDir.path() + QStringLiteral("/sonavik.log");
        qputenv("SONAVIK_LOG", QFile::encodeName(LogFile));
        Certificates.emplace();
        qputenv("SSL_CERT_FILE", QFile::encodeName(Certificates->CaFile()));
        speechd::ServiceOptions options;
        options.Port = 0;
        options.TlsCert = Certificates->Localhost().CertFile.toStdString();
        options.TlsKey = Certificates->Localhost().KeyFile.toStdString();
        options.LogRequests = false;
        Service.emplace(options);
    }
    static void TearDownTestSuite() {
        Service.reset();
        Certificates.reset();
    }

    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
            GTEST_SKIP() << "needs an X server (run through scripts/test-env)";
        }
        Home.Set("SONAVIK_SERVICE_URL", QByteArray::fromStdString(ServiceUrl()));
        LogStart = ReadBytes(LogFile).size();
        Window.emplace();
        Window->show();
    }

    void TearDown() override {
        if (Window) {
            Window->close();
            Window.reset();
        }
    }

    [[nodiscard]] virtual std::string ServiceUrl() const { return Service->BaseUrl(); }

    // The log lines written since the test began.
    [[nodiscard]] QStringList LogSinceStart() const {
        return QString::fromUtf8(ReadBytes(LogFile).mid(LogStart)).split(u'\n');
    }

    [[nodiscard]] bool LogContains(const QString &text) const {
        return LogSinceStart().join(u'\n').contains(text);
    }

    // Runs the event loop until the log holds the text (true) or a minute has passed.
    bool WaitForLog(const QString &text) {
        QElapsedTimer timer;
        timer.start();
        while (!LogContains(text)) {
            if (timer.elapsed() > 60000) {
                return false;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }

    // Runs the event loop for a while and checks that the label keeps showing the text.
    void ExpectLabelStays(const QString &text, int milliseconds) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < milliseconds) {
            ASSERT_EQ(Window->lbStatus->text(), text);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    }

    // Runs the event loop until the label shows the text (or two minutes pass) and
    // returns every label text seen on the way.
    QStringList WaitForLabel(const QString &text) {
        QStringList seen;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 120000) {
            const QString now = Window->lbStatus->text();
            if (seen.isEmpty() || seen.back() != now) {
                seen.append(now);
            }
            if (now == text && seen.size() > 1) {
                break;
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QThread::msleep(5);
        }
        return seen;
    }

    void Play(const QString &marked) {
        ASSERT_TRUE(Owners.Own("clipboard", "UTF8_STRING", QByteArray()));
        ASSERT_TRUE(Owners.Own("primary", "UTF8_STRING", marked.toUtf8()));
        Window->ActionPlay->trigger();
    }

    static inline QString LogFile;
    static inline std::optional<TTestCertificates> Certificates;
    static inline std::optional<SpeechdServer> Service;
    TempHome Home;
    TSelectionOwners Owners;
    qsizetype LogStart = 0;
    std::optional<TFormMain2> Window;
};

TEST_F(ReadingTest, FirstStartGetsAClientIdAndReadsTheMarkedTextInOrder) {
    const QString id = Window->Config().AppUid;
    EXPECT_EQ(id.size(), 36) << qPrintable(id);
    EXPECT_TRUE(ReadBytes(Home.SettingsFile()).contains("AppIdent=" + id.toUtf8()));

    Play(QStringLiteral("Første sætning er kort. Den anden sætning følger\nefter et linjeskift. Og "
                        "så den tredje."));
    const QStringList labels = WaitForLabel(QStringLiteral("KLAR"));
    EXPECT_EQ(labels.mid(0, 2),
              (QStringList{QStringLiteral("HENTER"), QStringLiteral("AFSPILLER")}));
    EXPECT_EQ(labels.back(), QStringLiteral("KLAR"));

    // The player was given the parts in playlist order, each once.
    QStringList parts;
    const QRegularExpression setFile(QStringLiteral("TSVKPlayer\\.SetFile:.*-(\\d+)\\.mp3$"));
    for (const QString &line : LogSinceStart()) {
        const QRegularExpressionMatch match = setFile.match(line);
        if (match.hasMatch()) {
            parts.append(match.captured(1));
        }
    }
    ASSERT_GE(parts.size(), 3); // one part per sentence at least
    for (qsizetype k = 0; k < parts.size(); ++k) {
        EXPECT_EQ(parts[k], QString::number(k));
    }
    EXPECT_TRUE(LogContains(QStringLiteral("process_retriever_command: 1 ")));
}

TEST_F(ReadingTest, BlankMarkedTextStartsNothing) {
    Play(QStringLiteral(" \t\r\n  "));
    ExpectLabelStays(QStringLiteral("KLAR"), 1500);
    EXPECT_FALSE(LogContains(QStringLiteral("TDownloader.Start.start")));
}

TEST_F(ReadingTest, StopDuringPlaybackEndsTheReading) {
    Play(QStringLiteral("Den første sætning læses op. Den anden sætning må ikke høres. "
                        "Den tredje heller ikke."));
    WaitForLabel(QStringLiteral("AFSPILLER"));
    ASSERT_EQ(Window->lbStatus->text(), QStringLiteral("AFSPILLER"));
    Window->ActionStop->trigger();
    EXPECT_EQ(Window->lbStatus->text(), QStringLiteral("KLAR"));
    EXPECT_EQ(Window->Player()->Status(), TSVKPLayer::Stopped);
    // No end-of-file notification follows, so no next file is asked for.
    ExpectLabelStays(QStringLiteral("KLAR"), 3000);
    EXPECT_FALSE(LogContains(QStringLiteral("ReadyToPlay.start")));
}

TEST_F(ReadingTest, ClosingDuringPlaybackEndsEveryThreadAndEmptiesTheFolder) {
    Play(QStringLiteral("En enkelt sætning, der bliver læst op, mens vinduet lukkes."));
    WaitForLabel(QStringLiteral("AFSPILLER"));
    ASSERT_EQ(Window->lbStatus->text(), QStringLiteral("AFSPILLER"));
    const QString folder = Window->Config().TempFilePath;
    QSignalSpy closed(&*Window, &TFormMain2::Closed);
    EXPECT_TRUE(Window->close());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(Window->Player(), nullptr);
    EXPECT_EQ(Window->StatusIndicator(), nullptr);
    EXPECT_TRUE(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty()) << "files left";
    Window.reset();
}

// The same window against a scripted service whose parts are sine tones.
class ScriptedReadingTest : public ReadingTest {
protected:
    void SetUp() override {
        Scripted.emplace(Certificates->Localhost().CertFile.toStdString(),
                         Certificates->Localhost().KeyFile.toStdString(), "scripted-client");
        SoundFiles sounds;
        const std::vector<std::pair<std::string, int>> parts = {
            {"p0.mp3", 500}, {"p1.mp3", 900}, {"p2.mp3", 1300}};
        std::vector<std::string> names;
        for (const auto &[name, pitch] : parts) {
            const QString file = sounds.Tone(QString::fromStdString(name), 0.6, pitch, 0.8);
            Scripted->AddPart(name, ReadBytes(file).toStdString());
            names.push_back(name);
        }
        Scripted->AddPlaylist(200, names);
        ReadingTest::SetUp();
    }

    [[nodiscard]] std::string ServiceUrl() const override { return Scripted->BaseUrl(); }

    [[nodiscard]] QStringList FilesInFolder() const {
        return QDir(Window->Config().TempFilePath).entryList(QDir::Files | QDir::Hidden);
    }

    std::optional<TScriptedSpeechService> Scripted;
};

// Stop empties the folder but does not cancel the reading: the first part, still on its
// way, plays when it arrives, and the rest follows. Its file is the one Stop left, because it
// was still being written; a file of an earlier reading goes.
TEST_F(ScriptedReadingTest, StopWhileFetchingEmptiesTheFolderAndTheReadingStillPlays) {
    const QString folder = Window->Config().TempFilePath;
    WriteBytes(folder + QStringLiteral("/earlier.mp3"), "left from an earlier reading");
    Scripted->HoldPart("p0.mp3");
    MonitorRecorder recorder;
    Play(QStringLiteral("Første del. Anden del. Tredje del."));
    ASSERT_TRUE(Scripted->WaitForPath("/parts/p0.mp3")); // its file is open and locked
    ASSERT_EQ(Window->lbStatus->text(), QStringLiteral("HENTER"));

    Window->ActionStop->trigger();
    EXPECT_EQ(Window->lbStatus->text(), QStringLiteral("KLAR"));
    EXPECT_EQ(FilesInFolder(), QStringList{QStringLiteral("p0.mp3")});
    ExpectLabelStays(QStringLiteral("KLAR"), 500);

    Scripted->ReleasePart("p0.mp3");
    const QStringList labels = WaitForLabel(QStringLiteral("KLAR"));
    EXPECT_EQ(labels, (QStringList{QStringLiteral("KLAR"), QStringLiteral("AFSPILLER"),
                                   QStringLiteral("KLAR")}));
    EXPECT_EQ(FrequenciesOf(HeardTones(recorder.Samples(), {500, 900, 1300})),
              (std::vector<int>{500, 900, 1300}));
    std::vector<std::string> asked;
    for (const TSpeechRequest &request : Scripted->Requests()) {
        asked.push_back(request.Path);
    }
    std::sort(asked.begin() + 3, asked.end()); // the later parts are fetched side by side
    EXPECT_EQ(asked, (std::vector<std::string>{"/getuniqueid.wq", "/getplaylist.wq",
                                               "/parts/p0.mp3", "/parts/p1.mp3", "/parts/p2.mp3"}));
}

} // namespace
