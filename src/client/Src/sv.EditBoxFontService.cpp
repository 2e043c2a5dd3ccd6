#include "sv.EditBoxFontService.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QStyle>

#include <cmath>
#include <functional>
#include <utility>

namespace {

// Labels, buttons, check boxes, radio buttons and group boxes show a caption in
// their own font; edit boxes and track bars do not.
bool IsTextPresenting(const QWidget *control) {
    return qobject_cast<const QLabel *>(control) != nullptr ||
           qobject_cast<const QAbstractButton *>(control) != nullptr ||
           qobject_cast<const QGroupBox *>(control) != nullptr;
}

// Visits the text-presenting direct children of fm and of its group boxes, in child order.
void ForEachCaption(QWidget *fm, const std::function<void(QWidget *)> &step) {
    const auto children = fm->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget *child : children) {
        if (IsTextPresenting(child)) {
            step(child);
        }
        if (qobject_cast<QGroupBox *>(child) != nullptr) {
            const auto inner =
                child->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
            for (QWidget *grandChild : inner) {
                if (IsTextPresenting(grandChild)) {
                    step(grandChild);
                }
            }
        }
    }
}

// The style sheets select on the property: the control must be polished again.
void SetStyleFontSize(QWidget *control, bool fromStyle) {
    control->setProperty(TEditBoxFontService::kStyleFontSizeProperty, fromStyle);
    control->style()->unpolish(control);
    control->style()->polish(control);
    control->update();
}

} // namespace

void SetDesignedFont(QWidget *window) {
    QFont font = QApplication::font();
    font.setPixelSize(kDesignedFontPixelSize);
    window->setFont(font);
}

float FontPixelSize(const QWidget *control) {
    const QFont &font = control->font();
    if (font.pixelSize() > 0) {
        return static_cast<float>(font.pixelSize());
    }
    return static_cast<float>(QFontInfo(font).pixelSize());
}

TEditBoxFontService::TEditBoxFontService(float defaultEditBoxFontSize, QString fontFamilyName)
    : FDefaultEditBoxFontSize(defaultEditBoxFontSize),
      FCurrentEditBoxFontSize(defaultEditBoxFontSize), FFontFamilyName(std::move(fontFamilyName)) {}

void TEditBoxFontService::SetWindowSizeMode(int windowSize) {
    switch (windowSize) {
    case 1:
        FCurrentEditBoxFontSize = FDefaultEditBoxFontSize + 2;
        break;
    case 2:
        FCurrentEditBoxFontSize = FDefaultEditBoxFontSize + 4;
        break;
    default:
        FCurrentEditBoxFontSize = FDefaultEditBoxFontSize;
        break;
    }
}

void TEditBoxFontService::SetSystemThemeON(QWidget *fm, const ISystemFontService &sfs) {
    const int size = static_cast<int>(std::lround(sfs.GetDefaultFontSize()));
    ForEachCaption(fm, [size](QWidget *control) {
        SetStyleFontSize(control, false);
        QFont font = control->font();
        font.setPixelSize(size);
        control->setFont(font);
    });
}

void TEditBoxFontService::SetSystemThemeOFF(QWidget *fm) {
    ForEachCaption(fm, [](QWidget *control) { SetStyleFontSize(control, true); });
}
