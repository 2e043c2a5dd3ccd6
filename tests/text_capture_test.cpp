// Text capture on a real X server (Xvfb with openbox, started by scripts/test-env):
// the switch to the previously active window through XTest, and the text read
// from the primary selection or the clipboard that another program (xclip) owns.
#include "sv.Exceptions.h"
#include "sv.GetText.h"

#include "support/DesktopPrograms.h"
#include "support/SelectionOwners.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <memory>
#include <vector>

namespace {

class TextCaptureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
            GTEST_SKIP() << "needs an X server (run through scripts/test-env)";
        }
        Capture = CreateTextCapture();
        Own("primary", "text/plain", QByteArray());
        Own("clipboard", "text/plain", QByteArray());
    }

    void Own(const char *selection, const char *type, const QByteArray &content) {
        ASSERT_TRUE(Owners.Own(selection, type, content));
    }

    std::unique_ptr<ITextCapture> Capture;
    TSelectionOwners Owners;
};

TEST_F(TextCaptureTest, MarkedTextComesFromThePrimarySelectionExactly) {
    const QString marked = QStringLiteral("Blåbærgrød på\nØrsted-vej  ");
    Own("clipboard", "UTF8_STRING", "older clipboard text");
    Own("primary", "UTF8_STRING", marked.toUtf8());
    EXPECT_EQ(Capture->GetSelectedText(), marked);
}

TEST_F(TextCaptureTest, ClipboardWhenNothingIsMarked) {
    Own("clipboard", "UTF8_STRING", "fra udklipsholderen");
    EXPECT_EQ(Capture->GetSelectedText(), QStringLiteral("fra udklipsholderen"));
}

TEST_F(TextCaptureTest, EmptySelectionsGiveEmptyText) {
    EXPECT_EQ(Capture->GetSelectedText(), QString());
}

TEST_F(TextCaptureTest, ClipboardWithAnImageAndNoTextFails) {
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray png;
    {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/red.png");
        ASSERT_TRUE(image.save(path));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        png = file.readAll();
    }
    Own("clipboard", "image/png", png);
    EXPECT_THROW(Capture->GetSelectedText(), Exception);
}

TEST_F(TextCaptureTest, SwitchGivesTheFocusBackToThePreviouslyActiveWindow) {
    QWidget marking;
    marking.setWindowTitle(QStringLiteral("marking"));
    marking.resize(300, 200);
    marking.show();
    QWidget sonavik;
    sonavik.setWindowTitle(QStringLiteral("sonavik"));
    sonavik.resize(200, 100);
    sonavik.show();
    const QString markingId = QString::number(marking.winId());
    const QString sonavikId = QString::number(sonavik.winId());
    Xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), markingId});
    Xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), sonavikId});
    ASSERT_EQ(Xdotool({QStringLiteral("getactivewindow")}).trimmed(), sonavikId.toLatin1());

    EXPECT_TRUE(Capture->SendSwitchAndCopyKeys());

    QElapsedTimer timer;
    timer.start();
    QByteArray active;
    do {
        active = Xdotool({QStringLiteral("getactivewindow")}).trimmed();
    } while (active != markingId.toLatin1() && timer.elapsed() < 5000);
    EXPECT_EQ(active, markingId.toLatin1());
}

} // namespace
