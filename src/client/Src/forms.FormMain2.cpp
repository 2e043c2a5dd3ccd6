#include "forms.FormMain2.h"

#include "forms.FormSettings.h"
#include "logfile.h"
#include "sv.ActionButton.h"
#include "sv.BlinkerThread.h"
#include "sv.BuildConfig.h"
#include "sv.DmStyles.h"
#include "sv.EditBoxFontService.h"
#include "sv.Exceptions.h"
#include "sv.FormSettingsResizer.h"
#include "sv.GetText.h"
#include "sv.Guard.h"
#include "sv.HttpCreator.h"
#include "sv.MainThread.h"
#include "sv.OSVersion.h"
#include "sv.ReadingFunctions.h"
#include "sv.RequestsToServer.h"
#include "sv.Retriever.h"
#include "sv.SVKPlayerThread.h"
#include "sv.ScreenPlacement.h"
#include "sv.SystemFolders.h"
#include "sv.Utils.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include <algorithm>

namespace {

constexpr QSize kClientSize(184, 103);

// Blank: nothing left once characters of code 32 and below are taken off both ends.
bool IsBlank(const QString &text) {
    return std::all_of(text.begin(), text.end(), [](QChar ch) { return ch.unicode() <= 32; });
}

QString WithoutAmpersands(QString text) {
    return text.remove(u'&');
}

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

TFormMain2::~TFormMain2() {
    FormDestroy();
}

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
    FConfig =
        TAppConfig::LoadSettings(SystemFolders::SettingsFolder(), SystemFolders::SoundFileFolder());
    FHttpCreator = std::make_shared<THttpCreator>(FConfig);
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
    FFunctions = std::make_unique<TReadingFunctions>(FHttpCreator, ServiceBaseUrl());
    LogLine(QStringLiteral("FormShow.start"));
    RunGuarded(QStringLiteral("FormShow"), [this] {
        btPlay->setFocus();
        FOSVer = GetOSDescription();
        publish_request_values();
        if (!FIsInitialized) {
            safe_set_form_x_y(FConfig.MainFormX, FConfig.MainFormY);
            if (FConfig.AppUid.isEmpty()) {
                // On the main thread by design: the window waits for its client id.
                FConfig.AppUid = TRequestsToServer::GetUniqueID(FFunctions->HttpCreatorFunction(),
                                                                ServiceBaseUrl());
                publish_request_values();
                TAppConfig::SaveSettings(FConfig);
            }
            create_reading_objects();
            FIsInitialized = true;
        }
    });
    LogLine(QStringLiteral("FormShow.end"));
}

// Downloader, retriever and player. What an earlier failed attempt made is released
// first, so a repeated attempt never leaves a second player thread.
void TFormMain2::create_reading_objects() {
    FRetriever.reset();
    if (FPlayer) {
        FPlayer->DeActivate();
        FPlayer.reset();
    }
    auto downloader = std::make_shared<TDownloader>(
        FConfig.TempFilePath, FFunctions->SendTextFunction(), FFunctions->GetSoundFileFunction());
    FRetriever = std::make_unique<TRetriever>(
        downloader, [this](TRetriever::TActionKind action, const QString &text) {
            process_retriever_command(static_cast<int>(action), text);
        });
    FPlayer = std::make_unique<TSVKPLayer>();
    FPlayer->Activate();
    FPlayer->SetOnReadyForNewFile([this](QObject *) { ReadyToPlay(); });
    apply_volume();
}

// The values the send-text function reads on pool threads, handed over whole.
void TFormMain2::publish_request_values() {
    FFunctions->SetRequestValues({FConfig.AppUid, FConfig.SoundPitch, FOSVer});
}

void TFormMain2::apply_volume() {
    FPlayer->SetSoundVolume(static_cast<float>(FConfig.SoundVolume) / 20.0F);
}

// Called on the thread the retriever reports from: only posts the report.
void TFormMain2::process_retriever_command(int action, const QString &data) {
    LogLine(QStringLiteral("process_retriever_command: %1 %2").arg(action).arg(data));
    MainThread::Queue([this, action, data] { handle_retriever_command(action, data); }, this);
}

