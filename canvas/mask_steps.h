#pragma once

#include <memory>

#include "canvas/history.h"
#include "canvas/workspace.h"

namespace scribeline {

// Every change of the mask goes through here as one step of the workspace's
// history: a pen drag, "n", "N", a lazy-snapping solve, a loaded or recovered
// mask. After each step, undo and redo the views are told the area that
// changed (markMaskChanged), the "Mask" window, while open, shows the mask,
// and `onMaskChanged` (the autosave) is told. A writer of the mask records
// its change here before the next redraw, or tells the views itself.

// Paint written into `mask` within `painted` (photo pixels) that is not yet
// a step, as a pen drag is until its release: the views are told, and so is
// `onMaskPainted` (the autosave), so that the paint is kept like any change
// while the drag goes on.
void announceMaskPaint(Workspace& workspace, const cv::Rect& painted);

// Starts the history from the mask as it is now, with no steps.
void startMaskHistory(Workspace& workspace);

// Records the change of `mask` since the last step as one step, with the
// companion holding the rest of what the step changed. Nothing changed and
// no companion: no step, nothing shown. Before startMaskHistory nothing is
// recorded, but the mask is still shown and announced. Returns whether a
// step was made.
bool recordMaskStep(Workspace& workspace,
                    std::unique_ptr<StepCompanion> companion = nullptr);

// Ctrl+Z and Ctrl+Shift+Z / Ctrl+Y: undo the newest step, or redo the step
// undone last, then redraw the main view. A change of the mask not yet
// recorded (a drag under way) becomes a step of its own first, so undo takes
// back exactly that. Return whether a step was undone or redone.
bool undoMaskStep(Workspace& workspace);
bool redoMaskStep(Workspace& workspace);

}  // namespace scribeline
