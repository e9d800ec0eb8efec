// The window's geometry rules as plain functions: anchoring a control to its
// parent's edges, the rounded clip region, the size bounds of the window and
// the resize corner of the lower-right frame picture. No widgets are touched
// here; all values are pixels at 96 dots per inch.
#pragma once

#include <QFlags>
#include <QRect>
#include <QRegion>
#include <QSize>

namespace vantrel {

// The window's size while no device is connected, and its smallest size.
inline constexpr QSize kDesignWindowSize{460, 360};

// The parent edges a control keeps its distance to when the parent's size changes.
enum class Anchor { Left = 1, Top = 2, Right = 4, Bottom = 8 };
Q_DECLARE_FLAGS(Anchors, Anchor)
Q_DECLARE_OPERATORS_FOR_FLAGS(Anchors)
inline constexpr Anchors kLeftTop = Anchors(Anchor::Left) | Anchor::Top;

// Where a control designed at `design` inside a parent of `parent_design` size
// lies when the parent is `parent_now`: anchored to one edge it moves with that
// edge, anchored to both it stretches; otherwise it keeps its place.
QRect AnchoredRect(const QRect& design, Anchors anchors, QSize parent_design, QSize parent_now);

// A rectangle of `size` with corners rounded by ellipses of `diameter` x
// `diameter`; a pixel belongs to it when its centre lies inside the shape.
QRegion RoundRectRegion(QSize size, int diameter);

// The window size that a request becomes: the design size while no connection
// is open, otherwise each side bounded below by the design size and then above
// by the screen (the lower bound wins where both apply).
QSize BoundWindowSize(QSize requested, QSize screen, bool connection_open);

// True for the pointer positions of the resize corner of a frame picture of
// `size`: the 20 right-most columns and the 19 lowest rows.
bool InResizeCorner(QSize size, int x, int y);

}  // namespace vantrel
