// sv.FormSettingsResizer: lays a window out for one of the three window sizes
// (Normal, Middle, Large) from the layout tags of its controls. A tag's decimal
// digits say by how many size steps a control moves right and down and, for a group
// box, by how many steps it grows; 0 means the control takes no part. The designed
// geometry is recorded once and every layout is computed from it. Main thread only.
#pragma once

#include <QPointF>
#include <QSize>
#include <QSizeF>

#include <map>

class QWidget;

// The layout tag of a control, kept as a dynamic property; 0 when it has none.
void SetLayoutTag(QWidget *control, int tag);
[[nodiscard]] int LayoutTag(const QWidget *control);

// The designed geometry of one tagged control, relative to its parent.
struct TControlInfo {
    QSizeF Size;
    QPointF Pos;

    static TControlInfo Create(double left, double top, double width, double height);
};

class TFormSettingsResizer final {
public:
    TFormSettingsResizer() = default;

    // Records the designed geometry of every tagged control and the window's size.
    // Raises "Two different controls have same tag value=<tag>" for a duplicate tag.
    void ReadDefaultPositions(QWidget *fm);
    // Lays the window out for windowSizeMode (0 Normal, 1 Middle, 2 Large; any
    // other number Normal) and enlarges it so that every tagged control fits.
    void SetControlsSize(QWidget *fm, int windowSizeMode) const;

private:
    void read_children(const QWidget *parent);
    void size_children(QWidget *parent, QSizeF step) const;

    std::map<int, TControlInfo> FMap;
    // The window's size as designed. The frame is the same in every size, so growing
    // the client area by an amount grows the outer size by the same amount.
    QSize FDefaultFormSize;
};
