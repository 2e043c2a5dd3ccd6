// RawHttp: sends exact request bytes over a plain TCP connection to a loopback port and reads one
// answer (status line, headers, body by Content-Length or until the connection closes). Lets a
// test send precisely what Sonavik's client writes. Any thread.
#pragma once

#include <map>
#include <string>

struct RawAnswer {
    int Status = -1; // -1: no answer could be read
    std::string StatusLine;
    std::map<std::string, std::string> Headers; // names in lower case
    std::string Body;
};

RawAnswer RawExchange(int port, const std::string &requestBytes);

// The request bytes Sonavik's client writes on a direct connection.
std::string ClientPostBytes(const std::string &target, int port, const std::string &body,
                            bool form);
std::string ClientGetBytes(const std::string &target, int port);
