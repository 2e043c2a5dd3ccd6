// Windows capture: Alt+Tab and the copy shortcut through keybd_event, then the
// clipboard's Unicode text (an image without text is an invalid-type error).
#include "sv.GetText.h"

#include "sv.Exceptions.h"

#include <windows.h>

namespace {

void Key(BYTE virtualKey, BYTE scanCode, bool press) {
    keybd_event(virtualKey, scanCode, press ? 0 : KEYEVENTF_KEYUP, 0);
}

BYTE ScanCodeOf(BYTE virtualKey) {
    return static_cast<BYTE>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
}

QString ClipboardText() {
    if (!OpenClipboard(nullptr)) {
        return {};
    }
    QString text;
    bool imageOnly = false;
    if (IsClipboardFormatAvailable(CF_UNICODETEXT)) {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (const auto *chars = static_cast<const wchar_t *>(GlobalLock(data))) {
                text = QString::fromWCharArray(chars); // up to the first zero character
                GlobalUnlock(data);
            }
        }
    } else {
        imageOnly = IsClipboardFormatAvailable(CF_DIB) != 0;
    }
    CloseClipboard();
    if (imageOnly) {
        throw Exception(
            QStringLiteral("Invalid clipboard format: the clipboard holds an image, not text"));
    }
    return text;
}

class TWindowsTextCapture final : public ITextCapture {
public:
    bool SendSwitchAndCopyKeys() override {
        Key(VK_MENU, 0, true);
        Key(VK_TAB, 0, true);
        Sleep(kSwitchHoldMs);
        Key(VK_MENU, 0, false);
        Key(VK_TAB, 0, false);
        Sleep(kAfterSwitchMs);
        Key(VK_CONTROL, ScanCodeOf(VK_CONTROL), true);
        Key('C', ScanCodeOf('C'), true);
        Key('C', ScanCodeOf('C'), false);
        Key(VK_CONTROL, ScanCodeOf(VK_CONTROL), false);
        Sleep(kAfterCopyMs);
        return true;
    }

    QString GetSelectedText() override {
        SendSwitchAndCopyKeys();
        return ClipboardText();
    }
};

} // namespace

std::unique_ptr<ITextCapture> CreateTextCapture() {
    return std::make_unique<TWindowsTextCapture>();
}
