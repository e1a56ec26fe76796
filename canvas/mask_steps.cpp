#include "canvas/mask_steps.h"

#include "canvas/view.h"
#include "canvas/window_placement.h"

namespace scribeline {
namespace {

bool historyStarted(const Workspace& workspace) {
  return !workspace.history.recordedState().empty();
}

// Shows a change of the mask within `changed` (photo pixels) wherever the
// mask is seen.
void announceMask(Workspace& workspace, const cv::Rect& changed) {
  markMaskChanged(workspace.views, changed);
  if (workspace.windows.isOpen(kMaskWindow))
    showMaskView(workspace.views, workspace.windows, workspace.mask);
  if (workspace.onMaskChanged)
    workspace.onMaskChanged(workspace.mask, changed);
}

bool moveInHistory(Workspace& workspace, bool forward) {
  if (!historyStarted(workspace)) return false;
  recordMaskStep(workspace);
  const bool moved = forward ? workspace.history.redo(workspace.mask)
                             : workspace.history.undo(workspace.mask);
  if (moved) announceMask(workspace, workspace.history.changedArea());
  recomposeAndShow(workspace);
  return moved;
}

}  // namespace

void announceMaskPaint(Workspace& workspace, const cv::Rect& painted) {
  markMaskChanged(workspace.views, painted);
  if (workspace.onMaskPainted)
    workspace.onMaskPainted(workspace.mask,
                            painted & cv::Rect({0, 0}, workspace.mask.size()));
}

void startMaskHistory(Workspace& workspace) {
  workspace.history.reset(workspace.mask);
}

bool recordMaskStep(Workspace& workspace,
                    std::unique_ptr<StepCompanion> companion) {
  if (!historyStarted(workspace)) {
    announceMask(workspace, cv::Rect({0, 0}, workspace.mask.size()));
    return false;
  }
  if (!workspace.history.record(workspace.mask, std::move(companion)))
    return false;
  announceMask(workspace, workspace.history.changedArea());
  return true;
}

bool undoMaskStep(Workspace& workspace) {
  return moveInHistory(workspace, false);
}

bool redoMaskStep(Workspace& workspace) {
  return moveInHistory(workspace, true);
}

}  // namespace scribeline
