#pragma once

#include <istream>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "canvas/workspace.h"

namespace scribeline {

// Toolbox picture geometry: one 20-pixel row per label.
constexpr int kToolboxWidth = 180;
constexpr int kToolboxHeight = 500;
constexpr int kToolboxRowHeight = 20;

// Reads a label list: an integer count, the rest of its line discarded, then
// one name per line for at most min(count, 25) labels, a negative count
// reading as more than 25. A trailing carriage return is dropped and a name
// is cut to 254 characters; a long line spoils nothing after it. Names
// missing at the end of the file are empty. Returns min(count, 25) names in
// label order, none when there is no readable count.
std::vector<std::string> readLabelNames(std::istream& in);
// The same for a file. A file that cannot be read (missing, not a regular
// file, a read error) gives no names, and *problem, when given, is set to
// "PATH: REASON", the path made absolute.
std::vector<std::string> readLabelNames(const std::string& path,
                                        std::string* problem = nullptr);

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
