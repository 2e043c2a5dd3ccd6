// sv.EditBoxFontService: the font size a window's text takes for the current window
// size (Normal, Middle, Large), and the switch that makes the captions of a window
// take their font size either from the active style book or from their own font
// (the system theme, where no style book supplies larger text). Each window owns one
// service. Main thread only.
#pragma once

#include <QString>

class QWidget;

// The windows' designed font: the platform's default family at this size in logical
// pixels. The Normal style books use the same size.
inline constexpr int kDesignedFontPixelSize = 12;

// Sets the designed font (default family, kDesignedFontPixelSize) on a window.
void SetDesignedFont(QWidget *window);

// The size of a font in logical pixels (converted from points when set in points).
[[nodiscard]] float FontPixelSize(const QWidget *control);

// Where the windows ask for their default font.
class ISystemFontService {
public:
    virtual ~ISystemFontService() = default;
    [[nodiscard]] virtual QString GetDefaultFontFamilyName() const = 0;
    [[nodiscard]] virtual float GetDefaultFontSize() const = 0;
};

class TEditBoxFontService final : public ISystemFontService {
public:
    TEditBoxFontService(float defaultEditBoxFontSize, QString fontFamilyName);

    [[nodiscard]] QString GetDefaultFontFamilyName() const override { return FFontFamilyName; }
    [[nodiscard]] float GetDefaultFontSize() const override { return FCurrentEditBoxFontSize; }

    // 1 Middle: the designed size + 2; 2 Large: + 4; any other number: the designed size.
    void SetWindowSizeMode(int windowSize);

    // The name of the dynamic property the style books select on: true while a
    // control takes its font size from the style.
    static constexpr const char *kStyleFontSizeProperty = "svStyleFontSize";

    // The captions of fm's direct children and of its group boxes' children take
    // their font size from their own font, set to sfs's size.
    static void SetSystemThemeON(QWidget *fm, const ISystemFontService &sfs);
    // The same controls take their font size from the style again.
    static void SetSystemThemeOFF(QWidget *fm);

private:
    float FDefaultEditBoxFontSize;
    float FCurrentEditBoxFontSize;
    QString FFontFamilyName;
};
