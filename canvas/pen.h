#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <optional>

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

// Records in `marks` (8-bit) what paintPenDisc and paintPenLine paint into a
// mask with the same arguments: 1 + label on exactly those pixels.
void markPenDisc(cv::Mat& marks, cv::Point centre, int radius, int label);
void markPenLine(cv::Mat& marks, cv::Point from, cv::Point to, int radius,
                 int label);

// Whether a mask pixel counts as painted with the pen: the pen painted it
// (its mark, see Workspace::penMarks) and it still holds the label the pen
// last painted there. Paint replaced by another tool thus stops counting,
// and counts again when an undo brings it back; an undone pen drag leaves
// marks that count only where the pixel holds that label anyway.
bool penPainted(std::uint8_t mark, const cv::Vec3b& pixel);

// The pen paints the current label straight into the mask, and tells the
// views what it painted at once, so that the redraw of the same event shows
// it, and the autosave, so that a drag's paint is kept while it goes on
// (announceMaskPaint). A press paints a disc; each move during the drag paints
// a disc and the band back to the previous position. The drag ends at the
// release (one missed outside the image reaches the pen at the next event
// inside it without the left button held: the pen never paints with the button
// up) and becomes one step of the mask's history. Leaving the pen ends its
// drag.
//
// Every pixel the pen paints is marked in the workspace's penMarks (made at
// the first paint), so that the clean-up leaves the pen's work as it is.
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
  // Paints a disc at `point` and, given `from`, the band back to it; marks
  // them and announces the area.
  void paint(Workspace& workspace, cv::Point point,
             std::optional<cv::Point> from);

  bool dragging_ = false;
  cv::Point penLastPoint_{0, 0};
};

}  // namespace scribeline
