// sv.BlinkerThread: the status indicator. Shows "KLAR", "HENTER" (blinking: hidden
// and shown in turn every 500 ms) or "AFSPILLER" in the main window's status label.
// Threads: a thread of its own that only idles (started by the constructor, stopped
// by the destructor, at most 100 ms later); the state operations, the timer and its
// ticks belong to the main thread. The label is changed only through the synchronous
// hand-over to the main thread, so it is also safe from another thread.
#pragma once

#include <QString>
#include <QThread>

class QLabel;
class QTimer;

class TStatusBlinker final : public QThread {
public:
    explicit TStatusBlinker(QLabel *label);
    ~TStatusBlinker() override;

    TStatusBlinker(const TStatusBlinker &) = delete;
    TStatusBlinker &operator=(const TStatusBlinker &) = delete;

    void Activate();
    void DeActivate();
    void SetReady();
    void SetRetrieving();
    void SetPlaying();

    // The timer's tick; public so that tests can drive the phases without waiting.
    void OnTimer();

protected:
    void run() override;

private:
    void set_state(const QString &text, bool blinking);

    QLabel *FLabel;
    QString LabelText;
    bool Blinking = false;
    QTimer *Timer = nullptr;
    bool isOn = true;
};
