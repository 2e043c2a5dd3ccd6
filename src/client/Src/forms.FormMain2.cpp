#include "forms.FormMain2.h"

#include "forms.FormSettings.h"
#include "logfile.h"
#include "sv.ActionButton.h"
#include "sv.BlinkerThread.h"
#include "sv.BuildConfig.h"
#include "sv.DmStyles.h"
#include "sv.EditBoxFontService.h"
#include "sv.FormSettingsResizer.h"
#include "sv.Guard.h"
#include "sv.OSVersion.h"
#include "sv.ScreenPlacement.h"
#include "sv.SystemFolders.h"

#include <QAction>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace {

constexpr QSize kClientSize(184, 103);

QString WithoutAmpersands(QString text) { return text.remove(u'&'); }

// Wayland lets no program read or set its window's position.
bool CanPlaceWindows() {
    return !QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

} // namespace

TFormMain2::TFormMain2(QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    create_controls();
    FormCreate();
}

TFormMain2::~TFormMain2() { FormDestroy(); }

void TFormMain2::create_controls() {
    setWindowTitle(QString::fromUtf8(sv::build::kSiteHost));
    // The style books select the window by this property to paint its background.
    setProperty("svWindow", true);
    setAttribute(Qt::WA_StyledBackground);
    SetDesignedFont(this);
    setFixedSize(kClientSize);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        move(screen->geometry().center() - QPoint(width() / 2, height() / 2));
    }

    lbStatus = new QLabel(QStringLiteral("KLAR"), this);
    lbStatus->setObjectName(QStringLiteral("lbStatus"));
    lbStatus->setGeometry(44, 11, 96, 17);
    lbStatus->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QFont bold = lbStatus->font();
    bold.setBold(true);
    lbStatus->setFont(bold);

    ActionPlay = new QAction(QStringLiteral("&Afspil"), this);
    ActionStop = new QAction(QStringLiteral("Stop"), this);
    ActionSettings = new QAction(QStringLiteral("&Indstillinger"), this);
    connect(ActionPlay, &QAction::triggered, this, &TFormMain2::ActionPlayExecute);
    connect(ActionStop, &QAction::triggered, this, &TFormMain2::ActionStopExecute);
    connect(ActionSettings, &QAction::triggered, this, &TFormMain2::ActionSettingsExecute);

    const auto makeButton = [this](const char *name, QAction *action, QRect geometry) {
        auto *button = new TActionButton(this);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(geometry);
        button->SetAction(action);
        return button;
    };
    btPlay = makeButton("btPlay", ActionPlay, QRect(8, 39, 80, 22));
    btStop = makeButton("btStop", ActionStop, QRect(96, 39, 80, 22));
    btConfig = makeButton("btConfig", ActionSettings, QRect(52, 72, 80, 22));
    setTabOrder(btPlay, btStop);
    setTabOrder(btStop, btConfig);
}

void TFormMain2::FormCreate() {
    LogLine(QStringLiteral("FormCreate.start"));
    FStatusLab = std::make_unique<TStatusBlinker>(lbStatus);
    FStatusLab->Activate();
    FIsInitialized = false;
    assign_tags();
    FResizer = std::make_unique<TFormSettingsResizer>();
    FResizer->ReadDefaultPositions(this);
    FEditBoxFontService =
        std::make_shared<TEditBoxFontService>(FontPixelSize(btPlay), btPlay->font().family());
    FConfig = TAppConfig::LoadSettings(SystemFolders::SettingsFolder(),
                                       SystemFolders::SoundFileFolder());
    // Reading control: the HTTP client factory is created here from a copy of FConfig.
    FEditBoxFontService->SetWindowSizeMode(FConfig.WindowSize);
    refresh_view();
    assign_hints();
    LogLine(QStringLiteral("FormCreate.end"));
}

void TFormMain2::showEvent(QShowEvent *event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        FormShow();
    }
}

void TFormMain2::FormShow() {
    // Reading control: the holder of the four pipeline functions is created here.
    LogLine(QStringLiteral("FormShow.start"));
    RunGuarded(QStringLiteral("FormShow"), [this] {
        btPlay->setFocus();
        FOSVer = GetOSDescription();
        if (!FIsInitialized) {
            safe_set_form_x_y(FConfig.MainFormX, FConfig.MainFormY);
            // Reading control: client id (then SaveSettings), downloader, retriever,
            // player with its end-of-file notification, and the volume.
            FIsInitialized = true;
        }
    });
    LogLine(QStringLiteral("FormShow.end"));
}

void TFormMain2::safe_set_form_x_y(int x, int y) {
    LogLine(QStringLiteral("safe_set_form_x_y:%1 %2").arg(x).arg(y));
    if (!CanPlaceWindows()) {
        return;
    }
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens()) {
        screens.append(screen->geometry());
    }
    if (IsPlacementVisible(QPoint(x, y), frameGeometry().size(), screens)) {
        move(x, y);
    }
}

