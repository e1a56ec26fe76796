#pragma once

#include <opencv2/core.hpp>

#include "canvas/tool.h"

namespace scribeline {

// Paints a filled disc of the given radius in the label's colour.
void paintPenDisc(cv::Mat& mask, cv::Point centre, int radius, int label);
// Paints the band joining two pen positions: every pixel within `radius`
// of the segment between them (exactly, by Euclidean distance), so that a
// drag is one unbroken band as wide as the disc however far apart its
// positions are.
void paintPenLine(cv::Mat& mask, cv::Point from, cv::Point to, int radius,
                  int label);

// The pen paints the current label straight into the mask, and tells the
// views what it painted at once, so that the redraw of the same event shows
// it, and the autosave, so that a drag's paint is kept while it goes on
// (announceMaskPaint). A press paints a disc; each move during the drag paints
// a disc and the band back to the previous position. The drag ends at the
// release (one missed outside the image reaches the pen at the next event
// inside it without the left button held: the pen never paints with the button
// up) and becomes one step of the mask's history. Leaving the pen ends its
// drag.
class PenTool : public Tool {
 public:
  void onMouse(Workspace& workspace, int event, cv::Point point,
               int flags) override;
  void onLeave(Workspace& workspace) override;
  // The pen's reach: its disc, outlined around the pointer.
  int pointerOutlineRadius(const Workspace& workspace) const override;

  // True from a press until the drag ends.
  bool dragging() const { return dragging_; }
  // The position the drag last painted at; (0, 0) before the first press.
  cv::Point penLastPoint() const { return penLastPoint_; }

 private:
  // The drag's paint becomes one step of the mask's history.
  void endDrag(Workspace& workspace);

  bool dragging_ = false;
  cv::Point penLastPoint_{0, 0};
};

}  // namespace scribeline
