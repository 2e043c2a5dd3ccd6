// sv.ActionButton: a push button bound to an action. It takes its text, hint,
// enabled state and visibility from the action, follows the action's changes and
// triggers the action when clicked. Main thread.
#pragma once

#include <QPushButton>

class QAction;

class TActionButton final : public QPushButton {
public:
    explicit TActionButton(QWidget *parent = nullptr);
    void SetAction(QAction *action);

private:
    void update_from_action();
    QAction *FAction = nullptr;
};
