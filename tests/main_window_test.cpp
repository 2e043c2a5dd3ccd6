// The main window under the offscreen platform: its designed controls and hints,
// first start, restoring and saving the position, closing, a failed creation; the
// status indicator's phases and the hand-over to the main thread.
#include "support/TempHome.h"

#include "forms.FormMain2.h"
#include "sv.ActionButton.h"
#include "sv.AppConfig.h"
#include "sv.BlinkerThread.h"
#include "sv.BuildConfig.h"
#include "sv.Exceptions.h"
#include "sv.MainThread.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <thread>

namespace {

// Runs the event loop until the condition holds (or a generous limit passes).
bool ProcessEventsUntil(const std::function<bool()> &condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return condition();
}

class MainWindowTest : public ::testing::Test {
protected:
    TempHome Home;
};

TEST_F(MainWindowTest, DesignedControlsAndHints) {
    TFormMain2 window;
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(window.size(), QSize(184, 103));
    EXPECT_EQ(window.minimumSize(), window.maximumSize()); // not resizable
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8(sv::build::kSiteHost));

    EXPECT_EQ(window.lbStatus->text(), QStringLiteral("KLAR"));
    EXPECT_EQ(window.lbStatus->geometry(), QRect(44, 11, 96, 17));
    EXPECT_TRUE(window.lbStatus->font().bold());
    EXPECT_TRUE(window.lbStatus->alignment().testFlag(Qt::AlignHCenter));

    const struct {
        TActionButton *Button;
        QAction *Action;
        QString Text;
        QString Hint;
        QRect Geometry;
    } buttons[] = {
        {window.btPlay, window.ActionPlay, QStringLiteral("&Afspil"), QStringLiteral("Afspil"),
         QRect(8, 39, 80, 22)},
        {window.btStop, window.ActionStop, QStringLiteral("Stop"), QStringLiteral("Stop"),
         QRect(96, 39, 80, 22)},
        {window.btConfig, window.ActionSettings, QStringLiteral("&Indstillinger"),
         QStringLiteral("Indstillinger"), QRect(52, 72, 80, 22)},
    };
    for (const auto &b : buttons) {
        SCOPED_TRACE(qPrintable(b.Hint));
        EXPECT_EQ(b.Action->text(), b.Text);
        EXPECT_EQ(b.Button->text(), b.Text);
        EXPECT_EQ(b.Button->toolTip(), b.Hint);
        EXPECT_EQ(b.Button->geometry(), b.Geometry);
    }
    EXPECT_EQ(window.lbStatus->toolTip(), QStringLiteral("KLAR"));
    EXPECT_EQ(window.btPlay->nextInFocusChain(), window.btStop);
    EXPECT_EQ(window.btStop->nextInFocusChain(), window.btConfig);

    // The buttons take their execution from the actions.
    QSignalSpy triggered(window.ActionStop, &QAction::triggered);
    window.btStop->click();
    EXPECT_EQ(triggered.count(), 1);
}

// Alt and the marked letter trigger the button's action within the key press itself, not
// after Qt's 100 ms press animation; a disabled button's key does nothing.
TEST(ActionButtonKeys, TheKeyTriggersTheActionAtOnce) {
    QWidget window;
    QAction action(QStringLiteral("&Afspil"), &window);
    TActionButton button(&window);
    button.SetAction(&action);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QSignalSpy triggered(&action, &QAction::triggered);
    QTest::keyClick(&window, Qt::Key_A, Qt::AltModifier);
    EXPECT_EQ(triggered.count(), 1);
    EXPECT_EQ(window.focusWidget(), &button);

    action.setEnabled(false);
    QTest::keyClick(&window, Qt::Key_A, Qt::AltModifier);
    QTest::qWait(200);
    EXPECT_EQ(triggered.count(), 1);
}

