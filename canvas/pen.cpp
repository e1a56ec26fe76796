#include "canvas/pen.h"

#include <opencv2/imgproc.hpp>

#include "canvas/mask_steps.h"
#include "canvas/view.h"
#include "canvas/workspace.h"
#include "palette/palette.h"

namespace scribeline {

void paintPenDisc(cv::Mat& mask, cv::Point centre, int radius, int label) {
  cv::circle(mask, centre, radius, labelColor(label), cv::FILLED, cv::LINE_4);
}

void paintPenLine(cv::Mat& mask, cv::Point from, cv::Point to, int radius,
                  int label) {
  cv::line(mask, from, to, labelColor(label), radius, cv::LINE_4);
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
      markMaskChanged(workspace.views,
                      penReach(point, point, workspace.penRadius));
      penLastPoint_ = point;
      return;
    case kMouseMove:
      if (!dragging_) return;
      paintPenDisc(workspace.mask, point, workspace.penRadius,
                   workspace.currentLabel);
      paintPenLine(workspace.mask, point, penLastPoint_, workspace.penRadius,
                   workspace.currentLabel);
      markMaskChanged(workspace.views,
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

void PenTool::onLeave(Workspace& workspace) {
  if (dragging_) endDrag(workspace);
}

void PenTool::endDrag(Workspace& workspace) {
  dragging_ = false;
  recordMaskStep(workspace);
}

}  // namespace scribeline
