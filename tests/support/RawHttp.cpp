#include "support/RawHttp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

constexpr const char *kAccept = "text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
constexpr const char *kUserAgent = "Mozilla/3.0 (compatible; Sonavik)";

class Socket {
public:
    explicit Socket(int port) : FFd(socket(AF_INET, SOCK_STREAM, 0)) {
        timeval limit{60, 0};
        setsockopt(FFd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        setsockopt(FFd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        FConnected = connect(FFd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~Socket() { close(FFd); }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;

    bool Connected() const { return FConnected; }
    bool SendAll(const std::string &bytes) const {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = send(FFd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                return false;
            }
            sent += static_cast<std::size_t>(n);
        }
        return true;
    }
    // Appends what arrives to `into`; false at the end of the stream or an error.
    bool ReceiveSome(std::string &into) const {
        char buffer[65536];
        const ssize_t n = recv(FFd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return false;
        }
        into.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

private:
    int FFd;
    bool FConnected = false;
};

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

void ParseHead(const std::string &head, RawAnswer &answer) {
    std::size_t start = 0;
    bool first = true;
    while (start < head.size()) {
        std::size_t end = head.find("\r\n", start);
        end = end == std::string::npos ? head.size() : end;
        const std::string line = head.substr(start, end - start);
        if (first) {
            answer.StatusLine = line;
            const std::size_t space = line.find(' ');
            answer.Status = space == std::string::npos ? -1 : std::atoi(line.c_str() + space + 1);
            first = false;
        } else if (const std::size_t colon = line.find(':'); colon != std::string::npos) {
            std::size_t value = colon + 1;
            while (value < line.size() && line[value] == ' ') {
                ++value;
            }
            answer.Headers[Lower(line.substr(0, colon))] = line.substr(value);
        }
        start = end + 2;
    }
}

} // namespace

RawAnswer RawExchange(int port, const std::string &requestBytes) {
    RawAnswer answer;
    Socket socket(port);
    if (!socket.Connected()) {
        return answer;
    }
    // A refused request may be answered and closed before the whole body went out.
    socket.SendAll(requestBytes);
    std::string data;
    std::size_t headEnd = std::string::npos;
    while ((headEnd = data.find("\r\n\r\n")) == std::string::npos) {
        if (!socket.ReceiveSome(data)) {
            return answer;
        }
    }
    ParseHead(data.substr(0, headEnd), answer);
    answer.Body = data.substr(headEnd + 4);
    const auto length = answer.Headers.find("content-length");
    if (length == answer.Headers.end()) {
        while (socket.ReceiveSome(answer.Body)) {
        }
        return answer;
    }
    const auto wanted =
        static_cast<std::size_t>(std::strtoull(length->second.c_str(), nullptr, 10));
    while (answer.Body.size() < wanted && socket.ReceiveSome(answer.Body)) {
    }
    return answer;
}

std::string ClientPostBytes(const std::string &target, int port, const std::string &body,
                            bool form) {
    std::string bytes = "POST " + target + " HTTP/1.0\r\nConnection: keep-alive\r\n";
    if (form) {
        bytes += "Content-Type: application/x-www-form-urlencoded\r\n";
    }
    bytes += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    bytes += "Host: 127.0.0.1:" + std::to_string(port) + "\r\n";
    bytes += std::string("Accept: ") + kAccept + "\r\nUser-Agent: " + kUserAgent + "\r\n\r\n";
    return bytes + body;
}

std::string ClientGetBytes(const std::string &target, int port) {
    return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nAccept: " + kAccept + "\r\nUser-Agent: " + kUserAgent + "\r\n\r\n";
}
