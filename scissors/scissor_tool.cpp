#include "scissors/scissor_tool.h"

#include <opencv2/imgproc.hpp>

#include "canvas/view.h"
#include "canvas/workspace.h"
#include "palette/palette.h"

namespace scribeline {

namespace {

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
    const cv::Vec3b pixel = labelPixel(contour.label);
    for (const cv::Point& point : contour.points)
      overlay.paintPixel(point, pixel);
    if (contour.closed) {
      overlay.drawLine(contour.points.front(), contour.points.back(), colour, 1,
                       cv::LINE_8);
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
  if (!scissor_ || workspace.viewImage.empty()) return;
  drawScissorOverlay(*scissor_, workspace.views.overlay);
  if (livePointer_ && contourUnderWay())
    drawLivePreview(*scissor_, *livePointer_, workspace.views.overlay);
  livePointer_.reset();
}

void ScissorTool::onMouse(Workspace& workspace, int event, cv::Point point,
                          int) {
  livePointer_.reset();
  if (scissor_) scissorMouse(workspace, event, point);
}

void ScissorTool::scissorMouse(Workspace& workspace, int event,
                               cv::Point point) {
  if (event == kLeftButtonDown) {
    BusyPointer busy(workspace.windows);
    if (!contourUnderWay()) {
      segmentLengths_.clear();
      segmentLengths_.push_back(0);
      scissor_->startContour(point, workspace.currentLabel);
      scissor_->seedSearch(point.x, point.y);
      contourStarted_ = true;
    } else {
      segmentLengths_.push_back(scissor_->appendSegment(point));
      scissor_->seedSearch(point.x, point.y);
    }
  } else if (event == kMouseMove && contourUnderWay()) {
    livePointer_ = point;
  }
}

void ScissorTool::onBackspace(Workspace&) {
  if (scissor_) {
    if (contourUnderWay()) {
      undoLastSegment();
    } else {
      scissor_->removeLastContour();
    }
  }
}

void ScissorTool::onEnterKey(Workspace& workspace, int keyCode) {
  if (!scissor_ || !contourUnderWay()) return;
  contourStarted_ = false;
  scissor_->finishContour(keyCode == kKeyCtrlEnter);
  recomposeAndShow(workspace);
}

void ScissorTool::onLeave(Workspace&) {
  if (!scissor_ || !contourUnderWay()) return;
  contourStarted_ = false;
  scissor_->removeLastContour();
}

void ScissorTool::onUpdateMask(Workspace& workspace, bool filled) {
  if (scissor_) scissor_->updateMaskFromContours(workspace.mask, filled);
}

bool ScissorTool::contourUnderWay() const {
  return contourStarted_ && scissor_ && !scissor_->contours().empty();
}

// A newest length the engine cannot take back (0: the start point, or a press
// on the seed) stays, so Backspace keeps stopping there.
void ScissorTool::undoLastSegment() {
  if (!segmentLengths_.empty() &&
      scissor_->undoLastSegment(segmentLengths_.back()))
    segmentLengths_.pop_back();
}

}  // namespace scribeline