void TFormMain2::assign_hints() {
    for (QAction *action : {ActionPlay, ActionStop, ActionSettings}) {
        action->setToolTip(WithoutAmpersands(action->text()));
    }
    lbStatus->setToolTip(WithoutAmpersands(lbStatus->text()));
}

void TFormMain2::closeEvent(QCloseEvent *event) {
    bool canClose = true;
    FormCloseQuery(canClose);
    event->setAccepted(canClose);
    if (canClose) {
        Q_EMIT Closed();
    }
}

void TFormMain2::FormCloseQuery(bool &canClose) {
    RunGuarded(QStringLiteral("FormCloseQuery"), [this] {
        if (CanPlaceWindows()) {
            FConfig.MainFormX = x();
            FConfig.MainFormY = y();
        }
        TAppConfig::SaveSettings(FConfig);
    });
    // The releases run even when the save failed, so that no thread outlives the window.
    release_objects();
    canClose = true;
}

void TFormMain2::release_objects() {
    RunGuarded(QStringLiteral("FormCloseQuery"), [this] {
        if (FStatusLab) {
            FStatusLab->DeActivate();
            FStatusLab.reset();
        }
        // Reading control: release the retriever, then the player; empty the sound-file folder.
    });
}

void TFormMain2::FormDestroy() {
    LogLine(QStringLiteral("FormDestroy.start"));
    FResizer.reset();
    // Reading control: the HTTP client factory is destroyed here.
    LogLine(QStringLiteral("FormDestroy.end"));
}

void TFormMain2::ActionPlayExecute() {
    // Reading control: capture the marked text and start a reading.
}

void TFormMain2::ActionStopExecute() {
    // Reading control: stop playback, show ready, empty the sound-file folder.
}

void TFormMain2::assign_tags() {
    LogLine(QStringLiteral("assign_tags"));
    SetLayoutTag(lbStatus, 990100);
    SetLayoutTag(btPlay, 990001);
    SetLayoutTag(btStop, 990201);
    SetLayoutTag(btConfig, 990102);
}

// Lays the window out for FConfig's window size, then gives it the style book of
// FConfig's theme and size. An unknown theme shows the System look; an unknown size
// lays out and styles as Normal. A window grown past the screen's edge stays where it
// is: the next start's position check brings it back.
void TFormMain2::refresh_view() {
    LogLine(QStringLiteral("refresh_view"));
    FResizer->SetControlsSize(this, FConfig.WindowSize);
    const QString book = DmStyles != nullptr
                             ? DmStyles->GetStyleBook(FConfig.ColorTheme, FConfig.WindowSize)
                             : QString();
    if (!book.isEmpty()) {
        setStyleSheet(book);
        TEditBoxFontService::SetSystemThemeOFF(this);
    } else {
        setStyleSheet(QString());
        TEditBoxFontService::SetSystemThemeON(this, *FEditBoxFontService);
    }
}

// Opens the settings dialog, modal to this window, without waiting for it here: the
// rest runs in settings_dialog_finished when the dialog ends.
void TFormMain2::ActionSettingsExecute() {
    LogLine(QStringLiteral("ActionSettingsExecute.start"));
    if (FSettingsDialog != nullptr) {
        FSettingsDialog->activateWindow();
        return;
    }
    const bool opened = RunGuarded(QStringLiteral("ActionSettingsExecute"), [this] {
        auto dialog = std::make_unique<TFormSettings>(this);
        dialog->SetValuesToControls(FConfig);
        connect(dialog.get(), &QDialog::finished, this, &TFormMain2::settings_dialog_finished);
        FSettingsDialog = dialog.release();
        FSettingsDialog->open();
    });
    if (!opened) {
        LogLine(QStringLiteral("ActionSettingsExecute.end"));
    }
}

// Only "&Gem" (result 1) changes anything: the dialog writes into FConfig, which
// reaches the file when the window closes. The dialog goes whatever the result.
void TFormMain2::settings_dialog_finished(int result) {
    TFormSettings *dialog = FSettingsDialog;
    FSettingsDialog = nullptr;
    if (dialog == nullptr) {
        return;
    }
    RunGuarded(QStringLiteral("ActionSettingsExecute"), [this, dialog, result] {
        if (result != TFormSettings::kResultSave) {
            return;
        }
        dialog->SaveValuesFromControls(FConfig);
        // Reading control: give the HTTP client factory the new settings here
        // (FHttpCreator->UpdateConfig(FConfig)).
        FEditBoxFontService->SetWindowSizeMode(FConfig.WindowSize);
        refresh_view();
        // Reading control: apply the volume here (apply_volume).
    });
    dialog->deleteLater(); // it is still emitting finished
    LogLine(QStringLiteral("ActionSettingsExecute.end"));
}
