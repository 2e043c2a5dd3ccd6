// forms.FormMain2: the program's one window. A small tool window that stays on top
// with the status label and the Play, Stop and Settings buttons. It owns every
// long-lived object and fixes the order of every start-up and shut-down step:
// FormCreate (constructor), FormShow (each showing), FormCloseQuery (closing),
// FormDestroy (destructor). Main thread only.
#pragma once

#include "sv.AppConfig.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class QAction;
class QLabel;
class TActionButton;
class ITextCapture;
class THttpCreator;
class TReadingFunctions;
class TRetriever;
class TStatusBlinker;
class TSVKPLayer;
class TEditBoxFontService;
class TFormSettings;
class TFormSettingsResizer;

class TFormMain2 final : public QWidget {
    Q_OBJECT

public:
    // Runs FormCreate; raises when the settings folders cannot be made.
    explicit TFormMain2(QWidget *parent = nullptr);
    ~TFormMain2() override;

    TFormMain2(const TFormMain2 &) = delete;
    TFormMain2 &operator=(const TFormMain2 &) = delete;

    [[nodiscard]] const TAppConfig &Config() const { return FConfig; }
    [[nodiscard]] bool IsInitialized() const { return FIsInitialized; }
    [[nodiscard]] TStatusBlinker *StatusIndicator() const { return FStatusLab.get(); }
    [[nodiscard]] TSVKPLayer *Player() const { return FPlayer.get(); }

    QLabel *lbStatus = nullptr;
    TActionButton *btPlay = nullptr;
    TActionButton *btStop = nullptr;
    TActionButton *btConfig = nullptr;
    QAction *ActionPlay = nullptr;
    QAction *ActionStop = nullptr;
    QAction *ActionSettings = nullptr;

Q_SIGNALS:
    // The window has closed: the program ends.
    void Closed();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void create_controls();
    void FormCreate();
    void FormShow();
    void FormCloseQuery(bool &canClose);
    void FormDestroy();
    void ActionPlayExecute();
    void ActionStopExecute();
    void ActionSettingsExecute();
    void assign_hints();
    void safe_set_form_x_y(int x, int y);
    void release_objects();
    void assign_tags();
    void refresh_view();
    void settings_dialog_finished(int result);
    void create_reading_objects();
    void publish_request_values();
    void process_retriever_command(int action, const QString &data);
    void handle_retriever_command(int action, const QString &data);
    void ReadyToPlay();
    void apply_volume();

    std::unique_ptr<TStatusBlinker> FStatusLab;
    std::unique_ptr<TRetriever> FRetriever;
    std::unique_ptr<TSVKPLayer> FPlayer;
    bool FIsInitialized = false;
    TAppConfig FConfig;
    QString FOSVer;
    std::unique_ptr<TFormSettingsResizer> FResizer;
    std::shared_ptr<TEditBoxFontService> FEditBoxFontService;
    // The open settings dialog, until it has ended.
    QPointer<TFormSettings> FSettingsDialog;
    // Shared with the functions handed to pool threads, so that a late download
    // never meets a destroyed factory.
    std::shared_ptr<THttpCreator> FHttpCreator;
    std::unique_ptr<TReadingFunctions> FFunctions;
    std::unique_ptr<ITextCapture> FTextCapture;
    // Set once closing has begun releasing: late notifications and reports do nothing.
    bool FClosing = false;
    // Set by Play until the new reading's first report has been handled: the old
    // file's end then asks for no next file, so it cannot take the new first part.
    bool FAwaitingFirstReport = false;
};
