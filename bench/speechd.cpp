// Benchmark of the bundled speech service: the time from a playlist request to its first part
// being ready (the answer to the GET of part 0 complete), for texts of 100, 2 000 and 20 000
// characters, on loopback over plain HTTP with real synthesis; and the synthesis speed (espeak-ng
// plus LAME) as a multiple of real time. Goals: first part within 150 ms whatever the text's
// length; synthesis at least 20 times faster than real time. Prints its figures.
#include "SpeechService.h"
#include "Synthesizer.h"
#include "TextSplitter.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

using namespace speechd;
using Clock = std::chrono::steady_clock;

namespace {

// UTF-8 Danish text.
const char *const kSentences[] = {
    "Solen stod op over byen, og de første cyklister var allerede på vej.",
    "Hun læste avisen ved køkkenbordet og drak sin kaffe i ro og mag.",
    "Toget til Aarhus var forsinket, men ingen syntes at have travlt i dag.",
    "I parken legede børnene ved søen, mens ænderne svømmede forbi.",
    "Biblioteket åbner klokken ti, og der er altid en kø af nysgerrige læsere.",
    "Vejret skifter hurtigt her, så man bør altid have en regnjakke med.",
};

std::size_t Characters(const std::string &s) {
    return static_cast<std::size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string DanishText(std::size_t characters) {
    std::string text;
    for (std::size_t i = 0; Characters(text) < characters; ++i) {
        text += kSentences[i % std::size(kSentences)];
        text += ' ';
    }
    return text;
}

// The client's two encodings of the text: query-parameter encoding, then form-field encoding.
std::string WireText(const std::string &text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string wire;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '*';
        if (keep) {
            wire += ch;
        } else if (c < 33 || c > 127) {
            wire += std::string("%25") + kHex[c >> 4] + kHex[c & 0xF]; // P, then "%" through F
        } else {
            wire += std::string("%") + kHex[c >> 4] + kHex[c & 0xF]; // F only
        }
    }
    return wire;
}

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void MeasureSynthesisSpeed() {
    Synthesizer synthesizer;
    const std::vector<std::string> parts = SplitText(DanishText(6000));
    const std::atomic<bool> never{false};
    double audioSeconds = 0.0;
    std::size_t mp3Bytes = 0;
    const auto start = Clock::now();
    for (const std::string &part : parts) {
        const SynthesisResult result = synthesizer.Synthesize(part, 5, 2, never);
        audioSeconds += static_cast<double>(result.Samples) / result.SampleRate;
        mp3Bytes += result.Mp3.size();
    }
    const double wallSeconds = Milliseconds(Clock::now() - start) / 1000.0;
    std::printf("synthesis (espeak-ng + LAME), %zu parts of a 6000-character text at speed 5:\n"
                "  %.1f s of audio in %.2f s: %.0f times real time (goal: at least 20); "
                "%.1f KiB of MP3 per minute\n",
                parts.size(), audioSeconds, wallSeconds, audioSeconds / wallSeconds,
                static_cast<double>(mp3Bytes) / 1024.0 / (audioSeconds / 60.0));
}

void MeasureFirstPart() {
    Synthesizer synthesizer;
    ServiceOptions options;
    options.Port = 0;
    options.LogRequests = false;
    SpeechService service(options, synthesizer);
    const int port = service.Bind();
    std::thread server([&] { service.Run(); });

    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(std::chrono::seconds(120));
    constexpr int kRounds = 7;
    std::printf("first part ready (playlist POST + GET of part 0), %d rounds each, one client; "
                "each reading replaces the one before while it is still being synthesised:\n",
                kRounds);
    for (const std::size_t size : {100u, 2000u, 20000u}) {
        const std::string body =
            "text=" + WireText(DanishText(size)) + "&pitch=2&speed=5&clientid=bench&system=linux";
        std::vector<double> times;
        std::size_t parts = 0;
        for (int round = 0; round < kRounds; ++round) {
            const auto start = Clock::now();
            const auto playlist =
                client.Post("/getplaylist.wq", body, "application/x-www-form-urlencoded");
            if (!playlist || playlist->status != 200) {
                std::printf("  playlist request failed\n");
                break;
            }
            const std::string first = playlist->body.substr(0, playlist->body.find(','));
            const auto part = client.Get(first.substr(first.find("/audio/")));
            const auto end = Clock::now();
            if (!part || part->status != 200) {
                std::printf("  part 0 failed\n");
                break;
            }
            times.push_back(Milliseconds(end - start));
            parts = static_cast<std::size_t>(
                        std::count(playlist->body.begin(), playlist->body.end(), ',')) +
                    1;
        }
        if (times.empty()) {
            continue;
        }
        std::sort(times.begin(), times.end());
        std::printf("  %5zu characters (%3zu parts, %6zu bytes of form): median %6.1f ms, "
                    "max %6.1f ms (goal: 150 ms)\n",
                    size, parts, body.size(), times[times.size() / 2], times.back());
    }
    service.Stop();
    server.join();
}

} // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    MeasureSynthesisSpeed();
    MeasureFirstPart();
    return 0;
}
