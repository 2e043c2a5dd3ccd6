#include "SpeechService.h"

#include "FormDecoding.h"
#include "RequestError.h"

#include <httplib.h>
#include <openssl/ssl.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <random>
#include <stdexcept>
#include <thread>

namespace speechd {
namespace {

constexpr const char *kTextPlain = "text/plain";

bool IsPlainHostHeader(const std::string &host) {
    if (host.empty() || host.size() > 255) {
        return false;
    }
    for (const char c : host) {
        const bool alnum =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum && c != '.' && c != '-' && c != ':' && c != '[' && c != ']') {
            return false;
        }
    }
    return true;
}

void LogRequest(const httplib::Request &request, const httplib::Response &response) {
    const std::time_t now = std::time(nullptr);
    std::array<char, 32> stamp{};
    std::tm parts{};
    gmtime_r(&now, &parts);
    std::strftime(stamp.data(), stamp.size(), "%Y-%m-%dT%H:%M:%SZ", &parts);
    std::fprintf(stderr, "%s %s %s %s %d %zu\n", stamp.data(), request.remote_addr.c_str(),
                 request.method.c_str(), request.path.c_str(), response.status,
                 response.body.size());
}

void Refuse(httplib::Response &response, int status, const std::string &message) {
    response.status = status;
    response.set_content(message + "\n", kTextPlain);
}

std::unique_ptr<httplib::Server> MakeServer(const ServiceOptions &options) {
    if (options.TlsCert.empty() != options.TlsKey.empty()) {
        throw std::runtime_error("--tls-cert and --tls-key go together");
    }
    if (options.TlsCert.empty()) {
        return std::make_unique<httplib::Server>();
    }
    auto server =
        std::make_unique<httplib::SSLServer>(options.TlsCert.c_str(), options.TlsKey.c_str());
    if (!server->is_valid()) {
        throw std::runtime_error("cannot use the TLS certificate " + options.TlsCert +
                                 " with the key " + options.TlsKey);
    }
    SSL_CTX_set_min_proto_version(server->ssl_context(), TLS1_2_VERSION);
    return server;
}

} // namespace

std::string NewClientId() {
    std::random_device random;
    std::array<unsigned char, 16> bytes{};
    for (auto &byte : bytes) {
        byte = static_cast<unsigned char>(random() & 0xFF);
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string id;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            id += '-';
        }
        id += kHex[bytes[i] >> 4];
        id += kHex[bytes[i] & 0x0F];
    }
    return id;
}

SpeechService::SpeechService(const ServiceOptions &options, ISynthesizer &synthesizer)
    : FOptions(options), FStore(options.Limits), FWorker(FStore, synthesizer),
      FServer(MakeServer(options)) {
    const std::size_t threads = FOptions.HandlerThreads;
    FServer->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    FServer->set_payload_max_length(FOptions.MaxBodyBytes);
    FServer->set_read_timeout(30, 0);
    FServer->set_write_timeout(30, 0);
    if (FOptions.LogRequests) {
        FServer->set_logger(LogRequest);
    }
    FServer->set_exception_handler(
        [](const httplib::Request &, httplib::Response &response, const std::exception_ptr &) {
            Refuse(response, 500, "internal error");
        });
    install_routes();
}

SpeechService::~SpeechService() {
    Stop();
}

int SpeechService::Bind() {
    if (FOptions.Port == 0) {
        const int port = FServer->bind_to_any_port(FOptions.Host);
        if (port <= 0) {
            throw std::runtime_error("cannot listen on " + FOptions.Host);
        }
        return port;
    }
    if (!FServer->bind_to_port(FOptions.Host, FOptions.Port)) {
        throw std::runtime_error("cannot listen on " + FOptions.Host + ":" +
                                 std::to_string(FOptions.Port));
    }
    return FOptions.Port;
}

bool SpeechService::Run() {
    FRunStarted = true;
    if (FStopRequested) {
        return true;
    }
    const bool served = FServer->listen_after_bind();
    FRunFinished = true;
    return served;
}

void SpeechService::Stop() {
    FStopRequested = true;
    FStore.Shutdown();
    if (!FRunStarted) {
        return; // Run() sees the request and returns at once
    }
    // The server can only be stopped once it runs; Run() may be just starting.
    while (!FServer->is_running() && !FRunFinished) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    FServer->stop();
}

void SpeechService::answer_playlist(const httplib::Request &request, const std::string &body,
                                    httplib::Response &response) {
    try {
        const PlaylistRequest form = ParsePlaylistForm(body);
        std::vector<std::string> parts = SplitText(form.Text, FOptions.Split);
        const std::size_t count = parts.size();
        const std::string id =
            FStore.AddReading(form.ClientId, std::move(parts), form.Speed, form.Pitch);
        const std::string base = base_url(request) + "audio/";
        std::string playlist;
        for (std::size_t k = 0; k < count; ++k) {
            playlist += (k == 0 ? "" : ",") + base + ReadingStore::FileName(id, k);
        }
        response.set_content(playlist, kTextPlain);
    } catch (const RequestError &error) {
        Refuse(response, error.Status(), error.what());
    }
}

std::string SpeechService::base_url(const httplib::Request &request) const {
    if (!FOptions.BaseUrl.empty()) {
        return FOptions.BaseUrl;
    }
    const std::string scheme = FOptions.TlsCert.empty() ? "http://" : "https://";
    const std::string host = request.get_header_value("Host");
    if (IsPlainHostHeader(host)) {
        return scheme + host + "/";
    }
    const bool ipv6 = request.local_addr.find(':') != std::string::npos;
    const std::string address = ipv6 ? "[" + request.local_addr + "]" : request.local_addr;
    return scheme + address + ":" + std::to_string(request.local_port) + "/";
}

void SpeechService::install_routes() {
    FServer->Post("/getuniqueid.wq", [](const httplib::Request &, httplib::Response &response) {
        response.set_content(NewClientId(), kTextPlain);
    });
    // The body is read through a content reader: the library's own reading of form bodies
    // refuses any longer than 8 KiB, far less than a page of text.
    FServer->Post("/getplaylist.wq", [this](const httplib::Request &request,
                                            httplib::Response &response,
                                            const httplib::ContentReader &reader) {
        std::string body;
        const bool complete = reader([&](const char *data, std::size_t length) {
            body.append(data, length);
            return body.size() <= FOptions.MaxBodyBytes;
        });
        if (!complete || body.size() > FOptions.MaxBodyBytes) {
            const bool tooLarge = body.size() > FOptions.MaxBodyBytes || response.status == 413;
            Refuse(response, tooLarge ? 413 : 400, tooLarge ? "body too large" : "body cut short");
            return;
        }
        answer_playlist(request, body, response);
    });
    FServer->Get(R"(/audio/([^/]+))", [this](const httplib::Request &request,
                                             httplib::Response &response) {
        const PartAnswer answer = FStore.WaitForPart(request.matches[1], FOptions.Limits.PartWait);
        switch (answer.Kind) {
        case PartAnswerKind::READY:
            response.set_content(*answer.Mp3, "audio/mpeg");
            return;
        case PartAnswerKind::UNKNOWN:
            Refuse(response, 404, "no such sound file");
            return;
        case PartAnswerKind::FAILED:
            Refuse(response, 500, "synthesis failed");
            return;
        case PartAnswerKind::TIMED_OUT:
        case PartAnswerKind::SHUT_DOWN:
            Refuse(response, 503, "sound file not ready");
            return;
        }
    });
}

} // namespace speechd
