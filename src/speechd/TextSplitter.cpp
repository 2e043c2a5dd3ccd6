#include "TextSplitter.h"

namespace speechd {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

// A part is worth a sound file when it has a letter or a digit; every byte above ASCII counts as
// one, since the synthesiser reads non-ASCII letters and numbers alike.
bool HasSomethingToSay(std::string_view s) {
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 || (b >= '0' && b <= '9') || ((b | 0x20) >= 'a' && (b | 0x20) <= 'z')) {
            return true;
        }
    }
    return false;
}

// Byte offset just after the first `count` characters of s (or s.size()).
std::size_t OffsetOfCharacters(std::string_view s, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (!IsContinuationByte(s[i])) {
            if (seen == count) {
                return i;
            }
            ++seen;
        }
    }
    return s.size();
}

// Where to cut a piece that is too long: after a clause mark, else at a blank, else hard, all
// within the first `limit` bytes.
std::size_t CutPoint(std::string_view s, std::size_t limit) {
    const std::string_view head = s.substr(0, limit);
    std::size_t cut = head.find_last_of(",;:");
    if (cut != std::string_view::npos && cut > 0 && cut + 1 < limit) {
        return cut + 1;
    }
    cut = head.find_last_of(" \t");
    if (cut != std::string_view::npos && cut > 0) {
        return cut;
    }
    return limit;
}

bool IsSentenceEndAt(std::string_view text, std::size_t i, std::size_t &markLength) {
    markLength = 1;
    const char c = text[i];
    if (c != '.' && c != '!' && c != '?') {
        if (text.substr(i, 3) != "\u2026") {
            return false;
        }
        markLength = 3;
    }
    const std::size_t next = i + markLength;
    return next >= text.size() || IsBlank(text[next]);
}

std::vector<std::string_view> Sentences(std::string_view text) {
    std::vector<std::string_view> sentences;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::size_t markLength = 0;
        if (text[i] == '\n' || text[i] == '\r') {
            sentences.push_back(text.substr(start, i - start));
            start = i + 1;
        } else if (IsSentenceEndAt(text, i, markLength)) {
            i += markLength - 1;
            sentences.push_back(text.substr(start, i + 1 - start));
            start = i + 1;
        }
    }
    sentences.push_back(text.substr(start));
    return sentences;
}

} // namespace

std::vector<std::string> SplitText(std::string_view text, const SplitLimits &limits) {
    std::vector<std::string> parts;
    for (std::string_view sentence : Sentences(text)) {
        sentence = Trim(sentence);
        while (!sentence.empty()) {
            const std::size_t maxChars = parts.empty() ? limits.FirstPartMax : limits.PartMax;
            const std::size_t limit = OffsetOfCharacters(sentence, maxChars);
            std::size_t cut = sentence.size();
            if (limit < sentence.size()) {
                cut = CutPoint(sentence, limit);
            }
            const std::string_view piece = Trim(sentence.substr(0, cut));
            if (HasSomethingToSay(piece)) {
                parts.emplace_back(piece);
            }
            sentence = Trim(sentence.substr(cut));
        }
    }
    return parts;
}

} // namespace speechd
