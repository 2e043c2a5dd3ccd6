#include "forms.FormSettings.h"

#include "sv.AppConfig.h"
#include "sv.AppVersion.h"
#include "sv.DmStyles.h"
#include "sv.EditBoxFontService.h"
#include "sv.FormSettingsResizer.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSlider>

#include <cmath>

namespace {

constexpr int kThemeSystemTag = 20000;

QString WithoutAmpersands(QString text) {
    return text.remove(u'&');
}

template <typename T> T *Make(QWidget *parent, const char *name, QRect geometry) {
    auto *control = new T(parent);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(geometry);
    return control;
}

template <typename T>
T *MakeCaptioned(QWidget *parent, const char *name, const QString &caption, QRect geometry) {
    T *control = Make<T>(parent, name, geometry);
    control->setText(caption);
    return control;
}

QSlider *MakeTrack(QWidget *parent, const char *name, QRect geometry, int minimum, int maximum,
                   int design) {
    auto *track = Make<QSlider>(parent, name, geometry);
    track->setOrientation(Qt::Horizontal);
    track->setRange(minimum, maximum);
    track->setSingleStep(1);
    track->setPageStep(1);
    track->setValue(design);
    return track;
}

} // namespace

TFormSettings::TFormSettings(QWidget *owner)
    : QDialog(owner, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    create_controls();
    FormCreate();
}

// FormDestroy: the resizer and the font service go with their owning pointers.
TFormSettings::~TFormSettings() = default;

void TFormSettings::create_controls() {
    setObjectName(QStringLiteral("FormSettings"));
    setWindowTitle(QStringLiteral("Indstillinger"));
    setProperty("svWindow", true);
    SetDesignedFont(this);
    setFixedSize(519, 373);
    create_connection_box();
    create_theme_box();
    create_sound_box();
    create_size_box();
    create_buttons();
    set_tab_order();
}

void TFormSettings::create_connection_box() {
    grConnection = Make<QGroupBox>(this, "grConnection", QRect(16, 8, 273, 177));
    grConnection->setTitle(QStringLiteral("Forbindelse"));
    cbProxy = MakeCaptioned<QCheckBox>(grConnection, "cbProxy", QStringLiteral("Brug &proxy"),
                                       QRect(24, 24, 0, 0));
    cbProxy->adjustSize(); // the toolkit's default size
    lbHost = MakeCaptioned<QLabel>(grConnection, "lbHost", QStringLiteral("Host"),
                                   QRect(24, 48, 49, 17));
    edHost = Make<QLineEdit>(grConnection, "edHost", QRect(56, 48, 193, 22));
    lbPort = MakeCaptioned<QLabel>(grConnection, "lbPort", QStringLiteral("Port"),
                                   QRect(24, 75, 49, 17));
    edPort = Make<QLineEdit>(grConnection, "edPort", QRect(56, 72, 193, 22));
    cbUseProxyUser =
        MakeCaptioned<QCheckBox>(grConnection, "cbUseProxyUser",
                                 QStringLiteral("Br&ug godkendelse"), QRect(24, 96, 201, 19));
    lbUserName = MakeCaptioned<QLabel>(grConnection, "lbUserName", QStringLiteral("Brugernavn"),
                                       QRect(56, 120, 73, 17));
    edUser = Make<QLineEdit>(grConnection, "edUser", QRect(144, 120, 105, 22));
    lbPassword = MakeCaptioned<QLabel>(grConnection, "lbPassword", QStringLiteral("Kode"),
                                       QRect(56, 146, 49, 17));
    edPassword = Make<QLineEdit>(grConnection, "edPassword", QRect(144, 144, 105, 22));
    edPassword->setEchoMode(QLineEdit::Password);
    connect(cbProxy, &QCheckBox::toggled, this, &TFormSettings::UpdateProxyControls);
    connect(cbUseProxyUser, &QCheckBox::toggled, this, &TFormSettings::UpdateProxyControls);
}

