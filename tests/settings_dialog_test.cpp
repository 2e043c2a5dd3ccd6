// The settings dialog under the offscreen platform: the mapping to and from the
// settings record, Cancel, the proxy controls, "&Standard", hints, caption, the
// first-show clamp, keyboard use and accessible names; and the main window's
// settings action.
#include "support/TempHome.h"

#include "forms.FormMain2.h"
#include "forms.FormSettings.h"
#include "sv.ActionButton.h"
#include "sv.AppConfig.h"
#include "sv.DmStyles.h"
#include "sv.EditBoxFontService.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

namespace {

TAppConfig Defaults() {
    TAppConfig config;
    config.Speed = 5;
    return config;
}

QString Stripped(QString text) {
    return text.remove(u'&');
}

QString AccessibleName(QWidget *widget) {
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
    return face != nullptr ? face->text(QAccessible::Name) : QString();
}

class SettingsDialogTest : public ::testing::Test {
protected:
    TDmStyles Styles;
    TFormSettings Dialog{nullptr};
};

} // namespace

TEST_F(SettingsDialogTest, DesignedCaptionControlsAndGroups) {
    EXPECT_EQ(Dialog.windowTitle(), QStringLiteral("Indstillinger 2.0.0.7"));
    EXPECT_TRUE(Dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(Dialog.size(), QSize(519, 373));
    EXPECT_EQ(Dialog.edPassword->echoMode(), QLineEdit::Password);
    const struct {
        QSlider *Track;
        int Min, Max, Design;
    } tracks[] = {{Dialog.TrackSpeed, 1, 10, 5},
                  {Dialog.TrackVolume, 0, 20, 20},
                  {Dialog.TrackPitch, -1, 1, 0}};
    for (const auto &t : tracks) {
        EXPECT_EQ(t.Track->orientation(), Qt::Horizontal);
        EXPECT_EQ(t.Track->minimum(), t.Min);
        EXPECT_EQ(t.Track->maximum(), t.Max);
        EXPECT_EQ(t.Track->value(), t.Design);
        EXPECT_EQ(t.Track->singleStep(), 1);
    }
    for (QRadioButton *b : Dialog.findChildren<QRadioButton *>()) {
        EXPECT_FALSE(b->isChecked()) << qPrintable(b->objectName()); // none before the values
    }
    EXPECT_EQ(Dialog.rbSizeLarge->group()->objectName(), QStringLiteral("Size"));
    EXPECT_TRUE(Dialog.rbSizeLarge->group()->exclusive());
    EXPECT_NE(Dialog.rbThemeDark->group(), Dialog.rbSizeLarge->group());
    EXPECT_EQ(Dialog.edHost->geometry(), QRect(56, 48, 193, 22));
    EXPECT_EQ(Dialog.btCancel->geometry(), QRect(430, 332, 73, 22));
}

TEST_F(SettingsDialogTest, PitchPositionsAndRangesBothWays) {
    const struct {
        int Pitch;
        int Position;
        int SavedFromPosition;
    } pitches[] = {{2, 0, 2}, {1, 1, 1}, {3, -1, 3}, {0, 1, 1}, {9, -1, 3}};
    for (const auto &c : pitches) {
        SCOPED_TRACE(c.Pitch);
        TFormSettings dialog(nullptr);
        TAppConfig config = Defaults();
        config.SoundPitch = c.Pitch;
        config.Speed = 40;
        config.SoundVolume = -3;
        dialog.SetValuesToControls(config);
        EXPECT_EQ(dialog.TrackPitch->value(), c.Position);
        EXPECT_EQ(dialog.TrackSpeed->value(), 10);
        EXPECT_EQ(dialog.TrackVolume->value(), 0);
        dialog.SaveValuesFromControls(config);
        EXPECT_EQ(config.SoundPitch, c.SavedFromPosition);
        EXPECT_EQ(config.Speed, 10);
        EXPECT_EQ(config.SoundVolume, 0);
    }
    TAppConfig config = Defaults();
    Dialog.SetValuesToControls(config);
    Dialog.TrackPitch->setValue(1); // fully right
    Dialog.SaveValuesFromControls(config);
    EXPECT_EQ(config.SoundPitch, 1);
    Dialog.TrackPitch->setValue(-1); // fully left
    Dialog.SaveValuesFromControls(config);
    EXPECT_EQ(config.SoundPitch, 3);
}

TEST_F(SettingsDialogTest, EveryFieldRoundTripsAndUnknownNumbersBecomeSystemAndNormal) {
    TAppConfig config = Defaults();
    config.UseProxy = true;
    config.Proxy_hostname = QStringLiteral("proxy.example");
    config.Proxy_port = QStringLiteral("not a number");
    config.Use_User = true;
    config.Proxy_User = QStringLiteral("anna");
    config.Proxy_Userpass = QStringLiteral("h3mmelig");
    config.Speed = 7;
    config.SoundVolume = 11;
    config.ColorTheme = 3;
    config.WindowSize = 1;
    config.MainFormX = 99;
    config.AppUid = QStringLiteral("{id}");
    Dialog.SetValuesToControls(config);
    EXPECT_TRUE(Dialog.rbThemeLightHC->isChecked());
    EXPECT_TRUE(Dialog.rbSizeMiddle->isChecked());
    TAppConfig saved = Defaults();
    saved.MainFormX = 99;
    saved.AppUid = QStringLiteral("{id}");
    Dialog.SaveValuesFromControls(saved);
    EXPECT_EQ(saved, config);

    const struct { int Theme, Size; } unknown[] = {{9, 7}, {-1, -1}, {5, 3}};
    for (const auto &u : unknown) {
        TFormSettings dialog(nullptr);
        TAppConfig odd = Defaults();
        odd.ColorTheme = u.Theme;
        odd.WindowSize = u.Size;
        dialog.SetValuesToControls(odd);
        EXPECT_TRUE(dialog.rbThemeSystem->isChecked());
        EXPECT_TRUE(dialog.rbSizeNormal->isChecked());
        EXPECT_EQ(dialog.size(), QSize(519, 373));
        dialog.SaveValuesFromControls(odd);
        EXPECT_EQ(odd.ColorTheme, 0);
        EXPECT_EQ(odd.WindowSize, 0);
    }
}

TEST_F(SettingsDialogTest, ProxyControlsFollowTheTwoCheckBoxesAndKeepTheirText) {
    TAppConfig config = Defaults();
    config.UseProxy = true;
    config.Use_User = true;
    config.Proxy_hostname = QStringLiteral("proxy.example");
    config.Proxy_port = QStringLiteral("3128");
    config.Proxy_User = QStringLiteral("anna");
    config.Proxy_Userpass = QStringLiteral("secret");
    Dialog.SetValuesToControls(config);
    const struct {
        bool Proxy, User;
        bool HostEnabled, UserCheckEnabled, UserEnabled;
    } states[] = {
        {true, true, true, true, true},
        {true, false, true, true, false},
        {false, true, false, false, false},
        {false, false, false, false, false},
    };
    for (const auto &s : states) {
        Dialog.cbProxy->setChecked(s.Proxy);
        Dialog.cbUseProxyUser->setChecked(s.User);
        EXPECT_EQ(Dialog.edHost->isEnabled(), s.HostEnabled);
        EXPECT_EQ(Dialog.edPort->isEnabled(), s.HostEnabled);
        EXPECT_EQ(Dialog.cbUseProxyUser->isEnabled(), s.UserCheckEnabled);
        EXPECT_EQ(Dialog.edUser->isEnabled(), s.UserEnabled);
        EXPECT_EQ(Dialog.edPassword->isEnabled(), s.UserEnabled);
    }
    Dialog.cbProxy->setChecked(false);
    Dialog.cbUseProxyUser->setChecked(true);
    TAppConfig saved = config;
    Dialog.SaveValuesFromControls(saved);
    EXPECT_FALSE(saved.UseProxy);
    EXPECT_TRUE(saved.Use_User);
    EXPECT_EQ(saved.Proxy_hostname, QStringLiteral("proxy.example"));
    EXPECT_EQ(saved.Proxy_port, QStringLiteral("3128"));
    EXPECT_EQ(saved.Proxy_User, QStringLiteral("anna"));
    EXPECT_EQ(saved.Proxy_Userpass, QStringLiteral("secret"));
}

TEST_F(SettingsDialogTest, StandardResetsSoundThemeAndSizeButNotTheProxy) {
    TAppConfig config = Defaults();
    config.UseProxy = true;
    config.Proxy_hostname = QStringLiteral("proxy.example");
    config.Speed = 9;
    config.SoundVolume = 3;
    config.SoundPitch = 1;
    config.ColorTheme = 2;
    config.WindowSize = 2;
    Dialog.SetValuesToControls(config);
    EXPECT_EQ(Dialog.size(), QSize(519 + 72, 373 + 120));
    EXPECT_FALSE(Dialog.styleSheet().isEmpty());
    Dialog.btDefault->click();
    EXPECT_EQ(Dialog.TrackSpeed->value(), 5);
    EXPECT_EQ(Dialog.TrackVolume->value(), 20);
    EXPECT_EQ(Dialog.TrackPitch->value(), 0);
    EXPECT_TRUE(Dialog.rbThemeSystem->isChecked());
    EXPECT_TRUE(Dialog.rbSizeNormal->isChecked());
    EXPECT_EQ(Dialog.size(), QSize(519, 373)); // shrunk back at once
    EXPECT_TRUE(Dialog.styleSheet().isEmpty());
    EXPECT_TRUE(Dialog.cbProxy->isChecked());
    EXPECT_EQ(Dialog.edHost->text(), QStringLiteral("proxy.example"));
    TAppConfig saved = config;
    Dialog.SaveValuesFromControls(saved);
    EXPECT_EQ(saved.Speed, 5);
    EXPECT_EQ(saved.SoundPitch, 2);
    EXPECT_EQ(saved.ColorTheme, 0);
    EXPECT_EQ(saved.WindowSize, 0);
    EXPECT_TRUE(saved.UseProxy);
}

TEST_F(SettingsDialogTest, DarkThenMiddleTakesTheMiddleDarkBookAndLargerEditBoxes) {
    Dialog.SetValuesToControls(Defaults());
    Dialog.rbThemeDark->setChecked(true);
    Dialog.rbSizeMiddle->setChecked(true);
    EXPECT_EQ(Dialog.styleSheet(), Styles.sbDarkMedium);
    for (QLineEdit *e : {Dialog.edHost, Dialog.edPort, Dialog.edUser, Dialog.edPassword}) {
        EXPECT_EQ(QFontInfo(e->font()).pixelSize(), kDesignedFontPixelSize + 2);
    }
}

TEST_F(SettingsDialogTest, HintsFromCaptionsAndLabels) {
    const struct {
        QWidget *Control;
        const char *Hint;
    } hints[] = {
        {Dialog.edPassword, "Kode"},
        {Dialog.lbPassword, "Kode"},
        {Dialog.TrackSpeed, "Læsehastighed"},
        {Dialog.TrackVolume, "Volume"},
        {Dialog.TrackPitch, "Pitch"},
        {Dialog.edHost, "Host"},
        {Dialog.edPort, "Port"},
        {Dialog.edUser, "Brugernavn"},
        {Dialog.rbThemeLightHC, "Lys med høj kontrast"},
        {Dialog.cbUseProxyUser, "Brug godkendelse"},
        {Dialog.btSave, "Gem"},
        {Dialog.rbSizeLarge, "Stor"},
    };
    for (const auto &h : hints) {
        EXPECT_EQ(h.Control->toolTip(), QString::fromUtf8(h.Hint)) << h.Hint;
    }
    for (QGroupBox *box : Dialog.findChildren<QGroupBox *>()) {
        EXPECT_TRUE(box->toolTip().isEmpty());
    }
}

TEST_F(SettingsDialogTest, FirstShowPutsTheFocusOnTheProxyBoxAndPullsTheDialogOnScreen) {
    TAppConfig config = Defaults();
    config.WindowSize = 2;
    Dialog.SetValuesToControls(config);
    Dialog.move(-150, -40);
    Dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Dialog));
    EXPECT_EQ(Dialog.pos(), QPoint(0, 0));
    EXPECT_EQ(Dialog.focusWidget(), Dialog.cbProxy);
    Dialog.hide();
    Dialog.move(-20, 30); // only the first showing pulls it back
    Dialog.show();
    EXPECT_EQ(Dialog.pos(), QPoint(-20, 30));
}

