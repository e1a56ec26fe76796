#pragma once

#include <deque>
#include <memory>
#include <opencv2/core.hpp>
#include <optional>

#include "canvas/photo_overlay.h"
#include "canvas/tool.h"
#include "scissors/iscissor.h"

namespace scribeline {

// Colour of the live-wire preview (blue, green, red).
const cv::Scalar livePreviewColour(0, 0, 255);

// Draws every contour over the view: each point as one photo pixel in its
// label's colour, and for a closed contour the line from its first point to
// its last (thickness 1, 8-connected).
void drawScissorOverlay(const IScissor& scissor, PhotoOverlay& overlay);

// Paints the live-wire of the last search from `pointer` back to the seed,
// the seed itself excluded, in livePreviewColour.
void drawLivePreview(const IScissor& scissor, cv::Point pointer,
                     PhotoOverlay& overlay);

// The iScissor tool: presses fix points of a contour joined by live-wire
// segments, Enter and Ctrl+Enter finish it open or closed, Backspace takes
// back segments and contours, "n" and "N" write the closed contours into
// the mask. Leaving the tool discards the contour under way.
//
// A contour is under way from the press that starts it until Enter, Ctrl+
// Enter or leaving the tool ends it; it is the engine's last contour. While
// one is, the picture of each pointer move shows the live-wire from the
// pointer back to the seed; other redraws (keys, the wheel) show none, as
// they follow no pointer.
class ScissorTool : public Tool {
 public:
  // Builds the engine over `image`, which must stay in the workspace for the
  // tool's lifetime.
  void build(Workspace& workspace) override;
  void drawOverlay(Workspace& workspace) override;
  void onMouse(Workspace& workspace, int event, cv::Point point,
               int flags) override;
  void onBackspace(Workspace& workspace) override;
  void onEnterKey(Workspace& workspace, int keyCode) override;
  void onLeave(Workspace& workspace) override;
  void onUpdateMask(Workspace& workspace, bool filled) override;

  // The engine; null before build().
  const IScissor* scissor() const { return scissor_.get(); }

  // True while a contour is under way; false before build().
  bool contourUnderWay() const;
  // For the contour under way: the points each committed live-wire segment
  // added, oldest first; the bottom entry 0 stands for the start point.
  const std::deque<int>& segmentLengths() const { return segmentLengths_; }

 private:
  void scissorMouse(Workspace& workspace, int event, cv::Point point);
  void undoLastSegment();

  std::unique_ptr<IScissor> scissor_;
  bool contourStarted_ = false;
  // The pointer of the move being handled, for the live-wire in the redraw
  // of that move only (drawOverlay clears it).
  std::optional<cv::Point> livePointer_;
  std::deque<int> segmentLengths_;
};

}  // namespace scribeline
