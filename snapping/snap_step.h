#pragma once

#include <cstdint>
#include <vector>

#include "canvas/history.h"
#include "snapping/lsnapper.h"

namespace scribeline {

// What a lazy-snapping step changes beside the mask: the stroke the solve
// followed (added by a release, or taken away by Backspace) and the labelling
// of the superpixels (with the splits of the superpixels several labels'
// strokes cross) the solve replaced. Undoing the step takes the stroke back
// (or puts it back) and restores the labelling and splits, so that the next
// solve starts from exactly the strokes and labels the user sees.
class SnapStep : public StepCompanion {
 public:
  enum class Change { StrokeAdded, StrokeRemoved };

  // `index` is the stroke's place in the list of `label`: where it now is
  // (added) or where it was (removed). labelsBefore and splitsBefore are the
  // labelling and splits before the solve; the snapper holds the ones after
  // it. REQUIRES: snapper outlives the step.
  SnapStep(LSnapper& snapper, int label, size_t index, Change change,
           Stroke stroke, const std::vector<int>& labelsBefore,
           std::vector<SuperpixelSplit> splitsBefore);

  void undo() override;
  void redo() override;
  size_t bytes() const override;

 private:
  void insertStroke();
  void eraseStroke();
  // Exchanges the labelling (and splits) held here with the snapper's.
  void flipLabels();

  LSnapper& snapper_;
  int label_;
  size_t index_;
  Change change_;
  Stroke stroke_;
  // Run-length code of the XOR of the labellings before and after.
  std::vector<uint8_t> labelDelta_;
  // The splits the snapper does not hold now: those before the solve while
  // the step is done, those after it while undone.
  std::vector<SuperpixelSplit> otherSplits_;
};

}  // namespace scribeline