TEST_F(MainWindowTest, FirstStartMovesToTheTopLeftAndClosingSavesEverything) {
    ASSERT_FALSE(QFile::exists(Home.SettingsFile()));
    {
        TFormMain2 window;
        EXPECT_TRUE(QFileInfo(Home.SettingsFolder()).isDir());
        EXPECT_TRUE(QFileInfo(Home.SoundFileFolder()).isDir());
        EXPECT_EQ(window.Config().SettingsPath, Home.SettingsFolder());
        EXPECT_EQ(window.Config().TempFilePath, Home.SoundFileFolder());

        window.show();
        EXPECT_TRUE(window.IsInitialized());
        const QRect primary = QGuiApplication::primaryScreen()->geometry();
        EXPECT_EQ(window.pos(), primary.topLeft());

        window.move(primary.topLeft() + QPoint(31, 42));
        QSignalSpy closed(&window, &TFormMain2::Closed);
        EXPECT_TRUE(window.close());
        EXPECT_EQ(closed.count(), 1);
        EXPECT_EQ(window.StatusIndicator(), nullptr); // released, its thread ended
    }
    const QString text = QString::fromUtf8(ReadBytes(Home.SettingsFile()));
    EXPECT_EQ(text.count(u'['), 2);
    EXPECT_EQ(text.count(u'='), 14);
    const TAppConfig saved =
        TAppConfig::LoadSettings(Home.SettingsFolder(), Home.SoundFileFolder());
    const QRect primary = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(saved.MainFormX, primary.x() + 31);
    EXPECT_EQ(saved.MainFormY, primary.y() + 42);
    EXPECT_EQ(saved.Speed, 5);
    EXPECT_EQ(saved.SoundVolume, 20);
    EXPECT_EQ(saved.SoundPitch, 2);
}

TEST_F(MainWindowTest, SavedPositionIsRestoredOnlyWhenVisible) {
    const QRect primary = QGuiApplication::primaryScreen()->geometry();
    const struct {
        const char *Name;
        QPoint Saved;
        bool Restored;
    } cases[] = {
        {"visible", primary.topLeft() + QPoint(100, 50), true},
        {"on a screen no longer attached", primary.topLeft() + QPoint(5000, 5000), false},
        {"bottom-right on the right edge", QPoint(primary.right() + 1 - 184, primary.y()), false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        WriteBytes(Home.SettingsFile(), QStringLiteral("[SETTINGS]\nMainFormX=%1\nMainFormY=%2\n")
                                            .arg(c.Saved.x())
                                            .arg(c.Saved.y())
                                            .toUtf8());
        TFormMain2 window;
        const QPoint centred = window.pos();
        window.show();
        EXPECT_EQ(window.pos(), c.Restored ? c.Saved : centred);
        window.close();
    }
}

TEST_F(MainWindowTest, FailedSaveAtCloseStillReleasesEverything) {
    TFormMain2 window;
    window.show();
    QFile::remove(Home.SettingsFile());
    ASSERT_TRUE(QDir().mkpath(Home.SettingsFile())); // a folder where the file must go
    QSignalSpy closed(&window, &TFormMain2::Closed);
    EXPECT_TRUE(window.close());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(window.StatusIndicator(), nullptr);
}

TEST_F(MainWindowTest, CreationFailsWhenTheSettingsFolderIsRefused) {
    const QByteArray tooLong = QFile::encodeName(Home.Path() + u'/' + QString(5000, u'x'));
    Home.Set("XDG_CONFIG_HOME", tooLong);
    try {
        TFormMain2 window;
        FAIL() << "window created";
    } catch (const Exception &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("The specified path is too long"));
    }

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(SONAVIK_BINARY), {});
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    EXPECT_TRUE(program.readAllStandardError().contains("The specified path is too long"));
}

class BlinkerTest : public ::testing::Test {
protected:
    void SetUp() override {
        Label.setText(QStringLiteral("KLAR"));
        Label.show();
        Blinker.Activate();
    }
    void TearDown() override { Blinker.DeActivate(); }

    QLabel Label;
    TStatusBlinker Blinker{&Label};
};