void TFormSettings::create_theme_box() {
    grColorThemes = Make<QGroupBox>(this, "grColorThemes", QRect(296, 8, 209, 177));
    grColorThemes->setTitle(QStringLiteral("Farve tema"));
    const auto makeTheme = [this](const char *name, const QString &caption, int top) {
        auto *button =
            MakeCaptioned<QRadioButton>(grColorThemes, name, caption, QRect(24, top, 177, 19));
        connect(button, &QRadioButton::toggled, this,
                [this, button](bool checked) { rbThemeSystemChange(button, checked); });
        return button;
    };
    rbThemeSystem = makeTheme("rbThemeSystem", QStringLiteral("&System"), 24);
    rbThemeLight = makeTheme("rbThemeLight", QStringLiteral("&Lys"), 48);
    rbThemeDark = makeTheme("rbThemeDark", QStringLiteral("Mø&rk"), 72);
    rbThemeLightHC = makeTheme("rbThemeLightHC", QStringLiteral("Lys med &høj kontrast"), 118);
    rbThemeDarkHC = makeTheme("rbThemeDarkHC", QStringLiteral("Mørk med høj &kontrast"), 142);
    auto *group = new QButtonGroup(this);
    group->setObjectName(QStringLiteral("ColorTheme"));
    for (QRadioButton *button :
         {rbThemeSystem, rbThemeLight, rbThemeDark, rbThemeLightHC, rbThemeDarkHC}) {
        group->addButton(button);
    }
}

void TFormSettings::create_sound_box() {
    grSound = Make<QGroupBox>(this, "grSound", QRect(16, 192, 273, 121));
    grSound->setTitle(QStringLiteral("Lyd indstillinger"));
    lbSpeed = MakeCaptioned<QLabel>(grSound, "lbSpeed", QStringLiteral("Læsehastighed"),
                                    QRect(25, 24, 112, 17));
    TrackSpeed = MakeTrack(grSound, "TrackSpeed", QRect(128, 25, 137, 19), 1, 10, 5);
    lbVolume =
        MakeCaptioned<QLabel>(grSound, "lbVolume", QStringLiteral("Volume"), QRect(25, 56, 64, 17));
    TrackVolume = MakeTrack(grSound, "TrackVolume", QRect(128, 57, 121, 19), 0, 20, 20);
    lbPitch =
        MakeCaptioned<QLabel>(grSound, "lbPitch", QStringLiteral("Pitch"), QRect(25, 88, 72, 17));
    TrackPitch = MakeTrack(grSound, "TrackPitch", QRect(128, 89, 121, 19), -1, 1, 0);
}

void TFormSettings::create_size_box() {
    grSize = Make<QGroupBox>(this, "grSize", QRect(296, 192, 209, 121));
    grSize->setTitle(QStringLiteral("Vindue størrelse"));
    rbSizeNormal = MakeCaptioned<QRadioButton>(grSize, "rbSizeNormal", QStringLiteral("&Normal"),
                                               QRect(24, 22, 177, 19));
    rbSizeMiddle = MakeCaptioned<QRadioButton>(grSize, "rbSizeMiddle", QStringLiteral("&Mellem"),
                                               QRect(24, 54, 177, 19));
    rbSizeLarge = MakeCaptioned<QRadioButton>(grSize, "rbSizeLarge", QStringLiteral("St&or"),
                                              QRect(24, 86, 177, 19));
    auto *group = new QButtonGroup(this);
    group->setObjectName(QStringLiteral("Size"));
    for (QRadioButton *button : {rbSizeNormal, rbSizeMiddle, rbSizeLarge}) {
        group->addButton(button);
        connect(button, &QRadioButton::toggled, this, &TFormSettings::ApplyWindowSize);
    }
}

void TFormSettings::create_buttons() {
    btDefault = MakeCaptioned<QPushButton>(this, "btDefault", QStringLiteral("&Standard"),
                                           QRect(16, 332, 73, 22));
    btSave =
        MakeCaptioned<QPushButton>(this, "btSave", QStringLiteral("&Gem"), QRect(341, 332, 73, 22));
    btCancel = MakeCaptioned<QPushButton>(this, "btCancel", QStringLiteral("&Fortryd"),
                                          QRect(430, 332, 73, 22));
    // Enter in an edit box presses no button: each button is pressed by its own
    // accelerator, by Space when it has the focus, or Esc for "&Fortryd".
    for (QPushButton *button : {btDefault, btSave, btCancel}) {
        button->setAutoDefault(false);
    }
    connect(btDefault, &QPushButton::clicked, this, &TFormSettings::btDefaultClick);
    connect(btSave, &QPushButton::clicked, this, [this] { done(kResultSave); });
    connect(btCancel, &QPushButton::clicked, this, [this] { done(kResultCancel); });
}

