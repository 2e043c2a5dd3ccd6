#include "sv.AnsiText.h"

#include "sv.Cp1252.h"

QString AnsiToText(const QByteArray &bytes) {
    return Cp1252::Decode(bytes);
}
