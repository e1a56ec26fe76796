#include "scissors/scissor_tool.h"

#include <opencv2/imgproc.hpp>

#include "app/palette.h"
#include "app/workspace.h"
#include "canvas/view.h"

namespace scribeline {

namespace {

constexpr int kCtrlEnter = 10;

cv::Vec3b pixelColour(const cv::Scalar& colour) {
  return cv::Vec3b(cv::saturate_cast<uchar>(colour[0]),
                   cv::saturate_cast<uchar>(colour[1]),
                   cv::saturate_cast<uchar>(colour[2]));
}

}  // namespace

void drawScissorOverlay(const IScissor& scissor, PhotoOverlay& overlay) {
  for (const Contour& contour : scissor.contours()) {
    if (contour.points.empty()) continue;
    const cv::Scalar colour = labelColor(contour.label);
    const cv::Vec3b pixel = pixelColour(colour);
    for (const cv::Point& point : contour.points)
      overlay.paintPixel(point, pixel);
    if (contour.closed) {
      overlay.drawLine(contour.points.front(), contour.points.back(), colour,
                       1, cv::LINE_8);
    }
  }
}

void drawLivePreview(const IScissor& scissor, cv::Point pointer,
                     PhotoOverlay& overlay) {
  const cv::Vec3b pixel = pixelColour(livePreviewColour);
  for (const cv::Point& point : scissor.pathToSeed(pointer))
    overlay.paintPixel(point, pixel);
}

void ScissorTool::build(Workspace& workspace) {
  scissor_ = std::make_unique<IScissor>(workspace.image);
}

void ScissorTool::drawOverlay(Workspace& workspace) {
  if (scissor_ && !workspace.viewImage.empty())
    drawScissorOverlay(*scissor_, workspace.views.overlay);
}

void ScissorTool::onMouse(Workspace& workspace, int event, cv::Point point,
                          int) {
  if (scissor_) scissorMouse(workspace, event, point);
}

void ScissorTool::scissorMouse(Workspace& workspace, int event,
                               cv::Point point) {
  if (event == kLeftButtonDown) {
    BusyPointer busy(workspace.windows);
    if (!contourUnderWay(workspace)) {
      workspace.segmentLengths.clear();
      workspace.segmentLengths.push_back(0);
      scissor_->startContour(point, workspace.currentLabel);
      scissor_->searchFromSeed(point.x, point.y);
      workspace.inProgress = true;
      startedContour_ = true;
    } else {
      workspace.segmentLengths.push_back(scissor_->appendSegment(point));
      scissor_->searchFromSeed(point.x, point.y);
    }
  } else if (event == kMouseMove && contourUnderWay(workspace)) {
    if (!workspace.viewImage.empty())
      drawLivePreview(*scissor_, point, workspace.views.overlay);
  }
}

void ScissorTool::onBackspace(Workspace& workspace) {
  if (scissor_) {
    if (contourUnderWay(workspace)) {
      scissor_->undoLastSegment(workspace.segmentLengths);
    } else {
      scissor_->removeLastContour();
    }
  }
  recomposeAndShow(workspace);
}

void ScissorTool::onEnter(Workspace& workspace, int keyCode) {
  if (!scissor_ || !contourUnderWay(workspace)) return;
  endContour(workspace);
  scissor_->finishContour(keyCode == kCtrlEnter);
  recomposeAndShow(workspace);
}

void ScissorTool::onSwitchAway(Workspace& workspace, int nextTool) {
  if (nextTool == kToolScissors || !scissor_ || !contourUnderWay(workspace))
    return;
  endContour(workspace);
  scissor_->discardOpenContour();
}

void ScissorTool::onUpdateMask(Workspace& workspace, bool filled) {
  if (scissor_) scissor_->updateMaskFromContours(workspace.mask, filled);
}

bool ScissorTool::contourUnderWay(const Workspace& workspace) const {
  return workspace.inProgress && startedContour_ &&
         !scissor_->contours().empty();
}

void ScissorTool::endContour(Workspace& workspace) {
  workspace.inProgress = false;
  startedContour_ = false;
}

}  // namespace scribeline
