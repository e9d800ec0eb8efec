// Geometry rules of the window (see window_layout.h). Pure functions.
#include "client/window_layout.h"

#include <algorithm>
#include <cmath>

namespace vantrel {
namespace {

// One axis of AnchoredRect: the start and length of a control along it.
void AnchorAxis(int& start, int& length, bool near_edge, bool far_edge, int growth) {
  if (near_edge && far_edge) {
    length += growth;
  } else if (far_edge) {
    start += growth;
  }
}

}  // namespace

QRect AnchoredRect(const QRect& design, Anchors anchors, QSize parent_design, QSize parent_now) {
  int left = design.left(), width = design.width(), top = design.top(), height = design.height();
  AnchorAxis(left, width, anchors & Anchor::Left, anchors & Anchor::Right, parent_now.width() - parent_design.width());
  AnchorAxis(top, height, anchors & Anchor::Top, anchors & Anchor::Bottom,
             parent_now.height() - parent_design.height());
  return QRect(left, top, std::max(width, 0), std::max(height, 0));
}

QRegion RoundRectRegion(QSize size, int diameter) {
  const int width = size.width(), height = size.height();
  if (width <= 0 || height <= 0) return {};
  const double radius = std::clamp(diameter, 0, std::min(width, height)) / 2.0;
  const int corner_rows = static_cast<int>(std::ceil(radius));
  QRegion region(0, corner_rows, width, std::max(height - 2 * corner_rows, 0));
  for (int row = 0; row < corner_rows; ++row) {
    // Columns cut off at each end of this row: pixel centres outside the ellipse.
    const double dy = radius - (row + 0.5);
    const double half_chord = std::sqrt(std::max(radius * radius - dy * dy, 0.0));
    const int inset = std::max(0, static_cast<int>(std::ceil(radius - half_chord - 0.5)));
    if (width - 2 * inset <= 0) continue;
    region += QRect(inset, row, width - 2 * inset, 1);
    region += QRect(inset, height - 1 - row, width - 2 * inset, 1);
  }
  return region;
}

QSize BoundWindowSize(QSize requested, QSize screen, bool connection_open) {
  if (!connection_open) return kDesignWindowSize;
  const auto bound = [](int value, int lower, int upper) {
    if (value < lower) return lower;
    return value > upper ? upper : value;
  };
  return {bound(requested.width(), kDesignWindowSize.width(), screen.width()),
          bound(requested.height(), kDesignWindowSize.height(), screen.height())};
}

bool InResizeCorner(QSize size, int x, int y) { return x >= size.width() - 20 && y > size.height() - 20; }

}  // namespace vantrel
