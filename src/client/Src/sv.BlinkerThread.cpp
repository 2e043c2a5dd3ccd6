#include "sv.BlinkerThread.h"

#include "sv.MainThread.h"

#include <QLabel>
#include <QTimer>

namespace {
constexpr int kTickMs = 500;
constexpr int kIdleMs = 100;
} // namespace

TStatusBlinker::TStatusBlinker(QLabel *label) : FLabel(label) { start(); }

TStatusBlinker::~TStatusBlinker() {
    delete Timer;
    requestInterruption();
    wait();
}

void TStatusBlinker::run() {
    while (!isInterruptionRequested()) {
        msleep(kIdleMs);
    }
}

void TStatusBlinker::Activate() {
    Timer = new QTimer();
    QObject::connect(Timer, &QTimer::timeout, Timer, [this] { OnTimer(); });
    Timer->setInterval(kTickMs);
    Timer->start();
    Blinking = false;
    isOn = true;
}

void TStatusBlinker::DeActivate() {
    delete Timer;
    Timer = nullptr;
}

void TStatusBlinker::SetReady() { set_state(QStringLiteral("KLAR"), false); }
void TStatusBlinker::SetRetrieving() { set_state(QStringLiteral("HENTER"), true); }
void TStatusBlinker::SetPlaying() { set_state(QStringLiteral("AFSPILLER"), false); }

void TStatusBlinker::set_state(const QString &text, bool blinking) {
    LabelText = text;
    Blinking = blinking;
    MainThread::Synchronize([this] { FLabel->setText(LabelText); });
}

void TStatusBlinker::OnTimer() {
    isOn = Blinking ? !isOn : true;
    MainThread::Synchronize([this] { FLabel->setVisible(isOn); });
}
