// The speech service running on loopback with real synthesis, spoken to with exactly the bytes
// Sonavik's client writes; its sound files decoded with libmpg123.
#include "support/Mp3Decode.h"
#include "support/RawHttp.h"
#include "support/SpeechdServer.h"
#include "support/WireForm.h"

#include <gtest/gtest.h>

#include <regex>

namespace {

std::vector<std::string> SplitAtComma(const std::string &body) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = body.find(',', start);
        items.push_back(body.substr(start, comma - start));
        if (comma == std::string::npos) {
            return items;
        }
        start = comma + 1;
    }
}

std::vector<std::string> SplitAtSlash(const std::string &url) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = url.find('/', start);
        pieces.push_back(url.substr(start, slash - start));
        if (slash == std::string::npos) {
            return pieces;
        }
        start = slash + 1;
    }
}

class SpeechdServiceTest : public testing::Test {
protected:
    static void SetUpTestSuite() { gServer = new SpeechdServer(); }
    static void TearDownTestSuite() {
        delete gServer;
        gServer = nullptr;
    }

    static int Port() { return gServer->Port(); }

    static RawAnswer Post(const std::string &target, const std::string &body, bool form = true) {
        return RawExchange(Port(), ClientPostBytes(target, Port(), body, form));
    }

    static std::vector<std::string> Playlist(const std::string &text,
                                             const std::string &speed = "5",
                                             const std::string &clientId = "test-client") {
        const RawAnswer answer = Post("/getplaylist.wq", PlaylistBody(text, speed, "2", clientId));
        EXPECT_EQ(answer.Status, 200) << answer.Body;
        return answer.Body.empty() ? std::vector<std::string>{} : SplitAtComma(answer.Body);
    }

    // Downloads a part the way the client does and decodes it.
    static DecodedAudio Fetch(const std::string &url) {
        const std::string prefix = gServer->BaseUrl();
        EXPECT_EQ(url.rfind(prefix, 0), 0u) << url;
        const RawAnswer answer =
            RawExchange(Port(), ClientGetBytes("/" + url.substr(prefix.size()), Port()));
        EXPECT_EQ(answer.Status, 200) << url;
        EXPECT_EQ(answer.Headers.count("content-type") ? answer.Headers.at("content-type") : "",
                  "audio/mpeg");
        return DecodeMp3(answer.Body);
    }

    static SpeechdServer *gServer;
};

SpeechdServer *SpeechdServiceTest::gServer = nullptr;

} // namespace

