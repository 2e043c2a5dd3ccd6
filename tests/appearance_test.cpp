// Appearance under the offscreen platform: the font service's sizes and caption
// walks, the resizer's layouts (dialog and main window, Middle and Large, back to
// Normal), the choice of style books, rendered colours of the themes, and a printout
// of text contrast per theme.
#include "support/Rendering.h"
#include "support/TempHome.h"

#include "forms.FormMain2.h"
#include "forms.FormSettings.h"
#include "sv.ActionButton.h"
#include "sv.AppConfig.h"
#include "sv.DmStyles.h"
#include "sv.EditBoxFontService.h"
#include "sv.Exceptions.h"
#include "sv.FormSettingsResizer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <cstdio>

namespace {

int ShownPixelSize(const QWidget *control) {
    return QFontInfo(control->font()).pixelSize();
}

QString ResourceBook(const char *name) {
    QFile file(QStringLiteral(":/styles/%1.qss").arg(QLatin1String(name)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return QString::fromUtf8(file.readAll());
}

QRadioButton *ThemeButton(TFormSettings &dialog, int theme) {
    QRadioButton *buttons[] = {dialog.rbThemeSystem, dialog.rbThemeLight, dialog.rbThemeDark,
                               dialog.rbThemeLightHC, dialog.rbThemeDarkHC};
    return buttons[theme];
}

// A settings dialog with the style books and a record of the given theme and size.
class DialogFixture : public ::testing::Test {
protected:
    void Open(int theme, int size) {
        TAppConfig config;
        config.Speed = 5;
        config.ColorTheme = theme;
        config.WindowSize = size;
        config.UseProxy = true;
        config.Use_User = true;
        config.Proxy_hostname = QStringLiteral("proxy.example");
        config.Proxy_User = QStringLiteral("anna");
        Dialog.SetValuesToControls(config);
    }

    TDmStyles Styles;
    TFormSettings Dialog{nullptr};
};

} // namespace

TEST(EditBoxFontServiceTest, SizesFollowTheWindowSizeFromTheDesign) {
    TEditBoxFontService service(12, QStringLiteral("DejaVu Sans"));
    EXPECT_EQ(service.GetDefaultFontSize(), 12);
    const struct {
        int Mode;
        float Size;
    } cases[] = {{1, 14}, {2, 16}, {2, 16}, {0, 12}, {5, 12}, {-1, 12}, {1, 14}};
    for (const auto &c : cases) {
        service.SetWindowSizeMode(c.Mode);
        EXPECT_EQ(service.GetDefaultFontSize(), c.Size) << "mode " << c.Mode;
        EXPECT_EQ(service.GetDefaultFontFamilyName(), QStringLiteral("DejaVu Sans"));
    }
}

TEST(EditBoxFontServiceTest, WalksStopAtTheChildrenOfGroupBoxes) {
    QWidget window;
    SetDesignedFont(&window);
    auto *label = new QLabel(QStringLiteral("label"), &window);
    auto *button = new QPushButton(QStringLiteral("button"), &window);
    auto *edit = new QLineEdit(&window);
    auto *box = new QGroupBox(QStringLiteral("box"), &window);
    auto *inner = new QCheckBox(QStringLiteral("inner"), box);
    auto *slider = new QSlider(Qt::Horizontal, box);
    auto *panel = new QWidget(box);
    auto *deep = new QLabel(QStringLiteral("deep"), panel);
    QFont ownFont = edit->font();
    ownFont.setPixelSize(13);
    edit->setFont(ownFont);

    TEditBoxFontService service(12, window.font().family());
    service.SetWindowSizeMode(2);
    TEditBoxFontService::SetSystemThemeON(&window, service);
    const char *property = TEditBoxFontService::kStyleFontSizeProperty;
    for (QWidget *caption : std::initializer_list<QWidget *>{label, button, box, inner}) {
        EXPECT_EQ(caption->font().pixelSize(), 16) << caption->metaObject()->className();
        EXPECT_FALSE(caption->property(property).toBool());
    }
    EXPECT_EQ(edit->font().pixelSize(), 13);
    EXPECT_FALSE(slider->property(property).isValid());
    EXPECT_FALSE(deep->property(property).isValid());

    TEditBoxFontService::SetSystemThemeOFF(&window);
    for (QWidget *caption : std::initializer_list<QWidget *>{label, button, box, inner}) {
        EXPECT_TRUE(caption->property(property).toBool());
        EXPECT_EQ(caption->font().pixelSize(), 16); // its own size stays
    }
    EXPECT_FALSE(deep->property(property).isValid());
}

TEST(FormSettingsResizerTest, DuplicateTagsAndLateTagsAndUnknownSizes) {
    QWidget window;
    window.setFixedSize(200, 100);
    auto *box = new QGroupBox(&window);
    box->setGeometry(10, 10, 100, 50);
    auto *a = new QLabel(box);
    auto *b = new QLabel(&window);
    SetLayoutTag(box, 110000);
    SetLayoutTag(a, 10101);
    SetLayoutTag(b, 10101);
    TFormSettingsResizer resizer;
    try {
        resizer.ReadDefaultPositions(&window);
        FAIL() << "no exception";
    } catch (const Exception &error) {
        EXPECT_EQ(error.Message(),
                  QStringLiteral("Two different controls have same tag value=10101"));
    }

    SetLayoutTag(b, 0);
    a->setGeometry(5, 20, 40, 17);
    resizer.ReadDefaultPositions(&window);
    auto *late = new QLabel(box);
    late->setGeometry(50, 20, 30, 17);
    SetLayoutTag(late, 10202); // tagged after the design was read: left where it is
    resizer.SetControlsSize(&window, 2);
    EXPECT_EQ(a->geometry(), QRect(23, 32, 58, 29));
    EXPECT_EQ(box->geometry(), QRect(10, 10, 118, 62));
    EXPECT_EQ(late->geometry(), QRect(50, 20, 30, 17));
    EXPECT_EQ(window.size(), QSize(218, 112));
    resizer.SetControlsSize(&window, 7);
    EXPECT_EQ(a->geometry(), QRect(5, 20, 40, 17));
    EXPECT_EQ(box->geometry(), QRect(10, 10, 100, 50));
    EXPECT_EQ(window.size(), QSize(200, 100));
}

TEST_F(DialogFixture, ResizerGeometryTableOfTheDialog) {
    Open(0, 0);
    const QSize designed = Dialog.size();
    EXPECT_EQ(designed, QSize(519, 373));
    QMap<QWidget *, QRect> design;
    for (QWidget *w : Dialog.findChildren<QWidget *>()) {
        design.insert(w, w->geometry());
    }
    const struct {
        QWidget *Control;
        QRect Middle, Large;
    } table[] = {
        {Dialog.grConnection, {16, 8, 291, 213}, {16, 8, 309, 249}},
        {Dialog.grSound, {16, 228, 291, 139}, {16, 264, 309, 157}},
        {Dialog.grColorThemes, {323, 8, 218, 213}, {350, 8, 227, 249}},
        {Dialog.grSize, {323, 228, 218, 139}, {350, 264, 227, 157}},
        {Dialog.btDefault, {16, 386, 82, 28}, {16, 440, 91, 34}},
        {Dialog.btSave, {359, 386, 82, 28}, {377, 440, 91, 34}},
        {Dialog.btCancel, {457, 386, 82, 28}, {484, 440, 91, 34}},
        {Dialog.edHost, {65, 54, 202, 28}, {74, 60, 211, 34}},
    };
    for (int pass = 0; pass < 2; ++pass) { // the same mode twice changes nothing
        Dialog.rbSizeMiddle->setChecked(true);
        for (const auto &row : table) {
            EXPECT_EQ(row.Control->geometry(), row.Middle) << qPrintable(row.Control->objectName());
        }
        EXPECT_EQ(Dialog.size(), designed + QSize(36, 60));
        Dialog.rbSizeLarge->setChecked(true);
        for (const auto &row : table) {
            EXPECT_EQ(row.Control->geometry(), row.Large) << qPrintable(row.Control->objectName());
        }
        EXPECT_EQ(Dialog.size(), designed + QSize(72, 120));
    }
    Dialog.rbSizeNormal->setChecked(true);
    EXPECT_EQ(Dialog.size(), designed);
    for (auto it = design.cbegin(); it != design.cend(); ++it) {
        EXPECT_EQ(it.key()->geometry(), it.value()) << qPrintable(it.key()->objectName());
    }
}

TEST(MainWindowAppearanceTest, ResizerGeometryTableOfTheMainWindow) {
    TempHome home;
    TDmStyles styles;
    const struct {
        int Size;
        QRect Status, Play, Stop, Config;
        QSize Window;
    } table[] = {
        {0, {44, 11, 96, 17}, {8, 39, 80, 22}, {96, 39, 80, 22}, {52, 72, 80, 22}, {184, 103}},
        {1, {53, 11, 105, 23}, {8, 45, 89, 28}, {114, 45, 89, 28}, {61, 84, 89, 28}, {211, 121}},
        {2, {62, 11, 114, 29}, {8, 51, 98, 34}, {132, 51, 98, 34}, {70, 96, 98, 34}, {238, 139}},
        {7, {44, 11, 96, 17}, {8, 39, 80, 22}, {96, 39, 80, 22}, {52, 72, 80, 22}, {184, 103}},
    };
    for (const auto &row : table) {
        SCOPED_TRACE(row.Size);
        WriteBytes(home.SettingsFile(),
                   QStringLiteral("[VIEW]\nWinSize=%1\nColorTheme=1\n").arg(row.Size).toUtf8());
        TFormMain2 window;
        EXPECT_EQ(window.lbStatus->geometry(), row.Status);
        EXPECT_EQ(window.btPlay->geometry(), row.Play);
        EXPECT_EQ(window.btStop->geometry(), row.Stop);
        EXPECT_EQ(window.btConfig->geometry(), row.Config);
        EXPECT_EQ(window.size(), row.Window);
    }
}

TEST(DmStylesTest, StyleBookForEachThemeAndSize) {
    TDmStyles styles;
    EXPECT_EQ(DmStyles, &styles);
    const char *table[5][3] = {
        {nullptr, nullptr, nullptr},
        {"sbLight", "sbLightMedium", "sbLightLarge"},
        {"sbDark", "sbDarkMedium", "sbDarkLarge"},
        {"sbLightHC", "sbLightMediumHC", "sbLightLargeHC"},
        {"sbDarkHC", "sbDarkMediumHC", "sbDarkLargeHC"},
    };
    QSet<QString> distinct;
    for (int theme = 0; theme < 5; ++theme) {
        for (int size = 0; size < 3; ++size) {
            const QString book = styles.GetStyleBook(theme, size);
            if (table[theme][size] == nullptr) {
                EXPECT_TRUE(book.isEmpty()) << theme << " " << size;
            } else {
                EXPECT_EQ(book, ResourceBook(table[theme][size])) << table[theme][size];
                distinct.insert(book);
            }
        }
    }
    EXPECT_EQ(distinct.size(), 12);
    EXPECT_EQ(styles.GetStyleBook(2, 2), styles.sbDarkLarge);
    EXPECT_EQ(styles.GetStyleBook(3, 1), styles.sbLightMediumHC);
    EXPECT_EQ(styles.GetStyleBook(4, 0), styles.sbDarkHC);
    EXPECT_EQ(styles.GetStyleBook(2, 7), styles.sbDark); // unknown size: Normal
    EXPECT_TRUE(styles.GetStyleBook(9, 1).isEmpty());    // unknown theme: none
}

TEST_F(DialogFixture, DarkBackgroundAndLightHighContrastButtonBorders) {
    Open(2, 0);
    Dialog.show();
    EXPECT_EQ(PixelOf(&Dialog, QPoint(4, 4)), QColor(0x50, 0x50, 0x50));
    EXPECT_EQ(PixelOf(&Dialog, QPoint(8, 350)), QColor(0x50, 0x50, 0x50));

    Dialog.rbThemeLightHC->setChecked(true);
    EXPECT_EQ(PixelOf(&Dialog, QPoint(4, 4)), QColor(0xf0, 0xf0, 0xf0));
    QPushButton *button = Dialog.btDefault;
    const int middle = button->height() / 2;
    EXPECT_EQ(PixelOf(button, QPoint(0, middle)), QColor(Qt::black));
    EXPECT_EQ(PixelOf(button, QPoint(button->width() - 1, middle)), QColor(Qt::black));
    EXPECT_EQ(PixelOf(button, QPoint(button->width() / 2, 0)), QColor(Qt::black));
    // The face keeps Light's colours.
    EXPECT_EQ(PixelOf(button, QPoint(3, button->height() - 2)), QColor(0xf6, 0xf6, 0xf6));
}

TEST_F(DialogFixture, DarkHighContrastFocusedEditBoxHasAWhiteBorder) {
    Open(4, 0);
    Dialog.show();
    Dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Dialog));
    Dialog.edHost->setFocus();
    ASSERT_TRUE(Dialog.edHost->hasFocus());
    QLineEdit *edit = Dialog.edHost;
    for (const QPoint p : {QPoint(0, 10), QPoint(1, 10), QPoint(100, 0), QPoint(100, 1),
                           QPoint(edit->width() - 1, 10)}) {
        EXPECT_EQ(PixelOf(edit, p), QColor(Qt::white)) << p.x() << "," << p.y();
    }
    EXPECT_EQ(PixelOf(edit, QPoint(edit->width() - 4, 4)), QColor(0x33, 0x33, 0x33));
    const TTextContrast text = MeasureTextContrast(edit, edit->rect().adjusted(3, 3, -3, -3));
    EXPECT_EQ(text.Text, QColor(0xea, 0xea, 0xea));
}