void TFormSettings::set_tab_order() {
    QWidget *const order[] = {cbProxy,     edHost,         edPort,        cbUseProxyUser,
                              edUser,      edPassword,     rbThemeSystem, rbThemeLight,
                              rbThemeDark, rbThemeLightHC, rbThemeDarkHC, TrackSpeed,
                              TrackVolume, TrackPitch,     rbSizeNormal,  rbSizeMiddle,
                              rbSizeLarge, btDefault,      btSave,        btCancel};
    for (std::size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

void TFormSettings::FormCreate() {
    FShown = false;
    setWindowTitle(windowTitle() + u' ' + GetAppVersion());
    AssignTags();
    FResizer = std::make_unique<TFormSettingsResizer>();
    FResizer->ReadDefaultPositions(this);
    FEditBoxFontService =
        std::make_shared<TEditBoxFontService>(FontPixelSize(edHost), edHost->font().family());
    AssignHints();
}

void TFormSettings::AssignTags() {
    const std::pair<QWidget *, int> tags[] = {
        {grConnection, 1260000},  {cbProxy, 10000},        {lbHost, 10001},
        {lbPort, 10002},          {cbUseProxyUser, 10003}, {lbUserName, 10004},
        {lbPassword, 10005},      {edHost, 10101},         {edPort, 10102},
        {edUser, 10104},          {edPassword, 10105},     {grSound, 5230006},
        {lbSpeed, 30000},         {TrackSpeed, 30100},     {lbVolume, 30001},
        {TrackVolume, 30101},     {lbPitch, 30002},        {TrackPitch, 30102},
        {grColorThemes, 6160300}, {rbThemeSystem, 20000},  {rbThemeLight, 20001},
        {rbThemeDark, 20002},     {rbThemeLightHC, 20003}, {rbThemeDarkHC, 20004},
        {grSize, 7130306},        {rbSizeNormal, 40000},   {rbSizeMiddle, 40001},
        {rbSizeLarge, 40002},     {btDefault, 2000009},    {btSave, 3000209},
        {btCancel, 4000309},
    };
    for (const auto &[control, tag] : tags) {
        SetLayoutTag(control, tag);
    }
}

void TFormSettings::AssignHints() {
    for (QAbstractButton *button : std::initializer_list<QAbstractButton *>{
             btDefault, btSave, btCancel, cbProxy, cbUseProxyUser, rbThemeSystem, rbThemeLight,
             rbThemeDark, rbThemeLightHC, rbThemeDarkHC, rbSizeNormal, rbSizeMiddle, rbSizeLarge}) {
        button->setToolTip(WithoutAmpersands(button->text()));
    }
    const std::pair<QLabel *, QWidget *> pairs[] = {
        {lbHost, edHost},         {lbPort, edPort},        {lbUserName, edUser},
        {lbPassword, edPassword}, {lbVolume, TrackVolume}, {lbSpeed, TrackSpeed},
        {lbPitch, TrackPitch},
    };
    for (const auto &[label, control] : pairs) {
        const QString caption = WithoutAmpersands(label->text());
        label->setToolTip(caption);
        control->setToolTip(caption);
        // A screen reader announces the control by the label that names it.
        label->setBuddy(control);
        control->setAccessibleName(caption);
    }
}

void TFormSettings::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (!FShown) {
        FormShow();
    }
}

void TFormSettings::FormShow() {
    cbProxy->setFocus();
    // A dialog enlarged for Middle or Large and centred over the main window may
    // stick out at the top or left of the screen.
    if (x() < 0) {
        move(0, y());
    }
    if (y() < 0) {
        move(x(), 0);
    }
    FShown = true;
}

void TFormSettings::reject() {
    done(kResultCancel);
}

void TFormSettings::UpdateProxyControls() {
    const bool proxy = cbProxy->isChecked();
    edHost->setEnabled(proxy);
    edPort->setEnabled(proxy);
    cbUseProxyUser->setEnabled(proxy);
    const bool user = proxy && cbUseProxyUser->isChecked();
    edUser->setEnabled(user);
    edPassword->setEnabled(user);
}

void TFormSettings::rbThemeSystemChange(QRadioButton *button, bool checked) {
    if (checked) {
        ApplyColorTheme(LayoutTag(button));
    }
}

void TFormSettings::ApplyColorTheme(int themeTag) {
    TEditBoxFontService::SetSystemThemeOFF(this);
    setStyleSheet(QString());
    const int theme = themeTag - kThemeSystemTag;
    const QString book = DmStyles != nullptr && theme >= 1 && theme <= 4
                             ? DmStyles->GetStyleBook(theme, GetCheckedWindowSize())
                             : QString();
    if (!book.isEmpty()) {
        setStyleSheet(book);
    } else {
        TEditBoxFontService::SetSystemThemeON(this, *FEditBoxFontService);
    }
}

void TFormSettings::ApplyWindowSize() {
    const int mode = GetCheckedWindowSize();
    FResizer->SetControlsSize(this, mode);
    FEditBoxFontService->SetWindowSizeMode(GetCheckedWindowSize());
    const int size = static_cast<int>(std::lround(FEditBoxFontService->GetDefaultFontSize()));
    for (QLineEdit *edit : {edHost, edPort, edPassword, edUser}) {
        QFont font = edit->font();
        font.setPixelSize(size);
        edit->setFont(font);
    }
    ApplyColorTheme(GetCheckedThemeTag());
}

int TFormSettings::GetCheckedWindowSize() const {
    if (rbSizeLarge->isChecked()) {
        return 2;
    }
    return rbSizeMiddle->isChecked() ? 1 : 0;
}

int TFormSettings::GetCheckedThemeTag() const {
    for (const QRadioButton *button : {rbThemeLight, rbThemeDark, rbThemeLightHC, rbThemeDarkHC}) {
        if (button->isChecked()) {
            return LayoutTag(button);
        }
    }
    return kThemeSystemTag;
}

void TFormSettings::SetValuesToControls(const TAppConfig &config) {
    cbProxy->setChecked(config.UseProxy);
    edHost->setText(config.Proxy_hostname);
    edPort->setText(config.Proxy_port);
    cbUseProxyUser->setChecked(config.Use_User);
    edUser->setText(config.Proxy_User);
    edPassword->setText(config.Proxy_Userpass);
    // The track bars keep their ranges: a value outside lands on the nearest end.
    TrackSpeed->setValue(config.Speed);
    TrackVolume->setValue(config.SoundVolume);
    TrackPitch->setValue(2 - config.SoundPitch);
    // Size before theme, so that the theme's book is the one of the final size.
    QRadioButton *sizes[] = {rbSizeNormal, rbSizeMiddle, rbSizeLarge};
    const int size = config.WindowSize == 1 || config.WindowSize == 2 ? config.WindowSize : 0;
    sizes[size]->setChecked(true);
    QRadioButton *themes[] = {rbThemeSystem, rbThemeLight, rbThemeDark, rbThemeLightHC,
                              rbThemeDarkHC};
    const int theme = config.ColorTheme >= 1 && config.ColorTheme <= 4 ? config.ColorTheme : 0;
    themes[theme]->setChecked(true);
    UpdateProxyControls();
}

void TFormSettings::SaveValuesFromControls(TAppConfig &dest) const {
    dest.UseProxy = cbProxy->isChecked();
    dest.Proxy_hostname = edHost->text();
    dest.Proxy_port = edPort->text();
    dest.Use_User = cbUseProxyUser->isChecked();
    dest.Proxy_User = edUser->text();
    dest.Proxy_Userpass = edPassword->text();
    dest.Speed = TrackSpeed->value();
    dest.SoundVolume = TrackVolume->value();
    dest.SoundPitch = 2 - TrackPitch->value();
    dest.WindowSize = GetCheckedWindowSize();
    dest.ColorTheme = GetCheckedThemeTag() - kThemeSystemTag;
}

void TFormSettings::btDefaultClick() {
    TrackSpeed->setValue(5);
    TrackVolume->setValue(20);
    TrackPitch->setValue(0);
    rbThemeSystem->setChecked(true);
    rbSizeNormal->setChecked(true);
}