TEST_F(SettingsDialogTest, KeyboardAloneReachesEveryControlAndAction) {
    Dialog.SetValuesToControls(Defaults());
    Dialog.show();
    Dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Dialog));

    const QList<QWidget *> order = {
        Dialog.cbProxy,     Dialog.edHost,         Dialog.edPort,        Dialog.cbUseProxyUser,
        Dialog.edUser,      Dialog.edPassword,     Dialog.rbThemeSystem, Dialog.rbThemeLight,
        Dialog.rbThemeDark, Dialog.rbThemeLightHC, Dialog.rbThemeDarkHC, Dialog.TrackSpeed,
        Dialog.TrackVolume, Dialog.TrackPitch,     Dialog.rbSizeNormal,  Dialog.rbSizeMiddle,
        Dialog.rbSizeLarge, Dialog.btDefault,      Dialog.btSave,        Dialog.btCancel};
    QList<QWidget *> chain;
    QWidget *w = Dialog.cbProxy;
    do {
        if ((w->focusPolicy() & Qt::TabFocus) != 0) {
            chain.append(w);
        }
        w = w->nextInFocusChain();
    } while (w != Dialog.cbProxy && chain.size() < 100);
    EXPECT_EQ(chain, order);

    // Accelerators: Alt + the marked letter (a button clicks itself shortly after).
    const struct {
        Qt::Key Key;
        QAbstractButton *Button;
    } accelerators[] = {{Qt::Key_P, Dialog.cbProxy},      {Qt::Key_R, Dialog.rbThemeDark},
                        {Qt::Key_O, Dialog.rbSizeLarge},  {Qt::Key_L, Dialog.rbThemeLight},
                        {Qt::Key_M, Dialog.rbSizeMiddle}, {Qt::Key_U, Dialog.cbUseProxyUser}};
    for (const auto &a : accelerators) {
        QTest::keyClick(&Dialog, a.Key, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return a.Button->isChecked(); }, 10000))
            << qPrintable(a.Button->objectName());
        EXPECT_EQ(Dialog.focusWidget(), a.Button);
    }

    // "&System" and "&Standard" share their letter: Alt+S moves the focus between the
    // two without pressing either; Space then presses the focused one.
    QTest::keyClick(&Dialog, Qt::Key_S, Qt::AltModifier);
    QWidget *first = Dialog.focusWidget();
    QTest::keyClick(&Dialog, Qt::Key_S, Qt::AltModifier);
    EXPECT_EQ(QSet<QWidget *>({first, Dialog.focusWidget()}),
              QSet<QWidget *>({Dialog.rbThemeSystem, Dialog.btDefault}));
    Dialog.rbThemeSystem->setFocus();
    QTest::keyClick(Dialog.rbThemeSystem, Qt::Key_Space);
    EXPECT_TRUE(Dialog.rbThemeSystem->isChecked());

    QSignalSpy finished(&Dialog, &QDialog::finished);
    QTest::keyClick(&Dialog, Qt::Key_Escape);
    ASSERT_EQ(finished.count(), 1);
    EXPECT_EQ(finished.at(0).at(0).toInt(), TFormSettings::kResultCancel);

    Dialog.show();
    Dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Dialog));
    QTest::keyClick(&Dialog, Qt::Key_G, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished.count() == 2; }, 10000));
    EXPECT_EQ(finished.at(1).at(0).toInt(), TFormSettings::kResultSave);

    Dialog.show();
    Dialog.btCancel->click();
    ASSERT_EQ(finished.count(), 3);
    EXPECT_EQ(finished.at(2).at(0).toInt(), TFormSettings::kResultCancel);
}

