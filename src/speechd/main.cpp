// sonavik-speechd: the entry of the local speech service. The main thread serves; a second
// thread waits for SIGINT or SIGTERM and stops the service.
#include "Options.h"
#include "SpeechService.h"
#include "Synthesizer.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <pthread.h>
#include <thread>
#include <unistd.h>

#ifndef SONAVIK_SPEECHD_VERSION
#define SONAVIK_SPEECHD_VERSION "unknown"
#endif

namespace {

int Serve(const speechd::ServiceOptions &options) {
    // Block the stop signals in every thread; one thread takes them with sigwait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    speechd::Synthesizer synthesizer;
    speechd::SpeechService service(options, synthesizer);
    const int port = service.Bind();
    std::fprintf(stderr, "sonavik-speechd %s listening on %s://%s:%d/\n", SONAVIK_SPEECHD_VERSION,
                 options.TlsCert.empty() ? "http" : "https", options.Host.c_str(), port);
    std::thread stopper([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        service.Stop();
    });
    const bool served = service.Run();
    kill(getpid(), SIGTERM); // ends the stopper's wait when Run() ended by itself
    stopper.join();
    std::fprintf(stderr, "sonavik-speechd stopped\n");
    return served ? 0 : 1;
}

} // namespace

int main(int argc, char **argv) {
    try {
        const speechd::CommandLine line =
            speechd::ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
        switch (line.What) {
        case speechd::CommandLine::Action::HELP:
            std::fputs(speechd::UsageText().c_str(), stdout);
            return 0;
        case speechd::CommandLine::Action::VERSION:
            std::printf("sonavik-speechd %s\n", SONAVIK_SPEECHD_VERSION);
            return 0;
        case speechd::CommandLine::Action::SERVE:
            return Serve(line.Options);
        }
    } catch (const std::invalid_argument &error) {
        std::fprintf(stderr, "sonavik-speechd: %s\n%s", error.what(), speechd::UsageText().c_str());
        return 2;
    } catch (const std::exception &error) {
        std::fprintf(stderr, "sonavik-speechd: %s\n", error.what());
        return 1;
    }
    return 0;
}
