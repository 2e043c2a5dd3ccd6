#include "Synthesizer.h"

#include <espeak-ng/speak_lib.h>
#include <lame/lame.h>

#include <array>
#include <memory>
#include <stdexcept>
#include <vector>

namespace speechd {
namespace {

std::atomic<bool> gInstanceExists{false};

constexpr int kBitRateKbps = 48;

struct Collector {
    std::vector<short> Samples;
    const std::atomic<bool> *Abort = nullptr;
};

int CollectSamples(short *wav, int count, espeak_EVENT *events) {
    auto *collector = static_cast<Collector *>(events->user_data);
    if (wav != nullptr && count > 0) {
        collector->Samples.insert(collector->Samples.end(), wav, wav + count);
    }
    return collector->Abort->load() ? 1 : 0;
}

struct LameCloser {
    void operator()(lame_global_flags *flags) const { lame_close(flags); }
};

std::string EncodeMp3(const std::vector<short> &samples, int sampleRate) {
    std::unique_ptr<lame_global_flags, LameCloser> lame(lame_init());
    if (!lame) {
        throw std::runtime_error("cannot start the MP3 encoder");
    }
    lame_set_in_samplerate(lame.get(), sampleRate);
    lame_set_out_samplerate(lame.get(), sampleRate);
    lame_set_num_channels(lame.get(), 1);
    lame_set_mode(lame.get(), MONO);
    lame_set_brate(lame.get(), kBitRateKbps);
    lame_set_quality(lame.get(), 7);
    lame_set_bWriteVbrTag(lame.get(), 0);
    if (lame_init_params(lame.get()) < 0) {
        throw std::runtime_error("cannot set up the MP3 encoder");
    }
    std::string mp3(samples.size() * 5 / 4 + 7200, '\0');
    auto *out = reinterpret_cast<unsigned char *>(mp3.data());
    const int written =
        lame_encode_buffer(lame.get(), samples.data(), samples.data(),
                           static_cast<int>(samples.size()), out, static_cast<int>(mp3.size()));
    if (written < 0) {
        throw std::runtime_error("MP3 encoding failed");
    }
    const int flushed =
        lame_encode_flush(lame.get(), out + written, static_cast<int>(mp3.size()) - written);
    if (flushed < 0) {
        throw std::runtime_error("MP3 encoding failed");
    }
    mp3.resize(static_cast<std::size_t>(written) + static_cast<std::size_t>(flushed));
    return mp3;
}

} // namespace

int WordsPerMinute(int speed) {
    static constexpr std::array<int, 10> kRates = {100, 120, 140, 158, espeakRATE_NORMAL,
                                                   205, 240, 280, 330, 390};
    const int index = speed < 1 ? 0 : (speed > 10 ? 9 : speed - 1);
    return kRates.at(static_cast<std::size_t>(index));
}

int BasePitch(int pitch) {
    if (pitch == 1) {
        return 70;
    }
    return pitch == 3 ? 30 : 50;
}

// espeak-ng is started once per process and never terminated: espeak_Terminate() waits for a
// thread of the library's own that a synchronous start never runs, and so never returns.
static int StartEspeakOnce() {
    static const int sampleRate = [] {
        const int rate =
            espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
        if (rate > 0) {
            espeak_SetSynthCallback(CollectSamples);
        }
        return rate;
    }();
    return sampleRate;
}

Synthesizer::Synthesizer() {
    if (gInstanceExists.exchange(true)) {
        throw std::runtime_error("only one synthesiser may exist at a time");
    }
    FSampleRate = StartEspeakOnce();
    if (FSampleRate <= 0) {
        gInstanceExists = false;
        throw std::runtime_error("cannot start espeak-ng (is espeak-ng-data installed?)");
    }
    if (espeak_SetVoiceByName("da") != EE_OK) {
        gInstanceExists = false;
        throw std::runtime_error("espeak-ng has no Danish voice");
    }
}

Synthesizer::~Synthesizer() {
    gInstanceExists = false;
}

SynthesisResult Synthesizer::Synthesize(const std::string &text, int speed, int pitch,
                                        const std::atomic<bool> &abort) {
    espeak_SetParameter(espeakRATE, WordsPerMinute(speed), 0);
    espeak_SetParameter(espeakPITCH, BasePitch(pitch), 0);
    Collector collector;
    collector.Abort = &abort;
    const espeak_ERROR error = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                                            espeakCHARS_UTF8, nullptr, &collector);
    if (error != EE_OK) {
        throw std::runtime_error("espeak-ng failed to synthesise the text");
    }
    SynthesisResult result;
    result.SampleRate = FSampleRate;
    result.Aborted = abort.load();
    if (result.Aborted) {
        return result;
    }
    if (collector.Samples.empty()) {
        // A part without sound still becomes a playable file: a tenth of a second of silence.
        collector.Samples.assign(static_cast<std::size_t>(FSampleRate / 10), 0);
    }
    result.Samples = collector.Samples.size();
    result.Mp3 = EncodeMp3(collector.Samples, FSampleRate);
    return result;
}

} // namespace speechd
