// sv.DmStyles: the twelve style books (Qt style sheets compiled in as resources),
// one for each program-made colour theme (Light, Dark, and both with high contrast)
// and window size (Normal, Middle, Large). Created once by the program entry before
// the main window; read-only after loading. Main thread only.
#pragma once

#include <QObject>
#include <QString>

class TDmStyles final : public QObject {
public:
    explicit TDmStyles(QObject *parent = nullptr);
    ~TDmStyles() override;

    TDmStyles(const TDmStyles &) = delete;
    TDmStyles &operator=(const TDmStyles &) = delete;

    // The style book for a colour theme (1 Light, 2 Dark, 3 Light high contrast,
    // 4 Dark high contrast) and a window size (1 Middle, 2 Large, any other number
    // Normal). Theme 0 (System) and any unknown theme give none: an empty text.
    [[nodiscard]] QString GetStyleBook(int colorTheme, int windowSize) const;

    QString sbLight, sbLightMedium, sbLightLarge;
    QString sbDark, sbDarkMedium, sbDarkLarge;
    QString sbLightHC, sbLightMediumHC, sbLightLargeHC;
    QString sbDarkHC, sbDarkMediumHC, sbDarkLargeHC;

private:
    void DataModuleCreate() {}
};

// The program's one container, set while it exists.
extern TDmStyles *DmStyles;
