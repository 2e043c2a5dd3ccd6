// SpeechService: the service's HTTP or HTTPS face: the three routes (client id, playlist, sound
// files), request limits, and one log line per request on standard error. Run() serves on the
// calling thread with a pool of handler threads; Stop() may be called from any thread.
#pragma once

#include "ReadingStore.h"
#include "SynthesisWorker.h"
#include "TextSplitter.h"

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>

namespace httplib {
class Server;
struct Request;
struct Response;
} // namespace httplib

namespace speechd {

class ISynthesizer;

struct ServiceOptions {
    std::string Host = "127.0.0.1";
    int Port = 8737;     // 0: any free port
    std::string TlsCert; // PEM files; both empty: plain HTTP
    std::string TlsKey;
    std::string BaseUrl; // for the playlist's URLs; empty: taken from each request's Host header
    std::size_t MaxBodyBytes = 4u << 20;
    std::size_t HandlerThreads = 32;
    bool LogRequests = true;
    StoreLimits Limits;
    SplitLimits Split;
};

class SpeechService final {
public:
    // Throws std::runtime_error when the TLS certificate or key cannot be used.
    SpeechService(const ServiceOptions &options, ISynthesizer &synthesizer);
    ~SpeechService();
    SpeechService(const SpeechService &) = delete;
    SpeechService &operator=(const SpeechService &) = delete;

    // Binds the listening socket and returns its port; throws std::runtime_error on failure.
    int Bind();
    // Serves until Stop(); returns false when serving failed.
    bool Run();
    // Wakes every waiting request, stops the worker and ends Run().
    void Stop();

    ReadingStore &Store() { return FStore; }

private:
    void install_routes();
    void answer_playlist(const httplib::Request &request, const std::string &body,
                         httplib::Response &response);
    std::string base_url(const httplib::Request &request) const;

    const ServiceOptions FOptions;
    ReadingStore FStore;
    SynthesisWorker FWorker;
    std::unique_ptr<httplib::Server> FServer;
    std::atomic<bool> FRunStarted{false};
    std::atomic<bool> FRunFinished{false};
    std::atomic<bool> FStopRequested{false};
};

// A new random client id: a version 4 UUID in its 36-character form.
std::string NewClientId();

} // namespace speechd
