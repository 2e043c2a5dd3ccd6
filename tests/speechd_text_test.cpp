// The speech service's pure parts: undoing the client's two encodings, checking the playlist
// form, splitting text into parts, and the command line.
#include "FormDecoding.h"
#include "Options.h"
#include "RequestError.h"
#include "TextSplitter.h"
#include "support/WireForm.h"

#include <gtest/gtest.h>

#include <random>

using namespace speechd;

namespace {

int StatusOf(const std::string &body) {
    try {
        ParsePlaylistForm(body);
        return 200;
    } catch (const RequestError &error) {
        return error.Status();
    }
}

std::string Repeat(const std::string &s, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += s;
    }
    return out;
}

} // namespace

// The client's own examples: value -> on the wire; the service recovers the value.
TEST(SpeechdFormTest, UndoesBothEncodingsOfTheClientsExamples) {
    struct Case {
        std::string wire;
        std::string text;
    };
    const Case cases[] = {
        {"abc%2520%25C3%25A6", "abc \xC3\xA6"},
        {"a%26b%3Dc%2Bd", "a&b=c+d"},
        {"50%2541%2520x", "50A x"}, // the client leaves "%41" alone, so it means "A"
        {"100%2525+sikker", "100% sikker"},
        {"linje%25201%250D%250Alinje%25202", "linje 1\r\nlinje 2"},
        {"", ""},
    };
    for (const Case &c : cases) {
        const PlaylistRequest request =
            ParsePlaylistForm("text=" + c.wire + "&pitch=3&speed=5&clientid=id&system=os");
        EXPECT_EQ(request.Text, c.text) << c.wire;
        EXPECT_EQ(request.Pitch, 3);
        EXPECT_EQ(request.Speed, 5);
    }
}

TEST(SpeechdFormTest, RecoversWhatTheClientEncoded) {
    const std::string texts[] = {"Hej med dig. Jeg hedder S\xC3\xB8ren!", "a&b=c+d?/,(",
                                 "tab\there \"quoted\" <tag> {x} [y] 50% \xF0\x9F\x98\x80"};
    for (const std::string &text : texts) {
        const PlaylistRequest request =
            ParsePlaylistForm(PlaylistBody(text, "10", "1", "{C0FFEE}", "Debian 12 64-bit"));
        EXPECT_EQ(request.Text, text);
        EXPECT_EQ(request.Speed, 10);
        EXPECT_EQ(request.Pitch, 1);
        EXPECT_EQ(request.ClientId, "{C0FFEE}");
        EXPECT_EQ(request.System, "Debian 12 64-bit");
    }
}

TEST(SpeechdFormTest, RefusesBadForms) {
    struct Case {
        std::string body;
        int status;
    };
    const Case cases[] = {
        {"", 400},
        {"text=hej", 400},                         // speed and pitch missing
        {"text=hej&speed=5", 400},                 // pitch missing
        {"text=hej&speed=5&pitch=2&speed=6", 400}, // repeated field
        {"text=h%zzej&speed=5&pitch=2", 400},      // broken escape
        {"text=hej%2&speed=5&pitch=2", 400},       // escape cut short
        {"text=hej&speed=5&pitch=2&junk", 400},    // field without "="
        {"text=hej&speed=0&pitch=2", 400},
        {"text=hej&speed=11&pitch=2", 400},
        {"text=hej&speed=5x&pitch=2", 400},
        {"text=hej&speed=%2B5&pitch=2", 400},
        {"text=hej&speed=&pitch=2", 400},
        {"text=hej&speed=5&pitch=0", 400},
        {"text=hej&speed=5&pitch=4", 400},
        {"text=hej&speed=99999999999999999999&pitch=2", 400},
        {"text=" + std::string(kMaxTextBytes + 1, 'a') + "&speed=5&pitch=2", 413},
        {"text=" + std::string(kMaxTextBytes, 'a') + "&speed=5&pitch=2", 200},
        {"text=hej&speed=1&pitch=3", 200},
        {"text=hej&speed=5&pitch=2&other=1", 200}, // unknown fields are ignored
    };
    for (const Case &c : cases) {
        EXPECT_EQ(StatusOf(c.body), c.status) << c.body.substr(0, 80);
    }
}

