// sv.ActionButton: a push button bound to an action. It takes its text, hint,
// enabled state and visibility from the action, follows the action's changes and
// triggers the action when clicked. Its key (Alt and the marked letter) clicks it at
// once: Qt's own handling animates the press and clicks only 100 ms later, which the
// user would hear as a slower start of the reading. Main thread.
#pragma once

#include <QPushButton>

class QAction;

class TActionButton final : public QPushButton {
public:
    explicit TActionButton(QWidget *parent = nullptr);
    void SetAction(QAction *action);

protected:
    bool event(QEvent *event) override;

private:
    void update_from_action();
    QAction *FAction = nullptr;
};
