// sv.GetText: capture of the text the user has marked in another program. The
// capture gives the focus back to the previously active window (Alt+Tab), has it
// copy its selection where the platform needs that, waits at least 250 ms in all
// and reads the text. One interface with an implementation per platform (X11,
// Wayland, Windows), chosen at run time by CreateTextCapture. Main thread only:
// the capture blocks it while it waits, by design.
#pragma once

#include <QString>

#include <memory>

class ITextCapture {
public:
    virtual ~ITextCapture() = default;
    // Switches to the previously active window and asks it to copy; always true.
    virtual bool SendSwitchAndCopyKeys() = 0;
    // The captured text, or empty text. A clipboard that offers an image and no
    // text raises an Exception.
    virtual QString GetSelectedText() = 0;
};

[[nodiscard]] std::unique_ptr<ITextCapture> CreateTextCapture();

// The capture's waits, in milliseconds (Alt+Tab held, after the switch, after the copy).
inline constexpr int kSwitchHoldMs = 100;
inline constexpr int kAfterSwitchMs = 100;
inline constexpr int kAfterCopyMs = 50;

// Shared by the X11 and Wayland captures: the primary selection's text (what is
// marked right now), or the clipboard's text when the primary selection holds none.
[[nodiscard]] QString ReadSelectionThenClipboard();