TEST(SpeechdFormTest, MakesTextSafeForTheSynthesizer) {
    // Bytes that are not UTF-8 become U+FFFD; control characters become spaces.
    const PlaylistRequest request =
        ParsePlaylistForm("text=a%25FFb%2500c%2507d%25C3&speed=5&pitch=2");
    EXPECT_EQ(request.Text, "a\xEF\xBF\xBD"
                            "b c d\xEF\xBF\xBD");
    EXPECT_EQ(SanitizeUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"); // surrogate
    EXPECT_EQ(SanitizeUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");                 // overlong
    EXPECT_EQ(SanitizeUtf8("\xC3\xA6\xE2\x80\xA6\t\n"), "\xC3\xA6\xE2\x80\xA6\t\n");
}

// Random bodies never crash the decoder: every one is either accepted or refused with 400/413.
TEST(SpeechdFormTest, SurvivesRandomBodies) {
    std::mt19937 random(20261210);
    const std::string alphabet("text=speedpitch&%+0123456789abcdefABCDEF\xC3\xA6\xFF\x00 ", 45);
    for (int round = 0; round < 20000; ++round) {
        std::string body;
        const int length = static_cast<int>(random() % 64);
        for (int i = 0; i < length; ++i) {
            body += alphabet[random() % alphabet.size()];
        }
        if (round % 2 == 0) {
            body.insert(0, "text=");
            body += "&speed=5&pitch=2";
        }
        const int status = StatusOf(body);
        EXPECT_TRUE(status == 200 || status == 400 || status == 413) << body;
        if (status == 200) {
            const std::vector<std::string> parts = SplitText(ParsePlaylistForm(body).Text);
            for (const std::string &part : parts) {
                EXPECT_FALSE(part.empty());
            }
        }
    }
}

TEST(SpeechdSplitTest, SplitsAtSentenceEndsAndLineBreaks) {
    using Parts = std::vector<std::string>;
    struct Case {
        std::string text;
        Parts parts;
    };
    const Case cases[] = {
        {"", {}},
        {"   \r\n\t ", {}},
        {"Hej.", {"Hej."}},
        {"Hej. Hvordan g\xC3\xA5r det? Godt!", {"Hej.", "Hvordan g\xC3\xA5r det?", "Godt!"}},
        {"Linje et\nLinje to\r\nLinje tre", {"Linje et", "Linje to", "Linje tre"}},
        {"Tallet 3.5 og www.dr.dk bliver hele.", {"Tallet 3.5 og www.dr.dk bliver hele."}},
        {"Hmm\xE2\x80\xA6 S\xC3\xA5 s\xC3\xA5.", {"Hmm\xE2\x80\xA6", "S\xC3\xA5 s\xC3\xA5."}},
        {"Ja!!! Nej?? ...", {"Ja!!!", "Nej??"}}, // punctuation alone is not read
        {"- \n * \n Tekst", {"Tekst"}},
        {"Slut uden punktum", {"Slut uden punktum"}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(SplitText(c.text), c.parts) << c.text;
    }
}

TEST(SpeechdSplitTest, KeepsTheFirstPartShortAndNoPartLong) {
    const SplitLimits limits{20, 40};
    struct Case {
        std::string text;
        std::vector<std::string> parts;
    };
    const Case cases[] = {
        // The first part is cut after a comma, later ones at the last blank that fits.
        {"En to, tre fire fem seks syv otte ni ti elleve tolv tretten fjorten.",
         {"En to,", "tre fire fem seks syv otte ni ti elleve", "tolv tretten fjorten."}},
        // No blank at all: a hard cut, never inside a character.
        {std::string(30, 'a'), {std::string(20, 'a'), std::string(10, 'a')}},
        // 25 two-byte letters: 20, then 5.
        {Repeat("\xC3\xB8", 25), {Repeat("\xC3\xB8", 20), Repeat("\xC3\xB8", 5)}},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(SplitText(c.text, limits), c.parts) << c.text;
    }
    // With the default limits, a long text keeps every part within them.
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text += "Dette er en s\xC3\xA6tning uden ende, som bare bliver ved og ved ";
    }
    const std::vector<std::string> parts = SplitText(text);
    ASSERT_GT(parts.size(), 10u);
    const auto characters = [](const std::string &s) {
        std::size_t n = 0;
        for (const char c : s) {
            n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
        }
        return n;
    };
    EXPECT_LE(characters(parts.front()), SplitLimits{}.FirstPartMax);
    for (const std::string &part : parts) {
        EXPECT_LE(characters(part), SplitLimits{}.PartMax);
    }
}

TEST(SpeechdOptionsTest, ParsesTheCommandLine) {
    const CommandLine defaults = ParseCommandLine({});
    EXPECT_EQ(defaults.What, CommandLine::Action::SERVE);
    EXPECT_EQ(defaults.Options.Host, "127.0.0.1");
    EXPECT_EQ(defaults.Options.Port, 8737);
    EXPECT_TRUE(defaults.Options.TlsCert.empty());

    const CommandLine line =
        ParseCommandLine({"--listen", "[::1]:9000", "--tls-cert", "c.pem", "--tls-key", "k.pem",
                          "--base-url", "https://speech.example/"});
    EXPECT_EQ(line.Options.Host, "::1");
    EXPECT_EQ(line.Options.Port, 9000);
    EXPECT_EQ(line.Options.TlsCert, "c.pem");
    EXPECT_EQ(line.Options.TlsKey, "k.pem");
    EXPECT_EQ(line.Options.BaseUrl, "https://speech.example/");
    EXPECT_EQ(ParseCommandLine({"--help"}).What, CommandLine::Action::HELP);
    EXPECT_EQ(ParseCommandLine({"--version"}).What, CommandLine::Action::VERSION);

    const std::vector<std::vector<std::string>> bad = {
        {"--listen"},
        {"--listen", "8737"},
        {"--listen", "host:"},
        {"--listen", "h:70000"},
        {"--listen", "h:-1"},
        {"--tls-cert", "c.pem"},
        {"--base-url", "https://x"},
        {"--frobnicate"},
    };
    for (const auto &arguments : bad) {
        EXPECT_THROW(ParseCommandLine(arguments), std::invalid_argument) << arguments.front();
    }
}
