// sv.IntegerText: the program's one reading of an integer from text: an optional
// sign, then decimal digits, or hexadecimal digits after "$", "0x" or "0X" (and,
// where asked, a bare "x" or "X"); nothing before or after; within the 32-bit
// signed range. Pure function, any thread.
#pragma once

#include <QStringView>

#include <optional>

[[nodiscard]] std::optional<qint32> ParseInt32(QStringView text, bool bareXPrefix = false);
