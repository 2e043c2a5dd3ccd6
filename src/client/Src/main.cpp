// The program entry: the application object, hints, the main window, the message
// loop. A window that cannot be created (for example a settings folder that cannot
// be made) is reported on standard error and ends the program with status 1.
#include "forms.FormMain2.h"
#include "sv.DmStyles.h"
#include "sv.Exceptions.h"

#include <QApplication>
#include <QEvent>

#include <cstdio>
#include <memory>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    // Tool windows do not count for the last-window rule: the window's Closed signal ends the loop.
    QApplication::setQuitOnLastWindowClosed(false);
    // Tooltips (hints) are always on in Qt. No action has a shortcut key, so there is
    // no shortcut text to add to the hints.
    std::unique_ptr<TDmStyles> styles;
    std::unique_ptr<TFormMain2> window;
    try {
        styles = std::make_unique<TDmStyles>();
        window = std::make_unique<TFormMain2>();
    } catch (const std::exception &error) {
        std::fprintf(stderr, "sonavik: %s\n", error.what());
        return 1;
    }
    QObject::connect(window.get(), &TFormMain2::Closed, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    window->show();
    const int result = QApplication::exec();
    window.reset();
    // Objects whose deletion was deferred (the player's audio sink) go before the
    // application object.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
