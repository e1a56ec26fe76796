#pragma once

#include <functional>
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
// A solve that replaces pixels the last solve did not paint (the pen's, the
// scissors', a loaded mask's) says how many on the console
// (canvas/replaced_pixels.h).
//
// A solve that runs out of memory changes nothing: the stroke that asked for
// it is taken back (or the stroke Backspace removed is put back), the labels
// and the mask stay as they were, and the console says "Could not solve the
// stroke: not enough memory".
//
// prepare makes the snapper with its stroke lists at once and leaves the
// over-segmentation and the model (initSnapper) to its preparation, which
// shares the snapper and touches none of its stroke members. Strokes are
// drawn and shown before the model is ready; a solve asked for then (a
// stroke ended, Backspace) is held (waitsForEngine) and done in onPrepared.
class SnapperTool : public Tool {
 public:
  // Weight of the data term against the smoothness term in every solve.
  static constexpr float kLambda = 0.3f;

  Preparation prepare(Workspace& workspace) override;
  void onPrepared(Workspace& workspace) override;
  bool waitsForEngine() const override { return !held_.empty(); }
  void drawOverlay(Workspace& workspace) override;
  void onMouse(Workspace& workspace, int event, cv::Point point,
               int flags) override;
  void onBackspace(Workspace& workspace) override;
  void onLeave(Workspace& workspace) override;
  void onLabelPicked(Workspace& workspace) override;

  // The engine; null before prepare, its model made from onPrepared on.
  const LSnapper* snapper() const { return snapper_.get(); }

  // True from a press until its stroke ends.
  bool strokeUnderWay() const { return strokeUnderWay_ != nullptr; }

 private:
  // Ends the stroke under way (its points are complete) and solves.
  void endStroke(Workspace& workspace);
  // The solve of a stroke just ended, the last of `strokes`.
  void solveStrokeAdded(Workspace& workspace, std::vector<Stroke>& strokes);
  // Solves, rebuilds the mask and records it as one step together with the
  // change of the stroke at `index` of `strokes` that led to the solve, and
  // shows the mask in the "Mask" window (opened if need be); the main view
  // is left to the caller. Returns false, with nothing changed and no step,
  // when memory ran out.
  bool solveAndShow(Workspace& workspace, const std::vector<Stroke>& strokes,
                    size_t index, SnapStep::Change change, Stroke stroke);
  int labelOf(const std::vector<Stroke>& strokes) const;

  // Shared with the preparation, which writes the model members only.
  std::shared_ptr<LSnapper> snapper_;
  bool ready_ = false;
  // Solves asked for before the model was ready, oldest first.
  std::vector<std::function<void(Workspace&)>> held_;
  // The list whose last stroke is under way, or null.
  std::vector<Stroke>* strokeUnderWay_ = nullptr;
};

}  // namespace scribeline