TEST_F(SpeechdServiceTest, ClientIdIsAFreshUuidWithoutLineEnd) {
    const RawAnswer first = Post("/getuniqueid.wq", "reg=get", false);
    const RawAnswer second = Post("/getuniqueid.wq", "reg=get", false);
    ASSERT_EQ(first.Status, 200);
    const std::regex uuid("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    EXPECT_TRUE(std::regex_match(first.Body, uuid)) << first.Body;
    EXPECT_TRUE(std::regex_match(second.Body, uuid)) << second.Body;
    EXPECT_NE(first.Body, second.Body);
}

TEST_F(SpeechdServiceTest, OnePartPerSentenceEachSpeakingLongerForLongerText) {
    const std::vector<std::string> playlist = Playlist(
        "Hej.\r\nSolen skinner over K\xC3\xB8"
        "benhavns tage i dag. N\xC3\xA5r man l\xC3\xA6ser en lang s\xC3\xA6tning h\xC3\xB8jt, "
        "tager det naturligvis l\xC3\xA6ngere tid end en kort, og det kan man m\xC3\xA5le.");
    ASSERT_EQ(playlist.size(), 3u);
    std::string readingOfFirst;
    double previousSeconds = 0.0;
    for (std::size_t k = 0; k < playlist.size(); ++k) {
        // Five pieces, so the client names its local file by the last one: <reading>-<k>.mp3.
        const std::vector<std::string> pieces = SplitAtSlash(playlist[k]);
        ASSERT_EQ(pieces.size(), 5u) << playlist[k];
        EXPECT_EQ(pieces[0], "http:");
        EXPECT_EQ(pieces[2], "127.0.0.1:" + std::to_string(Port()));
        EXPECT_EQ(pieces[3], "audio");
        const std::string suffix = "-" + std::to_string(k) + ".mp3";
        ASSERT_GT(pieces[4].size(), suffix.size());
        EXPECT_EQ(pieces[4].substr(pieces[4].size() - suffix.size()), suffix);
        const std::string reading = pieces[4].substr(0, pieces[4].size() - suffix.size());
        readingOfFirst = k == 0 ? reading : readingOfFirst;
        EXPECT_EQ(reading, readingOfFirst);

        const DecodedAudio audio = Fetch(playlist[k]);
        ASSERT_TRUE(audio.Ok) << audio.Error;
        EXPECT_GT(audio.Rms(), 300.0) << "part " << k << " is silent";
        EXPECT_GT(audio.Seconds(), previousSeconds) << "part " << k;
        previousSeconds = audio.Seconds();
    }
    EXPECT_GT(previousSeconds, 3.0);

    // A second reading gets names of its own.
    const std::vector<std::string> again = Playlist("Hej.");
    ASSERT_EQ(again.size(), 1u);
    EXPECT_NE(SplitAtSlash(again[0])[4], SplitAtSlash(playlist[0])[4]);
}

TEST_F(SpeechdServiceTest, SpeedAndPitchChangeTheSound) {
    const std::string text = "Denne s\xC3\xA6tning l\xC3\xA6ses langsomt og derefter hurtigt.";
    const std::vector<std::string> slow = Playlist(text, "1", "client-slow");
    const std::vector<std::string> fast = Playlist(text, "10", "client-fast");
    ASSERT_EQ(slow.size(), 1u);
    ASSERT_EQ(fast.size(), 1u);
    const DecodedAudio slowAudio = Fetch(slow[0]);
    const DecodedAudio fastAudio = Fetch(fast[0]);
    ASSERT_TRUE(slowAudio.Ok && fastAudio.Ok);
    EXPECT_GT(slowAudio.Seconds(), 1.5 * fastAudio.Seconds());
}

TEST_F(SpeechdServiceTest, EmptyOrSilentTextGivesAnEmptyPlaylist) {
    EXPECT_TRUE(Playlist("").empty());
    EXPECT_TRUE(Playlist("  \r\n ... --- ").empty());
}

TEST_F(SpeechdServiceTest, BadRequestsGetAnErrorAndTheServiceGoesOn) {
    const int port = Port();
    const auto post = [port](const std::string &target, const std::string &body) {
        return ClientPostBytes(target, port, body, true);
    };
    struct Case {
        std::string name;
        std::string bytes;
        int status;
    };
    const Case cases[] = {
        {"broken escape", post("/getplaylist.wq", "text=h%zz&speed=5&pitch=2"), 400},
        {"no speed", post("/getplaylist.wq", "text=hej&pitch=2"), 400},
        {"speed 11", post("/getplaylist.wq", PlaylistBody("Hej.", "11")), 400},
        {"speed 0", post("/getplaylist.wq", PlaylistBody("Hej.", "0")), 400},
        {"pitch 4", post("/getplaylist.wq", PlaylistBody("Hej.", "5", "4")), 400},
        {"text too long", post("/getplaylist.wq", PlaylistBody(std::string(400'001, 'a'))), 413},
        {"body too large", post("/getplaylist.wq", "text=" + std::string(5u << 20, 'a')), 413},
        {"unknown endpoint", post("/getnothing.wq", PlaylistBody("Hej.")), 404},
        {"unknown sound file", ClientGetBytes("/audio/0123456789abcdef01234567-0.mp3", port), 404},
        {"path outside", ClientGetBytes("/audio/../../etc/passwd", port), 404},
        {"GET of a POST endpoint", ClientGetBytes("/getplaylist.wq", port), 404},
        {"not HTTP", "HELLO\r\n\r\n", 400},
    };
    for (const Case &c : cases) {
        const RawAnswer answer = RawExchange(port, c.bytes);
        EXPECT_EQ(answer.Status, c.status) << c.name << ": " << answer.StatusLine;
    }
    EXPECT_EQ(Post("/getuniqueid.wq", "reg=get", false).Status, 200);
}