TEST_F(BlinkerTest, FetchingBlinksWithTheTimerAndOtherStatesShow) {
    Blinker.SetRetrieving();
    EXPECT_EQ(Label.text(), QStringLiteral("HENTER"));
    EXPECT_TRUE(Label.isVisible());
    Blinker.OnTimer();
    EXPECT_FALSE(Label.isVisible());
    Blinker.SetRetrieving(); // again: the phase goes on
    EXPECT_FALSE(Label.isVisible());
    Blinker.OnTimer();
    EXPECT_TRUE(Label.isVisible());
    Blinker.OnTimer();
    EXPECT_FALSE(Label.isVisible());

    Blinker.SetPlaying(); // the word changes at once, the label waits for the next tick
    EXPECT_EQ(Label.text(), QStringLiteral("AFSPILLER"));
    EXPECT_FALSE(Label.isVisible());
    Blinker.OnTimer();
    EXPECT_TRUE(Label.isVisible());
    Blinker.OnTimer();
    EXPECT_TRUE(Label.isVisible());

    Blinker.SetReady();
    EXPECT_EQ(Label.text(), QStringLiteral("KLAR"));
    Blinker.OnTimer();
    EXPECT_TRUE(Label.isVisible());
}

TEST_F(BlinkerTest, TheRealTimerBlinksAndStopsAtDeActivate) {
    Blinker.SetRetrieving();
    EXPECT_TRUE(ProcessEventsUntil([this] { return !Label.isVisible(); }));
    EXPECT_TRUE(ProcessEventsUntil([this] { return Label.isVisible(); }));
    EXPECT_TRUE(ProcessEventsUntil([this] { return !Label.isVisible(); }));
    Blinker.DeActivate(); // keeps the last visibility and text
    QCoreApplication::processEvents(QEventLoop::AllEvents, 1200);
    EXPECT_FALSE(Label.isVisible());
    EXPECT_EQ(Label.text(), QStringLiteral("HENTER"));
    Blinker.Activate(); // TearDown deactivates again
}

TEST_F(BlinkerTest, StateOperationFromAnotherThreadChangesTheLabelOnTheMainThread) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        Blinker.SetPlaying();
        done = true;
    });
    EXPECT_TRUE(ProcessEventsUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_EQ(Label.text(), QStringLiteral("AFSPILLER"));
}

TEST(MainThreadHandOver, SynchronizeRaisesTheStepsErrorInTheCaller) {
    std::atomic<bool> raised{false};
    std::thread worker([&] {
        try {
            MainThread::Synchronize([] { throw Exception(QStringLiteral("boom")); });
        } catch (const Exception &error) {
            raised = error.Message() == QStringLiteral("boom");
        }
    });
    while (!raised.load() && worker.joinable()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (raised.load()) {
            break;
        }
    }
    worker.join();
    EXPECT_TRUE(raised.load());
}

TEST(MainThreadHandOver, AbandonedSynchronizeNeverRunsItsStep) {
    std::atomic<bool> stop{false};
    std::atomic<bool> ran{false};
    std::atomic<bool> delivered{true};
    // The main thread does not run its loop here, as when it waits for the thread to end.
    std::thread worker([&] {
        delivered = MainThread::Synchronize([&] { ran = true; }, [&] { return stop.load(); });
    });
    stop = true;
    worker.join();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    EXPECT_FALSE(delivered.load());
    EXPECT_FALSE(ran.load());
}

TEST(MainThreadHandOver, QueueRunsInPostingOrderAndAtOnceOnTheMainThread) {
    std::vector<int> order;
    MainThread::Queue([&] { order.push_back(0); });
    EXPECT_EQ(order, std::vector<int>{0});
    std::thread worker([&] {
        for (int i = 1; i <= 5; ++i) {
            MainThread::Queue([&order, i] { order.push_back(i); });
        }
    });
    worker.join();
    EXPECT_TRUE(ProcessEventsUntil([&] { return order.size() == 6; }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

} // namespace
