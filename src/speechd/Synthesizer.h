// Synthesizer: turns the text of one part into an MP3 file's bytes: espeak-ng's Danish voice, then
// LAME. espeak-ng keeps process-wide state (started once, kept until the process ends) and is not
// thread-safe, so a process has at most one Synthesizer at a time, used from one thread (the
// synthesis worker).
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

namespace speechd {

struct SynthesisResult {
    std::string Mp3;
    std::size_t Samples = 0; // mono samples before encoding
    int SampleRate = 0;
    bool Aborted = false; // the abort flag was raised before the part was finished
};

class ISynthesizer {
public:
    virtual ~ISynthesizer() = default;
    // Synthesises `text` (UTF-8) at speed 1..10 and pitch 1..3; stops early when `abort` turns
    // true. Throws std::runtime_error when the synthesiser or the encoder fails.
    virtual SynthesisResult Synthesize(const std::string &text, int speed, int pitch,
                                       const std::atomic<bool> &abort) = 0;
};

// Words per minute for a speed of 1..10; 5 is the voice's normal rate.
int WordsPerMinute(int speed);
// espeak-ng's base pitch (0..100) for a pitch of 1 (higher), 2 (normal) or 3 (lower).
int BasePitch(int pitch);

class Synthesizer final : public ISynthesizer {
public:
    // Starts espeak-ng with its Danish voice; throws std::runtime_error when that fails or when
    // another Synthesizer exists.
    Synthesizer();
    ~Synthesizer() override;
    Synthesizer(const Synthesizer &) = delete;
    Synthesizer &operator=(const Synthesizer &) = delete;

    SynthesisResult Synthesize(const std::string &text, int speed, int pitch,
                               const std::atomic<bool> &abort) override;

private:
    int FSampleRate = 0;
};

} // namespace speechd
