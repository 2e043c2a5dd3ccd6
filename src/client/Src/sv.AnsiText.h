// sv.AnsiText: response bodies as text, one character per byte, through the
// system's ANSI code page (Windows-1252 on Linux, through the project's table).
// One implementation per platform. Any thread.
#pragma once

class QByteArray;
class QString;

[[nodiscard]] QString AnsiToText(const QByteArray &bytes);