TEST_F(SettingsDialogTest, EveryControlHasAnAccessibleName) {
    const QMap<QWidget *, QLabel *> paired = {
        {Dialog.edHost, Dialog.lbHost},      {Dialog.edPort, Dialog.lbPort},
        {Dialog.edUser, Dialog.lbUserName},  {Dialog.edPassword, Dialog.lbPassword},
        {Dialog.TrackSpeed, Dialog.lbSpeed}, {Dialog.TrackVolume, Dialog.lbVolume},
        {Dialog.TrackPitch, Dialog.lbPitch}};
    const QList<QWidget *> controls = Dialog.findChildren<QWidget *>();
    EXPECT_EQ(controls.size(), 31);
    for (QWidget *control : controls) {
        QString expected;
        if (auto *button = qobject_cast<QAbstractButton *>(control)) {
            expected = Stripped(button->text());
        } else if (auto *label = qobject_cast<QLabel *>(control)) {
            expected = label->text();
        } else if (auto *box = qobject_cast<QGroupBox *>(control)) {
            expected = box->title();
        } else {
            ASSERT_TRUE(paired.contains(control)) << qPrintable(control->objectName());
            expected = paired.value(control)->text();
        }
        EXPECT_FALSE(expected.isEmpty()) << qPrintable(control->objectName());
        EXPECT_EQ(AccessibleName(control), expected) << qPrintable(control->objectName());
    }
}

