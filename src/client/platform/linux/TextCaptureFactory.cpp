// Picks the capture of the running session: X11 under the xcb platform, otherwise
// the Wayland capture (which only reads the selections, as any session allows).
#include "LinuxTextCapture.h"

#include <QGuiApplication>

std::unique_ptr<ITextCapture> CreateTextCapture() {
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        return CreateX11TextCapture();
    }
    return CreateWaylandTextCapture();
}
