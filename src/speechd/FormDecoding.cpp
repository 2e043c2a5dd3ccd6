#include "FormDecoding.h"

#include "RequestError.h"

#include <array>
#include <charconv>
#include <map>

namespace speechd {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// The byte that "%XX" at position i stands for, or -1 when there is no such escape.
int EscapeAt(std::string_view s, std::size_t i) {
    if (s[i] != '%' || i + 2 >= s.size()) {
        return -1;
    }
    const int high = HexValue(s[i + 1]);
    const int low = HexValue(s[i + 2]);
    return (high < 0 || low < 0) ? -1 : high * 16 + low;
}

void AppendUtf8(std::string &out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when it is not well formed.
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t &cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::size_t length = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > s.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    return (cp < min || cp > 0x10FFFF || surrogate) ? 0 : length;
}

int ParseNumber(const std::string &value, const char *name, int low, int high) {
    int number = 0;
    const char *end = value.data() + value.size();
    const auto [ptr, ec] = std::from_chars(value.data(), end, number);
    if (value.empty() || ec != std::errc() || ptr != end || number < low || number > high) {
        throw RequestError(400, std::string(name) + " must be a whole number from " +
                                    std::to_string(low) + " to " + std::to_string(high));
    }
    return number;
}

} // namespace

std::optional<std::string> FormDecode(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const char c = field[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            const int byte = EscapeAt(field, i);
            if (byte < 0) {
                return std::nullopt;
            }
            out += static_cast<char>(byte);
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string ParamsDecode(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const int byte = EscapeAt(value, i);
        if (byte >= 0) {
            out += static_cast<char>(byte);
            i += 2;
        } else {
            out += value[i];
        }
    }
    return out;
}

std::string SanitizeUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    while (i < bytes.size()) {
        char32_t cp = 0;
        const std::size_t length = DecodeUtf8(bytes, i, cp);
        if (length == 0) {
            AppendUtf8(out, U'\uFFFD');
            ++i;
            continue;
        }
        const bool control = cp < 0x20 || (cp >= 0x7F && cp < 0xA0);
        if (control && cp != '\t' && cp != '\n' && cp != '\r') {
            out += ' ';
        } else {
            out.append(bytes.substr(i, length));
        }
        i += length;
    }
    return out;
}

PlaylistRequest ParsePlaylistForm(std::string_view body) {
    std::map<std::string, std::string, std::less<>> fields;
    std::size_t start = 0;
    while (start <= body.size()) {
        const std::size_t end = std::min(body.find('&', start), body.size());
        const std::string_view pair = body.substr(start, end - start);
        const std::size_t eq = pair.find('=');
        if (eq == std::string_view::npos) {
            throw RequestError(400, "malformed form field");
        }
        const auto name = FormDecode(pair.substr(0, eq));
        const auto value = FormDecode(pair.substr(eq + 1));
        if (!name || !value) {
            throw RequestError(400, "malformed percent escape in the form");
        }
        if (!fields.emplace(*name, *value).second) {
            throw RequestError(400, "repeated form field " + *name);
        }
        start = end + 1;
    }
    static constexpr std::array<const char *, 3> kRequired = {"text", "speed", "pitch"};
    for (const char *name : kRequired) {
        if (fields.find(name) == fields.end()) {
            throw RequestError(400, std::string("missing form field ") + name);
        }
    }
    PlaylistRequest request;
    std::string text = ParamsDecode(fields["text"]);
    if (text.size() > kMaxTextBytes) {
        throw RequestError(413, "text too long");
    }
    request.Text = SanitizeUtf8(text);
    request.Speed = ParseNumber(fields["speed"], "speed", 1, 10);
    request.Pitch = ParseNumber(fields["pitch"], "pitch", 1, 3);
    request.ClientId = SanitizeUtf8(ParamsDecode(fields["clientid"]));
    request.System = SanitizeUtf8(ParamsDecode(fields["system"]));
    return request;
}

} // namespace speechd
