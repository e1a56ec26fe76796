#pragma once

#include <string>

#include "canvas/workspace.h"

namespace scribeline {

// Mouse handler of the main window (and of "Mask" after "x"/"X"), with the
// position in pixels of the window's picture. The wheel and the middle button
// navigate (see navigate), redrawing both windows when the views moved. Every
// other event is taken to the photo pixel under the pointer through the
// window's view, once, before any tool sees it; events whose pixel lies
// outside the photo (the space around a photo smaller than its window, or
// beyond the window's edges during a drag), or that come before the tools
// are built, are ignored without a redraw. Every other event goes to the
// current tool's onMouse with the photo point, then the main view is
// composed and shown once: one redraw per event, showing what the tool did.
// The "Mask" view is shown again too when the current tool draws an outline
// around the pointer there (or did at the previous event).
//
// A left release outside the photo is never seen, so the dispatch keeps the
// left drag a press started: the first event inside the photo that comes
// without the left button held, while that drag's tool is still current,
// reaches the tool first as a kLeftButtonUp at its point (the release it
// stands for), then as itself.
void onWindowMouse(Workspace& workspace, const std::string& window, int event,
                   int x, int y, int flags);

// The current tool's outline around the pointer (the pen's disc; see
// Tool::pointerOutlineRadius) after the tool or the pen's radius changed:
// redraws the main view, and the "Mask" view when the pointer is over it.
void refreshPointerOutline(Workspace& workspace);

// onWindowMouse for the main window.
void onMainMouse(Workspace& workspace, int event, int x, int y, int flags);

// Registers onWindowMouse as the mouse handler of the named window.
void registerMainMouse(Workspace& workspace, const std::string& window);

}  // namespace scribeline
