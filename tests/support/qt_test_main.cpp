// main() of the tests that need a QApplication: the application object lives on
// the stack of the main thread around all tests, so it is destroyed before Qt's
// own statics.
#include <QApplication>
#include <QEvent>

#include <gtest/gtest.h>

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    const int result = RUN_ALL_TESTS();
    // Objects whose deletion was deferred (audio sinks among them) go before the
    // application object, as they do in the program's own event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
