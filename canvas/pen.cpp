#include "canvas/pen.h"

#include <algorithm>
#include <cstdint>
#include <opencv2/imgproc.hpp>

#include "canvas/mask_steps.h"
#include "canvas/workspace.h"
#include "palette/palette.h"

namespace scribeline {

void paintPenDisc(cv::Mat& mask, cv::Point centre, int radius, int label) {
  cv::circle(mask, centre, radius, labelColor(label), cv::FILLED, cv::LINE_4);
}

void paintPenLine(cv::Mat& mask, cv::Point from, cv::Point to, int radius,
                  int label) {
  const cv::Scalar colour = labelColor(label);
  const cv::Vec3b paint(static_cast<uchar>(colour[0]),
                        static_cast<uchar>(colour[1]),
                        static_cast<uchar>(colour[2]));
  const cv::Point first(std::min(from.x, to.x) - radius,
                        std::min(from.y, to.y) - radius);
  const cv::Point last(std::max(from.x, to.x) + radius,
                       std::max(from.y, to.y) + radius);
  const cv::Rect box =
      cv::Rect(first, last + cv::Point(1, 1)) & cv::Rect({0, 0}, mask.size());
  // Exact in 64-bit integers: the squared distance of (x, y) to the
  // segment, scaled by its squared length, against radius^2 scaled alike.
  const std::int64_t dx = to.x - from.x, dy = to.y - from.y;
  const std::int64_t length2 = dx * dx + dy * dy;
  const std::int64_t r2 = std::int64_t{radius} * radius;
  for (int y = box.y; y < box.y + box.height; ++y) {
    cv::Vec3b* row = mask.ptr<cv::Vec3b>(y);
    for (int x = box.x; x < box.x + box.width; ++x) {
      const std::int64_t vx = x - from.x, vy = y - from.y;
      const std::int64_t along = vx * dx + vy * dy;
      bool inside;
      if (along <= 0) {
        inside = vx * vx + vy * vy <= r2;
      } else if (along >= length2) {
        const std::int64_t wx = x - to.x, wy = y - to.y;
        inside = wx * wx + wy * wy <= r2;
      } else {
        const std::int64_t across = vx * dy - vy * dx;
        inside = across * across <= r2 * length2;
      }
      if (inside) row[x] = paint;
    }
  }
}

namespace {

// The pixels a disc at `centre` and the line from `from` may paint.
cv::Rect penReach(cv::Point centre, cv::Point from, int radius) {
  const cv::Point margin(radius + 1, radius + 1);
  return cv::Rect(centre - margin, centre + margin) |
         cv::Rect(from - margin, from + margin);
}

}  // namespace

void PenTool::onMouse(Workspace& workspace, int event, cv::Point point, int) {
  switch (event) {
    case kLeftButtonDown:
      if (dragging_) return;
      dragging_ = true;
      paintPenDisc(workspace.mask, point, workspace.penRadius,
                   workspace.currentLabel);
      announceMaskPaint(workspace, penReach(point, point, workspace.penRadius));
      penLastPoint_ = point;
      return;
    case kMouseMove:
      if (!dragging_) return;
      paintPenDisc(workspace.mask, point, workspace.penRadius,
                   workspace.currentLabel);
      paintPenLine(workspace.mask, point, penLastPoint_, workspace.penRadius,
                   workspace.currentLabel);
      announceMaskPaint(workspace,
                        penReach(point, penLastPoint_, workspace.penRadius));
      penLastPoint_ = point;
      return;
    case kLeftButtonUp:
      if (dragging_) endDrag(workspace);
      return;
    default:
      return;
  }
}

int PenTool::pointerOutlineRadius(const Workspace& workspace) const {
  return workspace.penRadius;
}

void PenTool::onLeave(Workspace& workspace) {
  if (dragging_) endDrag(workspace);
}

void PenTool::endDrag(Workspace& workspace) {
  dragging_ = false;
  recordMaskStep(workspace);
}

}  // namespace scribeline
