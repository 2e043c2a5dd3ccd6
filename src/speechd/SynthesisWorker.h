// SynthesisWorker: the one thread that synthesises parts, in the order the ReadingStore gives
// them (espeak-ng is not thread-safe, so all synthesis runs here). Starts in its constructor;
// the destructor shuts the store down and joins the thread.
#pragma once

#include <thread>

namespace speechd {

class ISynthesizer;
class ReadingStore;

class SynthesisWorker final {
public:
    SynthesisWorker(ReadingStore &store, ISynthesizer &synthesizer);
    ~SynthesisWorker();
    SynthesisWorker(const SynthesisWorker &) = delete;
    SynthesisWorker &operator=(const SynthesisWorker &) = delete;

private:
    void run();

    ReadingStore &FStore;
    ISynthesizer &FSynthesizer;
    std::thread FThread;
};

} // namespace speechd
