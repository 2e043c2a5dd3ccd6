// Options: the command line of sonavik-speechd. Pure functions, any thread.
#pragma once

#include "SpeechService.h"

#include <string>
#include <vector>

namespace speechd {

struct CommandLine {
    enum class Action { SERVE, HELP, VERSION };
    Action What = Action::SERVE;
    ServiceOptions Options;
};

// Parses the arguments after the program name; throws std::invalid_argument with a message for
// the user when they are not understood.
CommandLine ParseCommandLine(const std::vector<std::string> &arguments);

// Splits "HOST:PORT" ("[v6]:PORT" for IPv6); throws std::invalid_argument.
void ParseListenAddress(const std::string &text, std::string &host, int &port);

std::string UsageText();

} // namespace speechd
