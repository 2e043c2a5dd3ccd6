// The sonavik-speechd program itself: its command line, and HTTPS with a certificate made by
// scripts/make-speechd-cert, checked by a client that trusts only that certificate's CA.
#include "support/Mp3Decode.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <thread>

extern char **environ;

namespace {

// A child process whose standard output and error go to one pipe.
class Child {
public:
    explicit Child(const std::vector<std::string> &arguments) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<char *> argv;
        argv.reserve(arguments.size() + 1);
        for (const std::string &argument : arguments) {
            argv.push_back(const_cast<char *>(argument.c_str()));
        }
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&FPid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        FOutput = fds[0];
    }
    ~Child() {
        if (FPid > 0) {
            kill(FPid, SIGKILL);
            Wait();
        }
        close(FOutput);
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    // Reads output until `pattern` matches a line (or 60 s pass); returns the match.
    std::smatch WaitForLine(const std::regex &pattern) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            std::size_t end = 0;
            while ((end = FPending.find('\n')) != std::string::npos) {
                FLines.push_back(FPending.substr(0, end));
                FPending.erase(0, end + 1);
                std::smatch match;
                if (std::regex_search(FLines.back(), match, pattern)) {
                    return match;
                }
            }
            pollfd fd{FOutput, POLLIN, 0};
            if (poll(&fd, 1, 200) > 0) {
                char buffer[4096];
                const ssize_t n = read(FOutput, buffer, sizeof buffer);
                if (n <= 0) {
                    break;
                }
                FPending.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return {};
    }
    std::string AllOutput() {
        WaitForLine(std::regex("$^")); // drain what is there
        std::string all;
        for (const std::string &line : FLines) {
            all += line + "\n";
        }
        return all + FPending;
    }
    void Signal(int signal) const { kill(FPid, signal); }
    // Exit code, or -1 when the child did not end normally.
    int Wait() {
        int status = 0;
        waitpid(FPid, &status, 0);
        FPid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t FPid = -1;
    int FOutput = -1;
    std::string FPending;
    std::vector<std::string> FLines;
};

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "speechd-test.XXXXXX");
        FPath = mkdtemp(pattern.data());
    }
    ~TempFolder() { std::filesystem::remove_all(FPath); }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    const std::string &Path() const { return FPath; }

private:
    std::string FPath;
};

} // namespace

TEST(SpeechdProgramTest, CommandLine) {
    {
        Child child({SPEECHD_BINARY, "--help"});
        EXPECT_NE(child.AllOutput().find("Usage: sonavik-speechd"), std::string::npos);
        EXPECT_EQ(child.Wait(), 0);
    }
    {
        Child child({SPEECHD_BINARY, "--version"});
        EXPECT_NE(child.AllOutput().find("sonavik-speechd 2.0.0.7"), std::string::npos);
        EXPECT_EQ(child.Wait(), 0);
    }
    {
        Child child({SPEECHD_BINARY, "--listen", "nonsense"});
        EXPECT_NE(child.AllOutput().find("--listen wants HOST:PORT"), std::string::npos);
        EXPECT_EQ(child.Wait(), 2);
    }
    {
        Child child({SPEECHD_BINARY, "--listen", "127.0.0.1:0", "--tls-cert", "/nonexistent.pem",
                     "--tls-key", "/nonexistent.key"});
        EXPECT_NE(child.AllOutput().find("cannot use the TLS certificate"), std::string::npos);
        EXPECT_EQ(child.Wait(), 1);
    }
}

TEST(SpeechdProgramTest, ServesHttpsThatTheClientsTrustCanCheck) {
    TempFolder folder;
    const std::string certs = folder.Path() + "/certs";
    ASSERT_EQ(std::system((std::string(SPEECHD_CERT_SCRIPT) + " " + certs).c_str()), 0);
    Child service({SPEECHD_BINARY, "--listen", "127.0.0.1:0", "--tls-cert", certs + "/server.pem",
                   "--tls-key", certs + "/server.key"});
    const std::smatch listening =
        service.WaitForLine(std::regex("listening on https://[^:]+:(\\d+)/"));
    ASSERT_FALSE(listening.empty()) << service.AllOutput();
    const int port = std::stoi(listening[1]);

    // A client that does not trust the CA refuses the connection.
    httplib::SSLClient stranger("127.0.0.1", port);
    stranger.set_ca_cert_path(certs + "/server.key"); // nothing it can trust
    stranger.enable_server_certificate_verification(true);
    EXPECT_FALSE(stranger.Post("/getuniqueid.wq", "reg=get", "text/plain"));

    httplib::SSLClient client("127.0.0.1", port);
    client.set_ca_cert_path((certs + "/ca.pem").c_str());
    client.enable_server_certificate_verification(true);
    client.set_read_timeout(std::chrono::seconds(60));
    const auto id = client.Post("/getuniqueid.wq", "reg=get", "text/plain");
    ASSERT_TRUE(id) << httplib::to_string(id.error());
    EXPECT_EQ(id->status, 200);
    EXPECT_EQ(id->body.size(), 36u);

    const auto playlist =
        client.Post("/getplaylist.wq",
                    "text=Hej%2520fra%2520den%2520lokale%2520tjeneste.&pitch=2&speed=5"
                    "&clientid=x&system=y",
                    "application/x-www-form-urlencoded");
    ASSERT_TRUE(playlist);
    ASSERT_EQ(playlist->status, 200);
    const std::string prefix = "https://127.0.0.1:" + std::to_string(port) + "/audio/";
    ASSERT_EQ(playlist->body.rfind(prefix, 0), 0u) << playlist->body;
    ASSERT_EQ(playlist->body.find(','), std::string::npos);
    const auto part = client.Get(playlist->body.substr(prefix.size() - 7));
    ASSERT_TRUE(part);
    EXPECT_EQ(part->status, 200);
    const DecodedAudio audio = DecodeMp3(part->body);
    EXPECT_TRUE(audio.Ok) << audio.Error;
    EXPECT_GT(audio.Seconds(), 0.5);

    service.Signal(SIGTERM);
    EXPECT_EQ(service.Wait(), 0);
    EXPECT_NE(service.AllOutput().find("GET /audio/"), std::string::npos);
}
