#include "sv.AnsiText.h"

#include <QByteArray>
#include <QString>

#include <string>

#include <windows.h>

QString AnsiToText(const QByteArray &bytes) {
    if (bytes.isEmpty()) {
        return {};
    }
    const int length = MultiByteToWideChar(CP_ACP, 0, bytes.constData(),
                                           static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.constData(), static_cast<int>(bytes.size()), text.data(),
                        length);
    return QString::fromStdWString(text);
}