// The main window's side of the settings.
class SettingsActionTest : public ::testing::Test {
protected:
    TFormSettings *OpenDialog(TFormMain2 &window) {
        window.ActionSettings->trigger();
        auto *dialog = window.findChild<TFormSettings *>();
        EXPECT_NE(dialog, nullptr);
        return dialog;
    }
    // The dialog is destroyed after it ends.
    static bool Gone(TFormMain2 &window) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window.findChild<TFormSettings *>() == nullptr;
    }

    TempHome Home;
    TDmStyles Styles;
};

TEST_F(SettingsActionTest, SaveAppliesSizeAndThemeAtOnceAndTheFileWaitsForTheClose) {
    TFormMain2 window;
    window.show();
    TAppConfig::SaveSettings(window.Config());
    const QByteArray fileBefore = ReadBytes(Home.SettingsFile());
    const QPoint corner = window.pos();

    TFormSettings *dialog = OpenDialog(window);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->isModal());
    EXPECT_EQ(dialog->parentWidget(), &window);
    dialog->rbThemeDarkHC->setChecked(true);
    dialog->rbSizeLarge->setChecked(true);
    dialog->TrackSpeed->setValue(8);
    EXPECT_EQ(window.size(), QSize(184, 103)); // the main window follows only after a save
    dialog->btSave->click();
    EXPECT_TRUE(Gone(window));

    EXPECT_EQ(window.Config().ColorTheme, 4);
    EXPECT_EQ(window.Config().WindowSize, 2);
    EXPECT_EQ(window.Config().Speed, 8);
    EXPECT_EQ(window.size(), QSize(184 + 54, 103 + 36));
    EXPECT_EQ(window.pos(), corner); // grows to the right and downwards
    EXPECT_EQ(window.styleSheet(), Styles.sbDarkLargeHC);
    EXPECT_EQ(QFontInfo(window.btPlay->font()).pixelSize(), 16);
    EXPECT_EQ(ReadBytes(Home.SettingsFile()), fileBefore);

    window.close();
    const TAppConfig saved =
        TAppConfig::LoadSettings(Home.SettingsFolder(), Home.SoundFileFolder());
    EXPECT_EQ(saved.ColorTheme, 4);
    EXPECT_EQ(saved.WindowSize, 2);
    EXPECT_EQ(saved.Speed, 8);
}

