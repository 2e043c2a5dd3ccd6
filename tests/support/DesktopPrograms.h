// DesktopPrograms: separate programs on the X server of scripts/test-env, driven as a user
// drives them: through xdotool (window activation, XTest keys and clicks) and the window
// manager (openbox closes the active window on Alt+F4).
//  - TMarkedTextWindow: another program's window in which the user has marked text; it shows
//    the text marked and owns the primary selection with it (tests/support/marked_text_window).
//  - TSonavikProgram: the program under test, run from its binary with the environment of the
//    test process (its settings home, service URL and log file come from there), on xcb.
// Main test thread.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

// Runs xdotool with the arguments and returns what it printed (empty on failure).
QByteArray Xdotool(const QStringList &arguments);

class TMarkedTextWindow final {
public:
    // Starts the helper window with the text and waits until it is shown and owns the selection.
    TMarkedTextWindow(const QString &binary, const QString &text);
    ~TMarkedTextWindow();
    TMarkedTextWindow(const TMarkedTextWindow &) = delete;
    TMarkedTextWindow &operator=(const TMarkedTextWindow &) = delete;

    [[nodiscard]] QString WindowId() const { return FWindowId; }

private:
    QProcess FProcess;
    QString FWindowId;
};

class TSonavikProgram final {
public:
    // Starts the program and waits until its window is shown and its first showing is done
    // (the client id fetched at a first start is then saved).
    TSonavikProgram(const QString &binary, QString logFile);
    ~TSonavikProgram();
    TSonavikProgram(const TSonavikProgram &) = delete;
    TSonavikProgram &operator=(const TSonavikProgram &) = delete;

    [[nodiscard]] QString WindowId() const { return FWindowId; }
    [[nodiscard]] bool Running() const { return FProcess.state() == QProcess::Running; }

    // Makes the window the active one (the user clicks into it).
    void Activate() const;
    // Focuses the window and presses Alt+A, the play button's key.
    void PressPlay();
    // Clicks the Stop button (it has no key).
    void ClickStop();
    // Closes the window through the window manager and waits for the program to end.
    // Returns its exit code, or -1 if it crashed or had not ended after a minute.
    int Close();

    [[nodiscard]] QString Log() const;
    // Waits until the log holds the text (true) or a minute has passed (false).
    bool WaitForLog(const QString &text) const;

private:
    QString FLogFile;
    QProcess FProcess;
    QString FWindowId;
};
