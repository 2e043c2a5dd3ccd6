#include "sv.FormSettingsResizer.h"

#include "sv.Exceptions.h"

#include <QGroupBox>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

constexpr const char *kTagProperty = "svLayoutTag";

// Rows: the control moves down by PY steps.
int RowMultiplier(int tag) {
    return tag % 100;
}
// Columns: the control moves right by PX steps.
int ColumnMultiplier(int tag) {
    return (tag % 10000) / 100;
}
// A group box grows by SH steps in height and SW steps in width.
int HeightMultiplier(int tag) {
    return (tag / 10000) % 10;
}
int WidthMultiplier(int tag) {
    return ((tag / 10000) % 100) / 10;
}

QSizeF SizeStep(int windowSizeMode) {
    switch (windowSizeMode) {
    case 1:
        return {9, 6};
    case 2:
        return {18, 12};
    default:
        return {0, 0};
    }
}

QList<QWidget *> DirectChildren(const QWidget *parent) {
    return parent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
}

// Whole numbers, halves to even (the default rounding mode).
int RoundHalfEven(double value) {
    return static_cast<int>(std::nearbyint(value));
}

} // namespace

void SetLayoutTag(QWidget *control, int tag) {
    control->setProperty(kTagProperty, tag);
}

int LayoutTag(const QWidget *control) {
    return control->property(kTagProperty).toInt();
}

TControlInfo TControlInfo::Create(double left, double top, double width, double height) {
    return {QSizeF(width, height), QPointF(left, top)};
}

void TFormSettingsResizer::ReadDefaultPositions(QWidget *fm) {
    FMap.clear();
    FDefaultFormSize = fm->size();
    read_children(fm);
}

void TFormSettingsResizer::read_children(const QWidget *parent) {
    for (const QWidget *child : DirectChildren(parent)) {
        const int tag = LayoutTag(child);
        if (tag == 0) {
            continue;
        }
        const QRect g = child->geometry();
        if (!FMap.emplace(tag, TControlInfo::Create(g.x(), g.y(), g.width(), g.height())).second) {
            throw Exception(
                QStringLiteral("Two different controls have same tag value=%1").arg(tag));
        }
        if (qobject_cast<const QGroupBox *>(child) != nullptr) {
            read_children(child);
        }
    }
}

void TFormSettingsResizer::SetControlsSize(QWidget *fm, int windowSizeMode) const {
    const QSizeF step = SizeStep(windowSizeMode);
    size_children(fm, step);

    double growX = 0;
    double growY = 0;
    for (const QWidget *child : DirectChildren(fm)) {
        const auto found = FMap.find(LayoutTag(child));
        if (LayoutTag(child) == 0 || found == FMap.end()) {
            continue;
        }
        const TControlInfo &design = found->second;
        const QRect g = child->geometry();
        growX = std::max(growX, (g.width() - design.Size.width()) + (g.x() - design.Pos.x()));
        growY = std::max(growY, (g.height() - design.Size.height()) + (g.y() - design.Pos.y()));
    }
    const QSize size(FDefaultFormSize.width() + RoundHalfEven(growX),
                     FDefaultFormSize.height() + RoundHalfEven(growY));
    if (fm->minimumSize() == fm->maximumSize()) {
        fm->setFixedSize(size);
    } else {
        fm->resize(size);
    }
}

void TFormSettingsResizer::size_children(QWidget *parent, QSizeF step) const {
    for (QWidget *child : DirectChildren(parent)) {
        const int tag = LayoutTag(child);
        if (tag == 0) {
            continue;
        }
        const auto found = FMap.find(tag);
        if (found != FMap.end()) {
            const TControlInfo &design = found->second;
            child->setGeometry(RoundHalfEven(design.Pos.x() + ColumnMultiplier(tag) * step.width()),
                               RoundHalfEven(design.Pos.y() + RowMultiplier(tag) * step.height()),
                               RoundHalfEven(design.Size.width() + step.width()),
                               RoundHalfEven(design.Size.height() + step.height()));
        }
        if (qobject_cast<QGroupBox *>(child) != nullptr) {
            size_children(child, step);
            if (found != FMap.end()) {
                const TControlInfo &design = found->second;
                child->resize(
                    RoundHalfEven(design.Size.width() + WidthMultiplier(tag) * step.width()),
                    RoundHalfEven(design.Size.height() + HeightMultiplier(tag) * step.height()));
            }
        }
    }
}