TEST_F(DialogFixture, CaptionSizesOfMiddleLightAndMiddleSystem) {
    Open(1, 1);
    for (QWidget *caption :
         std::initializer_list<QWidget *>{Dialog.lbHost, Dialog.lbPitch, Dialog.cbProxy,
                                          Dialog.rbThemeDark, Dialog.btSave, Dialog.grSound}) {
        EXPECT_EQ(ShownPixelSize(caption), 14) << qPrintable(caption->objectName());
    }
    EXPECT_EQ(ShownPixelSize(Dialog.edHost), 14); // from the edit boxes' own size step

    Dialog.rbThemeSystem->setChecked(true);
    EXPECT_TRUE(Dialog.styleSheet().isEmpty());
    for (QWidget *caption :
         std::initializer_list<QWidget *>{Dialog.lbHost, Dialog.lbPitch, Dialog.cbProxy,
                                          Dialog.rbThemeDark, Dialog.btSave, Dialog.grSound}) {
        EXPECT_EQ(ShownPixelSize(caption), kDesignedFontPixelSize + 2)
            << qPrintable(caption->objectName());
    }
    Dialog.rbSizeLarge->setChecked(true);
    EXPECT_EQ(ShownPixelSize(Dialog.lbHost), kDesignedFontPixelSize + 4);
    EXPECT_EQ(ShownPixelSize(Dialog.edPassword), kDesignedFontPixelSize + 4);
    Dialog.rbThemeDark->setChecked(true); // Large, Dark: the book's 16
    EXPECT_EQ(ShownPixelSize(Dialog.lbHost), 16);
    Dialog.rbSizeNormal->setChecked(true); // back to the Normal book's size
    EXPECT_EQ(ShownPixelSize(Dialog.lbHost), kDesignedFontPixelSize);
    EXPECT_EQ(ShownPixelSize(Dialog.edHost), kDesignedFontPixelSize);
}

