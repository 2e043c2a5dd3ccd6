// The two Linux captures. X11: XTest key events switch to the previously active
// window; the marked text is read from the primary selection (every X11 program
// sets it when text is marked), else from the clipboard. No copy shortcut is sent:
// in a terminal it would interrupt the running program. Wayland: no program may
// synthesise input there, so only the waits and the reading remain.
#pragma once

#include "sv.GetText.h"

[[nodiscard]] std::unique_ptr<ITextCapture> CreateX11TextCapture();
[[nodiscard]] std::unique_ptr<ITextCapture> CreateWaylandTextCapture();
