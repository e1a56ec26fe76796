#include "canvas/pen.h"

#include <algorithm>
#include <cstdint>
#include <opencv2/imgproc.hpp>
#include <optional>

#include "canvas/mask_steps.h"
#include "canvas/workspace.h"
#include "palette/palette.h"

namespace scribeline {

void paintPenDisc(cv::Mat& mask, cv::Point centre, int radius, int label) {
  cv::circle(mask, centre, radius, labelColor(label), cv::FILLED, cv::LINE_4);
}

namespace {

// Calls visit(x, y) for every pixel of `size` within `radius` of the segment
// from `from` to `to`, exactly: in 64-bit integers, the squared distance of
// (x, y) to the segment, scaled by its squared length, against radius^2
// scaled alike.
template <typename Visit>
void forEachBandPixel(cv::Size size, cv::Point from, cv::Point to, int radius,
                      Visit visit) {
  const cv::Point first(std::min(from.x, to.x) - radius,
                        std::min(from.y, to.y) - radius);
  const cv::Point last(std::max(from.x, to.x) + radius,
                       std::max(from.y, to.y) + radius);
  const cv::Rect box =
      cv::Rect(first, last + cv::Point(1, 1)) & cv::Rect({0, 0}, size);
  const std::int64_t dx = to.x - from.x, dy = to.y - from.y;
  const std::int64_t length2 = dx * dx + dy * dy;
  const std::int64_t r2 = std::int64_t{radius} * radius;
  for (int y = box.y; y < box.y + box.height; ++y) {
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
      if (inside) visit(x, y);
    }
  }
}

std::uint8_t markOf(int label) { return static_cast<std::uint8_t>(label + 1); }

}  // namespace

void paintPenLine(cv::Mat& mask, cv::Point from, cv::Point to, int radius,
                  int label) {
  const cv::Vec3b paint = labelPixel(label);
  forEachBandPixel(mask.size(), from, to, radius,
                   [&](int x, int y) { mask.at<cv::Vec3b>(y, x) = paint; });
}

void markPenDisc(cv::Mat& marks, cv::Point centre, int radius, int label) {
  cv::circle(marks, centre, radius, cv::Scalar(markOf(label)), cv::FILLED,
             cv::LINE_4);
}

void markPenLine(cv::Mat& marks, cv::Point from, cv::Point to, int radius,
                 int label) {
  const std::uint8_t mark = markOf(label);
  forEachBandPixel(marks.size(), from, to, radius,
                   [&](int x, int y) { marks.at<std::uint8_t>(y, x) = mark; });
}

bool penPainted(std::uint8_t mark, const cv::Vec3b& pixel) {
  return mark != 0 && pixel == labelPixel(mark - 1);
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
      paint(workspace, point, std::nullopt);
      return;
    case kMouseMove:
      if (!dragging_) return;
      paint(workspace, point, penLastPoint_);
      return;
    case kLeftButtonUp:
      if (dragging_) endDrag(workspace);
      return;
    default:
      return;
  }
}

void PenTool::paint(Workspace& workspace, cv::Point point,
                    std::optional<cv::Point> from) {
  const int radius = workspace.penRadius, label = workspace.currentLabel;
  cv::Mat& marks = workspace.penMarks;
  if (marks.size() != workspace.mask.size())
    marks = cv::Mat::zeros(workspace.mask.size(), CV_8UC1);
  paintPenDisc(workspace.mask, point, radius, label);
  markPenDisc(marks, point, radius, label);
  if (from) {
    paintPenLine(workspace.mask, point, *from, radius, label);
    markPenLine(marks, point, *from, radius, label);
  }
  announceMaskPaint(workspace, penReach(point, from.value_or(point), radius));
  penLastPoint_ = point;
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
