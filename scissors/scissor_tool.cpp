#include "scissors/scissor_tool.h"

#include <opencv2/imgproc.hpp>

#include "canvas/mask_steps.h"
#include "canvas/replaced_pixels.h"
#include "canvas/view.h"
#include "canvas/workspace.h"
#include "palette/palette.h"
#include "scissors/mask_update.h"

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

struct ScissorTool::Engine {
  cv::Mat image;  // first: the scissor points into it
  std::unique_ptr<IScissor> scissor;
};

ScissorTool::ScissorTool() = default;
ScissorTool::~ScissorTool() = default;

Preparation ScissorTool::prepare(Workspace& workspace) {
  auto engine = std::make_shared<Engine>();
  engine->image = workspace.image;
  engine_ = engine;
  return
      [engine] { engine->scissor = std::make_unique<IScissor>(engine->image); };
}

void ScissorTool::onPrepared(Workspace& workspace) {
  ready_ = true;
  // Between the user's moves the search from the last fixed point goes on,
  // on the other core, so that a far point's wire is mostly found already.
  if (IScissor* scissor = engine()) scissor->settleAhead(true);
  std::vector<std::function<void(Workspace&)>> held;
  held.swap(held_);
  for (auto& work : held) work(workspace);
}

IScissor* ScissorTool::engine() const {
  return ready_ && engine_ ? engine_->scissor.get() : nullptr;
}

const IScissor* ScissorTool::scissor() const { return engine(); }

void ScissorTool::drawOverlay(Workspace& workspace) {
  IScissor* scissor = engine();
  if (!scissor || workspace.viewImage.empty()) return;
  drawScissorOverlay(*scissor, workspace.views.overlay);
  if (livePointer_ && contourUnderWay())
    drawLivePreview(*scissor, *livePointer_, workspace.views.overlay);
  livePointer_.reset();
}

// A press before the engine is ready is done, with the redraw the mouse
// dispatch gives it, once the engine is. No contour is under way before, so
// other events change nothing then.
void ScissorTool::onMouse(Workspace& workspace, int event, cv::Point point,
                          int) {
  livePointer_.reset();
  if (engine()) {
    scissorMouse(workspace, event, point);
  } else if (event == kLeftButtonDown) {
    held_.push_back([this, point](Workspace& workspace) {
      scissorMouse(workspace, kLeftButtonDown, point);
      recomposeAndShow(workspace);
    });
  }
}

void ScissorTool::scissorMouse(Workspace& workspace, int event,
                               cv::Point point) {
  IScissor& scissor = *engine();
  if (event == kLeftButtonDown) {
    BusyPointer busy(workspace.windows);
    stable_.reset();
    if (!contourUnderWay()) {
      segmentLengths_.clear();
      segmentLengths_.push_back(0);
      scissor.startContour(point, workspace.currentLabel);
      scissor.seedSearch(point.x, point.y);
      contourStarted_ = true;
    } else {
      fixPoint(scissor, point);
    }
  } else if (event == kMouseMove && contourUnderWay()) {
    if (workspace.autoAnchoring) {
      if (const std::optional<cv::Point> anchor =
              anchorForMove(scissor, stable_, point, clock_())) {
        fixPoint(scissor, *anchor);
        stable_.reset();
      }
    } else {
      stable_.reset();
    }
    livePointer_ = point;
  }
}

void ScissorTool::fixPoint(IScissor& scissor, cv::Point point) {
  segmentLengths_.push_back(scissor.appendSegment(point));
  scissor.seedSearch(point.x, point.y);
}

void ScissorTool::onBackspace(Workspace&) {
  stable_.reset();
  if (IScissor* scissor = engine()) {
    if (contourUnderWay()) {
      undoLastSegment();
    } else {
      scissor->removeLastContour();
    }
  }
}

void ScissorTool::onEnterKey(Workspace& workspace, int keyCode) {
  if (!engine() || !contourUnderWay()) return;
  contourStarted_ = false;
  stable_.reset();
  engine()->finishContour(keyCode == kKeyCtrlEnter);
  recomposeAndShow(workspace);
}

void ScissorTool::onLeave(Workspace&) {
  if (!engine() || !contourUnderWay()) return;
  contourStarted_ = false;
  stable_.reset();
  engine()->removeLastContour();
}

// The mask is rewritten (white, even without contours) only by the engine:
// before it is ready, the rewrite waits and is recorded as the step of its
// own that the key's command would have recorded.
void ScissorTool::onUpdateMask(Workspace& workspace, bool filled) {
  if (engine()) {
    rebuildMask(workspace, filled);
    return;
  }
  held_.push_back([this, filled](Workspace& workspace) {
    rebuildMask(workspace, filled);
    recordMaskStep(workspace);
  });
}

bool ScissorTool::sameOutput(const LastOutput& a, const LastOutput& b) {
  if (a.filled != b.filled || a.contours.size() != b.contours.size())
    return false;
  for (size_t i = 0; i < a.contours.size(); ++i) {
    if (a.contours[i].label != b.contours[i].label ||
        a.contours[i].points != b.contours[i].points)
      return false;
  }
  return true;
}

void ScissorTool::rebuildMask(Workspace& workspace, bool filled) {
  const IScissor& scissor = *engine();
  cv::Mat rebuilt, last;
  scissor.updateMaskFromContours(rebuilt, filled);
  if (rebuilt.empty()) return;  // an engine without pixels
  LastOutput output{{}, filled};
  for (const Contour& contour : scissor.contours())
    if (contour.closed) output.contours.push_back(contour);
  if (lastOutput_ && sameOutput(*lastOutput_, output)) {
    last = rebuilt;  // the same contours write the same mask again
  } else if (lastOutput_) {
    writeContoursIntoMask(lastOutput_->contours, rebuilt.size(),
                          lastOutput_->filled, last);
  }
  const std::int64_t replaced =
      countReplacedPixels(workspace.mask, rebuilt, last);
  rebuilt.copyTo(workspace.mask);
  lastOutput_ = std::move(output);
  reportReplacedPixels(workspace, replaced);
}

bool ScissorTool::contourUnderWay() const {
  IScissor* scissor = engine();
  return contourStarted_ && scissor && !scissor->contours().empty();
}

// A newest length the engine cannot take back (0: the start point, or a press
// on the seed) stays, so Backspace keeps stopping there.
void ScissorTool::undoLastSegment() {
  if (!segmentLengths_.empty() &&
      engine()->undoLastSegment(segmentLengths_.back()))
    segmentLengths_.pop_back();
}

}  // namespace scribeline
