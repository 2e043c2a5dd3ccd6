#include "Options.h"

#include <charconv>
#include <stdexcept>

namespace speechd {

void ParseListenAddress(const std::string &text, std::string &host, int &port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        throw std::invalid_argument("--listen wants HOST:PORT, not '" + text + "'");
    }
    host = text.substr(0, colon);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const char *first = text.data() + colon + 1;
    const char *last = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(first, last, port);
    if (first == last || ec != std::errc() || ptr != last || port < 0 || port > 65535) {
        throw std::invalid_argument("--listen wants a port from 0 to 65535, not '" + text + "'");
    }
}

CommandLine ParseCommandLine(const std::vector<std::string> &arguments) {
    CommandLine line;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string &argument = arguments[i];
        const auto value = [&]() -> const std::string & {
            if (i + 1 >= arguments.size()) {
                throw std::invalid_argument(argument + " wants a value");
            }
            return arguments[++i];
        };
        if (argument == "--help" || argument == "-h") {
            line.What = CommandLine::Action::HELP;
        } else if (argument == "--version") {
            line.What = CommandLine::Action::VERSION;
        } else if (argument == "--listen") {
            ParseListenAddress(value(), line.Options.Host, line.Options.Port);
        } else if (argument == "--tls-cert") {
            line.Options.TlsCert = value();
        } else if (argument == "--tls-key") {
            line.Options.TlsKey = value();
        } else if (argument == "--base-url") {
            line.Options.BaseUrl = value();
            if (line.Options.BaseUrl.empty() || line.Options.BaseUrl.back() != '/') {
                throw std::invalid_argument("--base-url must end with '/'");
            }
        } else {
            throw std::invalid_argument("unknown argument '" + argument + "'");
        }
    }
    if (line.Options.TlsCert.empty() != line.Options.TlsKey.empty()) {
        throw std::invalid_argument("--tls-cert and --tls-key go together");
    }
    return line;
}

std::string UsageText() {
    return "Usage: sonavik-speechd [--listen HOST:PORT] [--tls-cert FILE --tls-key FILE]\n"
           "                       [--base-url URL] [--help] [--version]\n"
           "\n"
           "Sonavik's local speech service: reads Danish text aloud with espeak-ng and serves\n"
           "the parts as MP3 files.\n"
           "\n"
           "  --listen HOST:PORT   address to listen on (default 127.0.0.1:8737; [::1]:PORT for "
           "IPv6)\n"
           "  --tls-cert FILE      PEM certificate (chain) for HTTPS; without it the service "
           "speaks\n"
           "                       plain HTTP\n"
           "  --tls-key FILE       PEM private key of that certificate\n"
           "  --base-url URL       base of the sound-file URLs in playlists, ending in '/'\n"
           "                       (default: the scheme and the Host header of each request)\n"
           "  --help               show this text\n"
           "  --version            show the version\n"
           "\n"
           "Endpoints: POST /getuniqueid.wq, POST /getplaylist.wq, GET /audio/<name>.mp3.\n"
           "One line per request goes to standard error.\n";
}

} // namespace speechd
