#include "canvas/pen.h"

#include <opencv2/imgproc.hpp>

#include "app/palette.h"
#include "app/workspace.h"
#include "canvas/mask_steps.h"

namespace scribeline {

void paintPenDisc(cv::Mat& mask, cv::Point centre, int radius, int label) {
  cv::circle(mask, centre, radius, labelColor(label), cv::FILLED, cv::LINE_4);
}

void paintPenLine(cv::Mat& mask, cv::Point from, cv::Point to, int radius,
                  int label) {
  cv::line(mask, from, to, labelColor(label), radius, cv::LINE_4);
}

void PenTool::onMouse(Workspace& workspace, int event, cv::Point point,
                      int flags) {
  const bool buttonEvent = event == kLeftButtonDown || event == kLeftButtonUp;
  if (workspace.inProgress && !buttonEvent &&
      (flags & kMouseFlagLeftButton) == 0) {
    endDrag(workspace);
    return;
  }
  switch (event) {
    case kLeftButtonDown:
      if (workspace.inProgress) return;
      workspace.inProgress = true;
      paintPenDisc(workspace.mask, point, workspace.penRadius,
                   workspace.currentLabel);
      workspace.penLastPoint = point;
      return;
    case kMouseMove:
      if (!workspace.inProgress) return;
      paintPenDisc(workspace.mask, point, workspace.penRadius,
                   workspace.currentLabel);
      paintPenLine(workspace.mask, point, workspace.penLastPoint,
                   workspace.penRadius, workspace.currentLabel);
      workspace.penLastPoint = point;
      return;
    case kLeftButtonUp:
      endDrag(workspace);
      return;
    default:
      return;
  }
}

void PenTool::onSwitchAway(Workspace& workspace, int nextTool) {
  if (nextTool != kToolPen && workspace.inProgress) endDrag(workspace);
}

void PenTool::endDrag(Workspace& workspace) {
  workspace.inProgress = false;
  recordMaskStep(workspace);
}

}  // namespace scribeline
