// Benchmark of reading aloud from the user's key press to the sound, with the separate
// program on the X server and the null sink of the test environment:
//   scripts/test-env build/release/bench/time_to_audio
// Another program's window holds marked text; a scripted speech service on loopback answers
// at once, with three parts per reading (0.5 s sine tones of distinct pitches). For 20
// readings it presses Alt+A in Sonavik through XTest and prints (median and worst): the time
// from the key press to the first sound on the sink's monitor, and the silent gap between
// consecutive parts. From the program's log it also prints where the first sound's time goes:
// the capture (the Alt+Tab switch and its fixed waits) and the fetch up to the player's start.
// Goals: first sound within 250 ms (the capture's waits) + 150 ms; median gap under 150 ms.
#include "support/DesktopPrograms.h"
#include "support/HeardTones.h"
#include "support/MonitorRecorder.h"
#include "support/ScriptedSpeechService.h"
#include "support/SoundFiles.h"
#include "support/TempHome.h"
#include "support/TestCertificates.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kReadings = 20;
constexpr int kLoud = 1500;
const std::vector<int> kPitches = {500, 900, 1300};

using Clock = MonitorRecorder::Clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Print(const char *what, std::vector<double> values, double goal = 0) {
    if (values.empty()) {
        std::printf("%-44s no data\n", what);
        return;
    }
    std::sort(values.begin(), values.end());
    std::printf("%-44s median %7.1f ms   worst %7.1f ms   (n=%zu)", what, values[values.size() / 2],
                values.back(), values.size());
    if (goal > 0) {
        std::printf("   goal %.0f ms", goal);
    }
    std::printf("\n");
}

// The first loud sample in [from, to), or to.
std::size_t FirstLoud(const std::vector<std::int16_t> &samples, std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
        if (std::abs(static_cast<int>(samples[i])) >= kLoud) {
            return i;
        }
    }
    return to;
}

// One past the last loud sample in [from, to), or from.
std::size_t EndOfLoud(const std::vector<std::int16_t> &samples, std::size_t from, std::size_t to) {
    for (std::size_t i = to; i > from; --i) {
        if (std::abs(static_cast<int>(samples[i - 1])) >= kLoud) {
            return i;
        }
    }
    return from;
}

// The time stamp of the first log line after position from that holds the text.
QDateTime LogStamp(const QString &log, qsizetype from, const QString &text) {
    const qsizetype at = log.indexOf(text, from);
    if (at < 0) {
        return {};
    }
    const qsizetype lineStart = log.lastIndexOf(u'\n', at) + 1;
    return QDateTime::fromString(log.mid(lineStart, 23), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

double MsBetween(const QDateTime &start, const QDateTime &end) {
    return start.isValid() && end.isValid() ? static_cast<double>(start.msecsTo(end)) : -1;
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("DISPLAY") || qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        std::fprintf(stderr, "run inside scripts/test-env\n");
        return 2;
    }
    TTestCertificates certificates;
    qputenv("SSL_CERT_FILE", QFile::encodeName(certificates.CaFile()));
    TScriptedSpeechService service(certificates.Localhost().CertFile.toStdString(),
                                   certificates.Localhost().KeyFile.toStdString(), "bench-client");
    SoundFiles sounds;
    std::vector<std::string> tones;
    for (const int pitch : kPitches) {
        const QString file = sounds.Tone(QStringLiteral("%1.mp3").arg(pitch), 0.5, pitch, 0.8);
        tones.push_back(ReadBytes(file).toStdString());
    }
    for (int reading = 0; reading < kReadings; ++reading) {
        std::vector<std::string> names;
        for (std::size_t part = 0; part < tones.size(); ++part) {
            names.push_back("r" + std::to_string(reading) + "-" + std::to_string(part) + ".mp3");
            service.AddPart(names.back(), tones[part]);
        }
        service.AddPlaylist(200, names);
    }

    TempHome home;
    const QString logFile = home.Path() + QStringLiteral("/sonavik.log");
    home.Set("SONAVIK_SERVICE_URL", QByteArray::fromStdString(service.BaseUrl()));
    home.Set("SONAVIK_LOG", QFile::encodeName(logFile));
    TMarkedTextWindow marked(QStringLiteral(MARKED_TEXT_WINDOW),
                             QStringLiteral("En kort tekst, der skal læses op."));
    TSonavikProgram program(QStringLiteral(SONAVIK_BINARY), logFile);
    MonitorRecorder recorder;
    Xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), marked.WindowId()});

    std::vector<double> firstSound;
    std::vector<double> gaps;
    std::vector<double> toAction;
    std::vector<double> capture;
    std::vector<double> fetch;
    std::vector<double> toSound;
    for (int reading = 0; reading < kReadings; ++reading) {
        program.Activate();
        std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the window is settled
        const std::size_t from = recorder.SampleCount();
        const qsizetype logFrom = program.Log().size();
        const QDateTime pressedAt = QDateTime::currentDateTime();
        const Clock::time_point pressed = Clock::now();
        Xdotool({QStringLiteral("key"), QStringLiteral("alt+a")});
        std::vector<THeardTone> heard;
        const auto limit = Clock::now() + std::chrono::seconds(30);
        std::vector<std::int16_t> samples;
        do {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            samples = recorder.Samples();
            heard = HeardTones({samples.begin() + static_cast<std::ptrdiff_t>(from), samples.end()},
                               kPitches);
        } while ((heard.size() < kPitches.size() ||
                  samples.size() - from - heard.back().EndSample < MonitorRecorder::kRate / 5) &&
                 Clock::now() < limit);
        if (heard.size() != kPitches.size()) {
            std::printf("reading %d: heard %zu parts, not %zu\n", reading, heard.size(),
                        kPitches.size());
            continue;
        }
        const std::size_t first = FirstLoud(samples, from, samples.size());
        firstSound.push_back(Ms(recorder.TimeOf(first) - pressed));
        for (std::size_t k = 0; k + 1 < heard.size(); ++k) {
            const std::size_t end =
                EndOfLoud(samples, from + heard[k].FirstSample, from + heard[k].EndSample);
            const std::size_t next =
                FirstLoud(samples, from + heard[k + 1].FirstSample - MonitorRecorder::kWindow,
                          from + heard[k + 1].EndSample);
            gaps.push_back(1000.0 * static_cast<double>(next - end) / MonitorRecorder::kRate);
        }
        // Where the time went, from the program's log (millisecond time stamps).
        const QString log = program.Log();
        const QDateTime actionStart =
            LogStamp(log, logFrom, QStringLiteral("ActionPlayExecute.start"));
        const QDateTime actionEnd = LogStamp(log, logFrom, QStringLiteral("ActionPlayExecute.end"));
        const QDateTime playStart = LogStamp(log, logFrom, QStringLiteral("TSVKPlayer.Play.start"));
        toAction.push_back(MsBetween(pressedAt, actionStart));
        capture.push_back(MsBetween(actionStart, actionEnd));
        fetch.push_back(MsBetween(actionEnd, playStart));
        toSound.push_back(firstSound.back() - MsBetween(pressedAt, playStart));
    }
    std::printf("time_to_audio: %d readings of %zu parts (0.5 s each), service answering at once\n",
                kReadings, kPitches.size());
    Print("key press to first sound", firstSound, 400);
    Print("silent gap between parts", gaps, 150);
    Print("  key press to the play action (log)", toAction);
    Print("  capture: switch, waits, selection (log)", capture);
    Print("  playlist and first part to player (log)", fetch);
    Print("  player start to sound", toSound);
    program.Close();
    return 0;
}
