#pragma once

#include <memory>
#include <opencv2/core.hpp>
#include <vector>

#include "canvas/photo_overlay.h"
#include "canvas/tool.h"
#include "snapping/lsnapper.h"
#include "snapping/snap_step.h"

namespace scribeline {

// Draws every stroke of every label over the view: consecutive points joined
// by 5-pixel, 8-connected lines in the label's colour. Strokes of a single
// point are not drawn.
void drawStrokeOverlay(PhotoOverlay& overlay, const LabelStrokes& labelStrokes);

// The lSnapper tool. A left press starts a stroke in the picked label's
// list, every move adds a point and the release adds the last one and
// relabels the whole image from all strokes ("solve and show"). Backspace
// removes the picked label's newest stroke and solves again.
//
// A stroke belongs to the list it was started in: a label picked while it
// is under way changes where the next stroke goes, not this one. A release
// that happened outside the image reaches the tool at the first event inside
// it without the left button held, and ends the stroke there (see
// onWindowMouse); leaving the tool ends it too, without a new point, and
// redraws. The mouse and Backspace leave the main view's redraw to their
// dispatch and command: a solve shows only the "Mask" window itself.
//
// A solve that runs out of memory changes nothing: the stroke that asked for
// it is taken back (or the stroke Backspace removed is put back), the labels
// and the mask stay as they were, and the console says "Could not solve the
// stroke: not enough memory".
class SnapperTool : public Tool {
 public:
  // Weight of the data term against the smoothness term in every solve.
  static constexpr float kLambda = 0.3f;

  void build(Workspace& workspace) override;
  void initialize(Workspace& workspace) override;
  void drawOverlay(Workspace& workspace) override;
  void onMouse(Workspace& workspace, int event, cv::Point point,
               int flags) override;
  void onBackspace(Workspace& workspace) override;
  void onLeave(Workspace& workspace) override;
  void onLabelPicked(Workspace& workspace) override;

  // The engine; null before build.
  const LSnapper* snapper() const { return snapper_.get(); }

  // True from a press until its stroke ends.
  bool strokeUnderWay() const { return strokeUnderWay_ != nullptr; }

 private:
  // Ends the stroke under way (its points are complete) and solves.
  void endStroke(Workspace& workspace);
  // Solves, rebuilds the mask and records it as one step together with the
  // change of the stroke at `index` of `strokes` that led to the solve, and
  // shows the mask in the "Mask" window (opened if need be); the main view
  // is left to the caller. Returns false, with nothing changed and no step,
  // when memory ran out.
  bool solveAndShow(Workspace& workspace, const std::vector<Stroke>& strokes,
                    size_t index, SnapStep::Change change, Stroke stroke);
  int labelOf(const std::vector<Stroke>& strokes) const;

  std::unique_ptr<LSnapper> snapper_;
  // The list whose last stroke is under way, or null.
  std::vector<Stroke>* strokeUnderWay_ = nullptr;
};

}  // namespace scribeline
