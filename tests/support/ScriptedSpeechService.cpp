#include "support/ScriptedSpeechService.h"

#include <httplib.h>

#include <stdexcept>

TScriptedSpeechService::TScriptedSpeechService(const std::string &certFile,
                                               const std::string &keyFile, std::string clientId)
    : FClientId(std::move(clientId)),
      FServer(std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str())) {
    if (!FServer->is_valid()) {
        throw std::runtime_error("the scripted speech service cannot use its certificate");
    }
    // One thread per connection: downloads that run in parallel are all served at once,
    // even while a held part keeps one thread waiting.
    FServer->new_task_queue = [] { return new httplib::ThreadPool(16); };
    install_routes();
    FPort = FServer->bind_to_any_port("127.0.0.1");
    if (FPort <= 0) {
        throw std::runtime_error("the scripted speech service cannot listen");
    }
    FThread = std::thread([this] { FServer->listen_after_bind(); });
}

TScriptedSpeechService::~TScriptedSpeechService() {
    {
        const std::lock_guard lock(FLock);
        FStopping = true;
    }
    FChanged.notify_all();
    FServer->stop();
    FThread.join();
}

std::string TScriptedSpeechService::BaseUrl() const {
    return "https://127.0.0.1:" + std::to_string(FPort) + "/";
}

void TScriptedSpeechService::AddPlaylist(int status, const std::vector<std::string> &partNames) {
    const std::lock_guard lock(FLock);
    FPlaylists.push_back({status, partNames});
}

void TScriptedSpeechService::AddPart(const std::string &name, std::string bytes, int status) {
    const std::lock_guard lock(FLock);
    FParts[name] = {status, std::move(bytes)};
}

void TScriptedSpeechService::HoldPart(const std::string &name) {
    const std::lock_guard lock(FLock);
    FHeld.insert(name);
}

void TScriptedSpeechService::ReleasePart(const std::string &name) {
    {
        const std::lock_guard lock(FLock);
        FHeld.erase(name);
    }
    FChanged.notify_all();
}

std::vector<TSpeechRequest> TScriptedSpeechService::Requests() const {
    const std::lock_guard lock(FLock);
    return FRequests;
}

bool TScriptedSpeechService::WaitForRequest(
    const std::function<bool(const TSpeechRequest &)> &matches,
    std::chrono::milliseconds limit) const {
    std::unique_lock lock(FLock);
    return FChanged.wait_for(lock, limit, [&] {
        for (const TSpeechRequest &request : FRequests) {
            if (matches(request)) {
                return true;
            }
        }
        return false;
    });
}

bool TScriptedSpeechService::WaitForPath(const std::string &path,
                                         std::chrono::milliseconds limit) const {
    return WaitForRequest([&path](const TSpeechRequest &request) { return request.Path == path; },
                          limit);
}

void TScriptedSpeechService::record(TSpeechRequest request) {
    {
        const std::lock_guard lock(FLock);
        FRequests.push_back(std::move(request));
    }
    FChanged.notify_all();
}

void TScriptedSpeechService::install_routes() {
    const auto recordOf = [](const httplib::Request &request) {
        return TSpeechRequest{request.method, request.path,
                              request.get_header_value("Content-Type"), request.body};
    };
    FServer->Post("/getuniqueid.wq",
                  [this, recordOf](const httplib::Request &request, httplib::Response &response) {
                      record(recordOf(request));
                      response.set_content(FClientId, "text/plain");
                  });
    FServer->Post("/getplaylist.wq", [this, recordOf](const httplib::Request &request,
                                                      httplib::Response &response) {
        TPlaylist playlist{500, {}};
        {
            const std::lock_guard lock(FLock);
            if (FPlaylistsAnswered < FPlaylists.size()) {
                playlist = FPlaylists[FPlaylistsAnswered];
            }
            ++FPlaylistsAnswered;
        }
        std::string body;
        for (const std::string &name : playlist.PartNames) {
            body += (body.empty() ? "" : ",") + BaseUrl() + "parts/" + name;
        }
        // Recorded after the answer is chosen, so a test that sees the request also sees
        // which answer it took.
        record(recordOf(request));
        response.status = playlist.Status;
        response.set_content(playlist.Status == 200 ? body : std::string("error\n"), "text/plain");
    });
    FServer->Get(R"(/parts/([^/]+))",
                 [this, recordOf](const httplib::Request &request, httplib::Response &response) {
                     record(recordOf(request));
                     int status = 404;
                     std::string body;
                     answer_part(request.matches[1].str(), status, body);
                     response.status = status;
                     response.set_content(body, "audio/mpeg");
                 });
}

void TScriptedSpeechService::answer_part(const std::string &name, int &status, std::string &body) {
    std::unique_lock lock(FLock);
    FChanged.wait(lock, [&] { return FStopping || FHeld.count(name) == 0; });
    const auto part = FParts.find(name);
    if (part == FParts.end() || FStopping) {
        status = 404;
        return;
    }
    status = part->second.Status;
    if (status == 200) {
        body = part->second.Bytes;
    }
}
