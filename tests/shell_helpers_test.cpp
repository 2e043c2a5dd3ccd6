// Pure helpers of the application shell: where a saved window position counts as
// visible, the operating-system description, and the Windows-1252 table.
#include "sv.Cp1252.h"
#include "sv.OSVersion.h"
#include "sv.ScreenPlacement.h"

#include <gtest/gtest.h>

namespace {

TEST(ScreenPlacement, BothCornersMustLieOnSomeScreen) {
    const QSize window(200, 130);
    const QList<QRect> one = {QRect(0, 0, 1920, 1080)};
    // A second screen to the right of the first, lower and shorter.
    const QList<QRect> two = {QRect(0, 0, 1920, 1080), QRect(1920, 200, 1280, 700)};
    const struct {
        const char *Name;
        QPoint TopLeft;
        const QList<QRect> &Screens;
        bool Visible;
    } cases[] = {
        {"origin", {0, 0}, one, true},
        {"just inside right and bottom edges", {1719, 949}, one, true},
        {"bottom-right exactly on the right edge", {1720, 0}, one, false},
        {"bottom-right exactly on the bottom edge", {0, 950}, one, false},
        {"left of the screen", {-1, 10}, one, false},
        {"screen no longer attached", {2000, 300}, one, false},
        {"on the second screen", {2000, 300}, two, true},
        {"spanning both screens", {1800, 300}, two, true},
        {"bottom-right below the second screen", {2000, 800}, two, false},
        {"top-left above the second screen", {2000, 100}, two, false},
        {"bottom-right beyond the integer range", {INT_MAX - 10, 0}, two, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(IsPlacementVisible(c.TopLeft, window, c.Screens), c.Visible);
    }
}

TEST(OSDescription, BothTemplates) {
    TOSVersionInfo info;
    info.Name = QStringLiteral("Windows 10");
    info.Major = 10;
    info.Minor = 0;
    info.Build = 19045;
    info.Is64Bit = true;
    EXPECT_EQ(FormatOSDescription(info),
              QStringLiteral("Windows 10 (Version 10.0, Build 19045, 64-bit Edition)"));

    info.Name = QStringLiteral("Windows XP");
    info.Major = 5;
    info.Minor = 1;
    info.Build = 2600;
    info.ServicePackMajor = 3;
    info.Is64Bit = false;
    EXPECT_EQ(FormatOSDescription(info),
              QStringLiteral("Windows XP Service Pack 3 (Version 5.1, Build 2600, 32-bit Edition)"));
}

TEST(OSDescription, ThisSystemFillsTheTemplate) {
    const TOSVersionInfo info = QueryOSVersion();
    EXPECT_FALSE(info.Name.isEmpty());
    EXPECT_GT(info.Major, 0);
    const QString text = GetOSDescription();
    EXPECT_TRUE(text.startsWith(info.Name + QStringLiteral(" (Version "))) << qPrintable(text);
    EXPECT_TRUE(text.endsWith(QStringLiteral("-bit Edition)"))) << qPrintable(text);
}

TEST(Cp1252, EveryByteGivesOneCharacterAndComesBack) {
    QByteArray all;
    for (int byte = 0; byte < 256; ++byte) {
        all.append(static_cast<char>(byte));
    }
    const QString text = Cp1252::Decode(all);
    ASSERT_EQ(text.size(), 256);
    EXPECT_EQ(text[0x80], QChar(0x20AC)); // euro sign
    EXPECT_EQ(text[0x81], QChar(0x0081)); // undefined: C1 control of the same value
    EXPECT_EQ(text[0xE6], QChar(u'æ'));
    EXPECT_EQ(Cp1252::Encode(text), all);
    EXPECT_EQ(Cp1252::Encode(QStringLiteral("Ω€")), QByteArray("?\x80"));
}

} // namespace
