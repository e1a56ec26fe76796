#pragma once

#include <string>

#include "canvas/workspace.h"

namespace scribeline {

// Mouse handler of the main window (and of "Mask" after "x"/"X"). Events
// outside the image, or before the tools are built, are ignored without a
// redraw; every other event is composeView, the current tool's onMouse,
// showView.
void onMainMouse(Workspace& workspace, int event, int x, int y, int flags);

// Registers onMainMouse as the mouse handler of the named window.
void registerMainMouse(Workspace& workspace, const std::string& window);

}  // namespace scribeline
