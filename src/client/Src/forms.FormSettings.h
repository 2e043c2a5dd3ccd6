// forms.FormSettings: the modal settings dialog. It edits the proxy, reading speed,
// volume, pitch, colour theme and window size of a settings record in memory; a
// theme or size picked in the open dialog restyles and re-lays out the dialog at
// once. Result 1 ("&Gem") means save; 2 ("&Fortryd", Esc, the close box) cancel.
// The dialog writes no file. Created for one use and destroyed after it. Main thread.
#pragma once

#include <QDialog>

#include <memory>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QButtonGroup;
class TEditBoxFontService;
class TFormSettingsResizer;
struct TAppConfig;

class TFormSettings final : public QDialog {
    Q_OBJECT

public:
    // Raises when the program's version cannot be read.
    explicit TFormSettings(QWidget *owner);
    ~TFormSettings() override;

    TFormSettings(const TFormSettings &) = delete;
    TFormSettings &operator=(const TFormSettings &) = delete;

    static constexpr int kResultSave = 1;
    static constexpr int kResultCancel = 2;

    void SetValuesToControls(const TAppConfig &config);
    void SaveValuesFromControls(TAppConfig &dest) const;

    QGroupBox *grConnection = nullptr;
    QCheckBox *cbProxy = nullptr;
    QLabel *lbHost = nullptr;
    QLineEdit *edHost = nullptr;
    QLabel *lbPort = nullptr;
    QLineEdit *edPort = nullptr;
    QCheckBox *cbUseProxyUser = nullptr;
    QLabel *lbUserName = nullptr;
    QLineEdit *edUser = nullptr;
    QLabel *lbPassword = nullptr;
    QLineEdit *edPassword = nullptr;
    QGroupBox *grColorThemes = nullptr;
    QRadioButton *rbThemeSystem = nullptr;
    QRadioButton *rbThemeLight = nullptr;
    QRadioButton *rbThemeDark = nullptr;
    QRadioButton *rbThemeLightHC = nullptr;
    QRadioButton *rbThemeDarkHC = nullptr;
    QGroupBox *grSound = nullptr;
    QLabel *lbSpeed = nullptr;
    QSlider *TrackSpeed = nullptr;
    QLabel *lbVolume = nullptr;
    QSlider *TrackVolume = nullptr;
    QLabel *lbPitch = nullptr;
    QSlider *TrackPitch = nullptr;
    QGroupBox *grSize = nullptr;
    QRadioButton *rbSizeNormal = nullptr;
    QRadioButton *rbSizeMiddle = nullptr;
    QRadioButton *rbSizeLarge = nullptr;
    QPushButton *btDefault = nullptr;
    QPushButton *btSave = nullptr;
    QPushButton *btCancel = nullptr;

public Q_SLOTS:
    // Esc and the close box end the dialog like "&Fortryd".
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void create_controls();
    void create_connection_box();
    void create_theme_box();
    void create_sound_box();
    void create_size_box();
    void create_buttons();
    void set_tab_order();
    void FormCreate();
    void FormShow();
    void AssignTags();
    void AssignHints();
    void UpdateProxyControls();
    void rbThemeSystemChange(QRadioButton *button, bool checked);
    void ApplyColorTheme(int themeTag);
    void ApplyWindowSize();
    [[nodiscard]] int GetCheckedWindowSize() const;
    [[nodiscard]] int GetCheckedThemeTag() const;
    void btDefaultClick();

    std::unique_ptr<TFormSettingsResizer> FResizer;
    std::shared_ptr<TEditBoxFontService> FEditBoxFontService;
    bool FShown = false;
};
