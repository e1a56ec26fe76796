#pragma once

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "canvas/workspace.h"

namespace scribeline {

// Toolbox picture geometry: one 20-pixel row per label.
constexpr int kToolboxWidth = 180;
constexpr int kToolboxHeight = 500;
constexpr int kToolboxRowHeight = 20;

// Paints the toolbox picture into `picture` (created at 180 x 500 if empty):
// per label a white number block and a colour block, the marker ">" in the
// row of `currentLabel`, and the names in white.
void renderToolbox(cv::Mat& picture, int currentLabel,
                   const std::vector<std::string>& names);

// Redraws `toolboxImage` from the palette, `currentLabel` and the label list
// (read afresh) and shows it in the "Toolbox" window, opening it at 100% if
// it is closed.
void drawToolbox(Workspace& workspace);

// Mouse handler of "Toolbox": a left press picks the label of its row, tells
// every tool, and redraws the toolbox. Other events, and rows outside the
// labels, are ignored.
void onToolboxMouse(Workspace& workspace, int event, int x, int y);

// Opens "Toolbox" at 100% with onToolboxMouse as its handler and shows
// `toolboxImage` in it, after redrawing it.
void openToolbox(Workspace& workspace);

}  // namespace scribeline
