// ScriptedSpeechService: a speech service for end-to-end tests and benchmarks, over HTTPS on
// a loopback port, that answers from a script instead of synthesising: the client id it hands
// out, one scripted answer per playlist request in turn (a status and the names of its parts),
// and the parts themselves by name (bytes, or an error status), each of which can be held back
// until the test releases it. Every request is recorded. Serves on threads of its own (one per
// connection, so parallel part downloads are served at once); the test scripts it and reads
// what it recorded from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class SSLServer;
}

struct TSpeechRequest {
    std::string Method;
    std::string Path;
    std::string ContentType;
    std::string Body;
};

class TScriptedSpeechService final {
public:
    TScriptedSpeechService(const std::string &certFile, const std::string &keyFile,
                           std::string clientId);
    ~TScriptedSpeechService();
    TScriptedSpeechService(const TScriptedSpeechService &) = delete;
    TScriptedSpeechService &operator=(const TScriptedSpeechService &) = delete;

    // "https://127.0.0.1:PORT/": the base URL to hand the client.
    [[nodiscard]] std::string BaseUrl() const;
    [[nodiscard]] std::string ClientId() const { return FClientId; }

    // The answer to the next playlist request that has none yet: the status and, for 200,
    // the parts' URLs joined by commas. A part's URL is base URL + "parts/" + name, shaped
    // like the real service's, so the client names its file after the part.
    void AddPlaylist(int status, const std::vector<std::string> &partNames);
    // A part by name: its bytes with 200, or an empty answer with another status.
    void AddPart(const std::string &name, std::string bytes, int status = 200);
    // A held part is answered only once it is released (or the service stops).
    void HoldPart(const std::string &name);
    void ReleasePart(const std::string &name);

    [[nodiscard]] std::vector<TSpeechRequest> Requests() const;
    // Waits until a recorded request matches (true) or the time is up (false).
    bool WaitForRequest(const std::function<bool(const TSpeechRequest &)> &matches,
                        std::chrono::milliseconds limit = std::chrono::seconds(60)) const;
    bool WaitForPath(const std::string &path,
                     std::chrono::milliseconds limit = std::chrono::seconds(60)) const;

private:
    struct TPart {
        int Status = 200;
        std::string Bytes;
    };
    struct TPlaylist {
        int Status = 200;
        std::vector<std::string> PartNames;
    };

    void install_routes();
    void record(TSpeechRequest request);
    void answer_part(const std::string &name, int &status, std::string &body);

    std::string FClientId;
    std::unique_ptr<httplib::SSLServer> FServer;
    int FPort = 0;
    mutable std::mutex FLock;
    mutable std::condition_variable FChanged;
    std::vector<TSpeechRequest> FRequests;
    std::vector<TPlaylist> FPlaylists;
    std::size_t FPlaylistsAnswered = 0;
    std::map<std::string, TPart> FParts;
    std::set<std::string> FHeld;
    bool FStopping = false;
    std::thread FThread;
};
