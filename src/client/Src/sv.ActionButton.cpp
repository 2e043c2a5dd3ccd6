#include "sv.ActionButton.h"

#include <QAction>
#include <QShortcutEvent>

TActionButton::TActionButton(QWidget *parent) : QPushButton(parent) {
    connect(this, &QPushButton::clicked, this, [this] {
        if (FAction != nullptr) {
            FAction->trigger();
        }
    });
}

void TActionButton::SetAction(QAction *action) {
    FAction = action;
    connect(action, &QAction::changed, this, &TActionButton::update_from_action);
    update_from_action();
}

void TActionButton::update_from_action() {
    setText(FAction->text());
    setToolTip(FAction->toolTip());
    setEnabled(FAction->isEnabled());
    setVisible(FAction->isVisible());
}

bool TActionButton::event(QEvent *event) {
    if (event->type() == QEvent::Shortcut && isEnabled() &&
        !static_cast<QShortcutEvent *>(event)->isAmbiguous()) {
        setFocus(Qt::ShortcutFocusReason);
        click();
        return true;
    }
    return QPushButton::event(event);
}
