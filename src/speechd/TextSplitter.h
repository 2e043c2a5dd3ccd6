// TextSplitter: cuts a text into the parts of a playlist, one sound file each. Pure functions,
// any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace speechd {

struct SplitLimits {
    std::size_t FirstPartMax = 60; // characters; a short first part makes the first sound come fast
    std::size_t PartMax = 300;     // characters
};

// Splits UTF-8 text at sentence ends (".", "!", "?", "…" before a blank or the end) and at line
// breaks. A sentence longer than the limit is cut after the last ",", ";" or ":" that fits, else
// at the last blank, else hard (never inside a character). Blanks around parts are dropped, and so
// are parts with nothing to say (no letter or digit).
std::vector<std::string> SplitText(std::string_view text, const SplitLimits &limits = {});

} // namespace speechd
