#pragma once

#include <opencv2/core.hpp>

#include "canvas/workspace.h"

namespace scribeline {

// Builds `viewImage`: the part of `image` the main view shows (mainView), at
// the size of the main window's picture area, with the mask blended over it
// when `maskOverlay` is on, then the current tool's overlay, drawn through
// `views.overlay` in photo coordinates. A picture still held in `viewImage`
// is dropped first.
void composeView(Workspace& workspace);

// Completes the tool's overlay, shows `viewImage` in the main window and
// empties it. Does nothing when `viewImage` is empty.
void showView(Workspace& workspace);

// composeView followed by showView: every redraw of the main window.
void recomposeAndShow(Workspace& workspace);

// The main view's grid at its first showing is known before its window
// opens: the fitted view of the picture the main window will be placed
// with. The photo is reduced onto that grid on a thread of its own while the
// first windows open, and the first redraw on that grid takes the result
// instead of reducing the photo itself. Nothing when the fitted view is not
// reduced; a grid the view does not get is never used. Called again once
// the screen's layout is better known (the toolbox's frame), it starts anew
// only when the grid changed.
void reduceMainViewAhead(Workspace& workspace);

// Both windows after their views moved: the main window, and the "Mask"
// window when it is open.
void redrawViews(Workspace& workspace);

// Tells the views that the mask changed within `photoArea` (photo pixels;
// parts outside the mask are ignored): while the main view is reduced it
// shows a copy of the mask sampled onto its grid, whose cells over the area
// are sampled again at the next redraw. Every change of the pixels of a
// mask already shown must be told: recordMaskStep, undo and redo tell theirs
// (canvas/mask_steps.h), the pen tells its paint while its drag is under
// way. A new mask (other pixel storage) is sampled afresh untold.
void markMaskChanged(WindowViews& views, cv::Rect photoArea);

// out := (1 - opacity) * photo + opacity * mask for every channel of every
// pixel, each value stored with the library's rounding of a double to 8 bits.
// photo and mask are 8-bit BGR images of one size; out is (re)allocated to
// that size. scratch keeps the per-opacity table between calls.
void blendMask(const cv::Mat& photo, const cv::Mat& mask, double opacity,
               ViewScratch& scratch, cv::Mat& out);

}  // namespace scribeline