void TFormMain2::handle_retriever_command(int action, const QString &data) {
    if (FClosing) {
        return;
    }
    FAwaitingFirstReport = false;
    const QString context =
        QStringLiteral("process_retriever_command: %1 %2").arg(action).arg(data);
    const bool playFile = action == static_cast<int>(TRetriever::TActionKind::PLAY_FILE);
    const bool handled = RunGuarded(context, [this, playFile, data] {
        if (playFile) {
            if (QFileInfo::exists(data)) {
                FPlayer->SetFile(data);
                FPlayer->Play();
                FStatusLab->SetPlaying();
            }
        } else {
            FPlayer->Stop();
            FStatusLab->SetReady();
        }
    });
    if (!handled && playFile) {
        RunGuarded(context, [this] { FRetriever->StartToPlayNextFile(); }); // skip that file
    }
}

void TFormMain2::ReadyToPlay() {
    if (FClosing) {
        return;
    }
    LogLine(QStringLiteral("ReadyToPlay.start"));
    RunGuarded(QStringLiteral("ReadyToPlay"), [this] {
        if (!FAwaitingFirstReport) {
            FRetriever->StartToPlayNextFile();
        }
    });
    LogLine(QStringLiteral("ReadyToPlay.end"));
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

// Each release runs in a guard of its own, so one failing never keeps a thread alive.
void TFormMain2::release_objects() {
    FClosing = true;
    const QString context = QStringLiteral("FormCloseQuery");
    RunGuarded(context, [this] {
        if (FStatusLab) {
            FStatusLab->DeActivate();
            FStatusLab.reset();
        }
    });
    RunGuarded(context, [this] { FRetriever.reset(); });
    RunGuarded(context, [this] {
        if (FPlayer) {
            FPlayer->DeActivate();
            FPlayer.reset();
        }
    });
    RunGuarded(context, [this] { DeleteFilesInFolder(FConfig.TempFilePath); });
}

void TFormMain2::FormDestroy() {
    LogLine(QStringLiteral("FormDestroy.start"));
    FResizer.reset();
    FHttpCreator.reset();
    LogLine(QStringLiteral("FormDestroy.end"));
}

void TFormMain2::ActionPlayExecute() {
    LogLine(QStringLiteral("ActionPlayExecute.start"));
    QString text;
    RunGuarded(QStringLiteral("ActionPlayExecute"), [this, &text] {
        if (!FTextCapture) {
            FTextCapture = CreateTextCapture();
        }
        text = FTextCapture->GetSelectedText();
        if (IsBlank(text)) {
            return;
        }
        if (!FRetriever) {
            throw Exception(QStringLiteral("The reading objects were not created"));
        }
        FStatusLab->SetRetrieving();
        FAwaitingFirstReport = true;
        FRetriever->Start(text, FConfig.Speed); // the text as captured, untrimmed
    });
    LogLine(QStringLiteral("ActionPlayExecute.end ") + text);
}

// Stop does not reach the retriever: a reading still being fetched goes on.
void TFormMain2::ActionStopExecute() {
    LogLine(QStringLiteral("ActionStopExecute.start"));
    RunGuarded(QStringLiteral("ActionStopExecute"), [this] {
        if (!FPlayer) {
            throw Exception(QStringLiteral("The player was not created"));
        }
        FPlayer->Stop();
        FStatusLab->SetReady();
        DeleteFilesInFolder(FConfig.TempFilePath);
    });
    LogLine(QStringLiteral("ActionStopExecute.end"));
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
        FHttpCreator->UpdateConfig(FConfig);
        publish_request_values();
        FEditBoxFontService->SetWindowSizeMode(FConfig.WindowSize);
        refresh_view();
        if (FPlayer) {
            apply_volume();
        }
    });
    dialog->deleteLater(); // it is still emitting finished
    LogLine(QStringLiteral("ActionSettingsExecute.end"));
}
