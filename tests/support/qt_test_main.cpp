// main() of the tests that need a QApplication: the application object lives on
// the stack of the main thread around all tests, so it is destroyed before Qt's
// own statics.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
