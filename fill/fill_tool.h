#pragma once

#include <opencv2/core.hpp>
#include <string>

#include "canvas/tool.h"
#include "fill/region_growth.h"

namespace scribeline {

// `[` and `]` move the tolerance a fill press starts with (the workspace's
// fillTolerance) by this much, within 0 .. kMaxFillTolerance.
constexpr int kFillToleranceStep = 5;
// A held press changes its tolerance by one per screen pixel the pointer
// moves up (raise) or down (lower), at every zoom.
constexpr int kFillTolerancePerScreenPixel = 1;

// The fill: a left press takes the photo's 8-connected region around the
// pressed pixel whose colours lie within the tolerance of its colour (see
// RegionGrowth), starting from `fillTolerance`. While the button is held,
// moving the pointer up or down raises or lowers the tolerance, and the
// region shows over the photo in the label's colour; the release writes it
// into the mask in the current label as one step of the history. Leaving
// the tool or Backspace during the press discards it; Backspace otherwise
// undoes the newest step when it is a fill.
class FillTool : public Tool {
 public:
  void onMouse(Workspace& workspace, int event, cv::Point point,
               int flags) override;
  void drawOverlay(Workspace& workspace) override;
  void onBackspace(Workspace& workspace) override;
  void onLeave(Workspace& workspace) override;

  // True from a press until its release or discard.
  bool filling() const { return growth_.active(); }
  // The region of the press under way.
  const RegionGrowth& region() const { return growth_; }

 private:
  void commit(Workspace& workspace);

  RegionGrowth growth_;
  int label_ = 0;
  // Where the press's tolerance was last set from: the window and its
  // pixel row.
  std::string window_;
  int lastRow_ = 0;
};

}  // namespace scribeline
