#include "LinuxTextCapture.h"

#include <QThread>

namespace {

class TWaylandTextCapture final : public ITextCapture {
public:
    // Wayland lets no program switch windows or send keys; the waits stay so that
    // the capture behaves the same in time.
    bool SendSwitchAndCopyKeys() override {
        QThread::msleep(kSwitchHoldMs + kAfterSwitchMs + kAfterCopyMs);
        return true;
    }

    QString GetSelectedText() override {
        SendSwitchAndCopyKeys();
        return ReadSelectionThenClipboard();
    }
};

} // namespace

std::unique_ptr<ITextCapture> CreateWaylandTextCapture() {
    return std::make_unique<TWaylandTextCapture>();
}
