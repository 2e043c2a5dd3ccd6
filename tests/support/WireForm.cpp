#include "support/WireForm.h"

#include <cctype>
#include <cstring>

namespace {

bool IsHex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

std::string PercentByte(unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    return {'%', kHex[byte >> 4], kHex[byte & 0x0F]};
}

} // namespace

// Works on UTF-8 bytes: every byte of a non-ASCII character is above 127 and so encoded, which
// is what walking UTF-16 code units and encoding each character in UTF-8 gives.
std::string ParamsEncodeForTest(const std::string &utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c == '%' && i + 2 < utf8.size() && IsHex(utf8[i + 1]) && IsHex(utf8[i + 2])) {
            out += utf8.substr(i, 3);
            i += 2;
        } else if (c < 33 || c > 127 || std::strchr("*<>#%\"{}|\\^[]`", c) != nullptr) {
            out += PercentByte(c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string FormFieldEncodeForTest(const std::string &utf8) {
    std::string out;
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == ' ') {
            out += '+';
        } else if ((c < 128 && std::isalnum(c) != 0) ||
                   (c != 0 && std::strchr("*-._", c) != nullptr)) {
            out += ch;
        } else {
            out += PercentByte(c);
        }
    }
    return out;
}

std::string PlaylistBody(const std::string &text, const std::string &speed,
                         const std::string &pitch, const std::string &clientId,
                         const std::string &system) {
    return "text=" + FormFieldEncodeForTest(ParamsEncodeForTest(text)) +
           "&pitch=" + FormFieldEncodeForTest(pitch) + "&speed=" + FormFieldEncodeForTest(speed) +
           "&clientid=" + FormFieldEncodeForTest(ParamsEncodeForTest(clientId)) +
           "&system=" + FormFieldEncodeForTest(ParamsEncodeForTest(system));
}
