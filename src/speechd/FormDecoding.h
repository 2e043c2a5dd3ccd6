// FormDecoding: undoes the two encodings of the client's playlist form (the form-field encoding of
// the whole body, then the query-parameter encoding of text, clientid and system) and checks the
// fields. Pure functions, any thread.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace speechd {

// Longest text, in bytes of UTF-8, that one playlist request may carry.
inline constexpr std::size_t kMaxTextBytes = 400'000;

// Undoes the form-field encoding once: "+" is a space and "%XX" one byte. Nothing when a "%" is
// not followed by two hexadecimal digits.
std::optional<std::string> FormDecode(std::string_view field);

// Undoes the query-parameter encoding: every "%XX" becomes one byte. A "%" without two
// hexadecimal digits and every other character, "+" included, stay as they are.
std::string ParamsDecode(std::string_view value);

// Makes bytes safe to hand to the synthesiser: sequences that are not UTF-8 become U+FFFD and
// control characters other than tab, line feed and carriage return become spaces.
std::string SanitizeUtf8(std::string_view bytes);

struct PlaylistRequest {
    std::string Text; // UTF-8
    int Speed = 5;    // 1..10
    int Pitch = 2;    // 1 higher, 2 normal, 3 lower
    std::string ClientId;
    std::string System;
};

// Parses a playlist form body ("name=value" fields joined by "&"). Throws RequestError: 400 for
// a malformed body, a missing or repeated field, a speed or pitch out of range; 413 for a text
// longer than kMaxTextBytes.
PlaylistRequest ParsePlaylistForm(std::string_view body);

} // namespace speechd
