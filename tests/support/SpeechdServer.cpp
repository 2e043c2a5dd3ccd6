#include "support/SpeechdServer.h"

#include "Synthesizer.h"

SpeechdServer::SpeechdServer(speechd::ServiceOptions options) {
    options.Host = "127.0.0.1";
    options.Port = 0;
    FTls = !options.TlsCert.empty();
    FSynthesizer = std::make_unique<speechd::Synthesizer>();
    FService = std::make_unique<speechd::SpeechService>(options, *FSynthesizer);
    FPort = FService->Bind(); // listening from here on: connections wait in the backlog
    FThread = std::thread([this] { FService->Run(); });
}

SpeechdServer::~SpeechdServer() {
    FService->Stop();
    FThread.join();
}

std::string SpeechdServer::BaseUrl() const {
    return std::string(FTls ? "https" : "http") + "://127.0.0.1:" + std::to_string(FPort) + "/";
}
