#include "LinuxTextCapture.h"

#include <QGuiApplication>
#include <QThread>

// X11 headers after Qt's: they define macros such as Status that break Qt's.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

class TX11TextCapture final : public ITextCapture {
public:
    bool SendSwitchAndCopyKeys() override {
        Display *display = DisplayOfApplication();
        Key(display, XK_Alt_L, true);
        Key(display, XK_Tab, true);
        QThread::msleep(kSwitchHoldMs);
        Key(display, XK_Alt_L, false);
        Key(display, XK_Tab, false);
        QThread::msleep(kAfterSwitchMs);
        // The copy shortcut is not sent: the primary selection already holds the marked text.
        QThread::msleep(kAfterCopyMs);
        return true;
    }

    QString GetSelectedText() override {
        SendSwitchAndCopyKeys();
        return ReadSelectionThenClipboard();
    }

private:
    static Display *DisplayOfApplication() {
        const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        return x11 != nullptr ? x11->display() : nullptr;
    }

    static void Key(Display *display, KeySym key, bool press) {
        if (display == nullptr) {
            return;
        }
        XTestFakeKeyEvent(display, XKeysymToKeycode(display, key), press ? True : False,
                          CurrentTime);
        XFlush(display);
    }
};

} // namespace

std::unique_ptr<ITextCapture> CreateX11TextCapture() {
    return std::make_unique<TX11TextCapture>();
}