TEST_F(SettingsActionTest, AnyOtherEndChangesNothing) {
    TFormMain2 window;
    window.show();
    const TAppConfig before = window.Config();
    const auto cancels = std::initializer_list<std::function<void(TFormSettings *)>>{
        [](TFormSettings *d) { d->btCancel->click(); },
        [](TFormSettings *d) { d->reject(); },
        [](TFormSettings *d) { d->close(); },
    };
    for (const auto &cancel : cancels) {
        TFormSettings *dialog = OpenDialog(window);
        ASSERT_NE(dialog, nullptr);
        dialog->rbThemeDark->setChecked(true);
        dialog->rbSizeMiddle->setChecked(true);
        dialog->TrackSpeed->setValue(2);
        dialog->cbProxy->setChecked(true);
        dialog->edHost->setText(QStringLiteral("proxy.example"));
        cancel(dialog);
        EXPECT_TRUE(Gone(window));
        EXPECT_EQ(window.Config(), before);
        EXPECT_EQ(window.size(), QSize(184, 103));
        EXPECT_TRUE(window.styleSheet().isEmpty());
    }
}

TEST_F(SettingsActionTest, UnknownThemeShowsSystemAndUnknownSizeNormal) {
    const struct {
        int Theme, Size;
        bool Book;
        int CaptionSize;
    } cases[] = {
        {9, 1, false, kDesignedFontPixelSize + 2},
        {-3, 0, false, kDesignedFontPixelSize},
        {2, 7, true, 12},
        {1, 2, true, 16},
        {0, 2, false, kDesignedFontPixelSize + 4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Theme);
        WriteBytes(Home.SettingsFile(), QStringLiteral("[VIEW]\nColorTheme=%1\nWinSize=%2\n")
                                            .arg(c.Theme)
                                            .arg(c.Size)
                                            .toUtf8());
        TFormMain2 window;
        EXPECT_EQ(!window.styleSheet().isEmpty(), c.Book);
        for (QWidget *caption : std::initializer_list<QWidget *>{window.lbStatus, window.btPlay,
                                                                 window.btStop, window.btConfig}) {
            EXPECT_EQ(QFontInfo(caption->font()).pixelSize(), c.CaptionSize);
        }
        EXPECT_TRUE(window.lbStatus->font().bold());
    }
}

TEST_F(SettingsActionTest, MainWindowControlsHaveNamesAndTheSettingsOpenFromTheKeyboard) {
    TFormMain2 window;
    for (QWidget *control : window.findChildren<QWidget *>()) {
        EXPECT_FALSE(AccessibleName(control).isEmpty()) << qPrintable(control->objectName());
    }
    EXPECT_EQ(AccessibleName(window.btConfig), QStringLiteral("Indstillinger"));
    EXPECT_EQ(AccessibleName(window.lbStatus), QStringLiteral("KLAR"));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_I, Qt::AltModifier);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window.findChild<TFormSettings *>() != nullptr; }, 10000));
    auto *dialog = window.findChild<TFormSettings *>();
    ASSERT_NE(dialog, nullptr);
    dialog->reject();
    EXPECT_TRUE(Gone(window));
}
