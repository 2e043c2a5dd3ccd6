// sv.Cp1252: Windows-1252 ("ANSI" code page of Western Windows systems) to and from
// UTF-16. Every byte gives one character: the five bytes that Windows-1252 leaves
// undefined map to the C1 control characters of the same value, as Windows does.
// Characters without a byte become "?". Pure functions, any thread.
#pragma once

#include <QByteArray>
#include <QString>

namespace Cp1252 {

[[nodiscard]] QString Decode(const QByteArray &bytes);
[[nodiscard]] QByteArray Encode(const QString &text);

} // namespace Cp1252