TEST_F(DialogFixture, DarkThenSystemThenDarkLooksTheSame) {
    Open(2, 1);
    Dialog.show();
    const QImage before = GrabWindow(&Dialog);
    Dialog.rbThemeSystem->setChecked(true);
    EXPECT_NE(GrabWindow(&Dialog), before);
    Dialog.rbThemeDark->setChecked(true);
    EXPECT_EQ(GrabWindow(&Dialog), before);
}

// Not an assertion on the given colours: prints the contrast of text against its
// background for each theme and reports the pairs below the goal (7:1 for the
// high-contrast books, 4.5:1 for the others).
TEST_F(DialogFixture, PrintsTheTextContrastOfEveryTheme) {
    const char *names[] = {"System", "Light", "Dark", "Light high contrast", "Dark high contrast"};
    Dialog.edHost->setText(QStringLiteral("proxy.example"));
    Open(0, 0);
    Dialog.show();
    std::printf("%-22s %-10s %-10s %-10s %s\n", "theme", "control", "text", "background", "ratio");
    for (int theme = 0; theme < 5; ++theme) {
        ThemeButton(Dialog, theme)->setChecked(true);
        const double goal = theme >= 3 ? 7.0 : 4.5;
        const struct {
            const char *Kind;
            QWidget *Control;
            QRect Area;
        } controls[] = {
            {"label", Dialog.lbHost, Dialog.lbHost->rect()},
            {"button", Dialog.btSave, Dialog.btSave->rect().adjusted(3, 3, -3, -3)},
            // the caption only: right of the largest box and its margin
            {"check box", Dialog.cbProxy, Dialog.cbProxy->rect().adjusted(24, 1, -1, -1)},
            {"edit box", Dialog.edHost, Dialog.edHost->rect().adjusted(3, 3, -3, -3)},
        };
        for (const auto &c : controls) {
            const TTextContrast m = MeasureTextContrast(c.Control, c.Area);
            std::printf("%-22s %-10s %-10s %-10s %5.2f%s\n", names[theme], c.Kind,
                        qPrintable(m.Text.name()), qPrintable(m.Background.name()), m.Ratio,
                        m.Ratio < goal ? "  below the goal" : "");
            EXPECT_GT(m.Ratio, 3.0) << names[theme] << " " << c.Kind; // text is drawn at all
        }
    }
    std::fflush(stdout);
}
