// SpeechdServer: runs the bundled speech service inside a test process on a free loopback port,
// with real synthesis (espeak-ng, LAME): plain HTTP, or HTTPS when the options name a certificate
// and key. It serves on a thread of its own and stops when the object goes. espeak-ng allows one
// synthesiser per process, so at most one SpeechdServer exists at a time.
#pragma once

#include "SpeechService.h"

#include <memory>
#include <string>
#include <thread>

namespace speechd {
class Synthesizer;
}

class SpeechdServer {
public:
    explicit SpeechdServer(speechd::ServiceOptions options = {});
    ~SpeechdServer();
    SpeechdServer(const SpeechdServer &) = delete;
    SpeechdServer &operator=(const SpeechdServer &) = delete;

    [[nodiscard]] int Port() const { return FPort; }
    // "http://127.0.0.1:PORT/" or "https://127.0.0.1:PORT/": the base URL to hand the client.
    [[nodiscard]] std::string BaseUrl() const;
    speechd::ReadingStore &Store() { return FService->Store(); }

private:
    bool FTls = false;
    std::unique_ptr<speechd::Synthesizer> FSynthesizer;
    std::unique_ptr<speechd::SpeechService> FService;
    int FPort = 0;
    std::thread FThread;
};
