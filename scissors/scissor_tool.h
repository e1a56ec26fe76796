#pragma once

#include <memory>
#include <opencv2/core.hpp>

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
// the mask.
//
// A contour is under way while the workspace's `inProgress` is set by this
// tool. The flag is shared by the three tools, so the tool also remembers
// that it set it: an `inProgress` left by another tool never makes a press
// extend, or a key finish, a contour that is not under way.
class ScissorTool : public Tool {
 public:
  // Builds the engine over `image`, which must stay in the workspace for the
  // tool's lifetime.
  void build(Workspace& workspace) override;
  void drawOverlay(Workspace& workspace) override;
  void onMouse(Workspace& workspace, int event, cv::Point point,
               int flags) override;
  void onBackspace(Workspace& workspace) override;
  void onEnter(Workspace& workspace, int keyCode) override;
  void onSwitchAway(Workspace& workspace, int nextTool) override;
  void onUpdateMask(Workspace& workspace, bool filled) override;

  // The engine; null before build().
  const IScissor* scissor() const { return scissor_.get(); }

 private:
  void scissorMouse(Workspace& workspace, int event, cv::Point point);
  bool contourUnderWay(const Workspace& workspace) const;
  void endContour(Workspace& workspace);

  std::unique_ptr<IScissor> scissor_;
  bool startedContour_ = false;
};

}  // namespace scribeline
