#pragma once

#include <cstdint>
#include <opencv2/core.hpp>

#include "canvas/workspace.h"

namespace scribeline {

// What one clean-up changed.
struct CleanupCount {
  std::int64_t islands = 0;  // small regions that took a neighbouring label
  std::int64_t holes = 0;    // small regions that took the one label around
  std::int64_t pixels = 0;   // pixels whose colour changed
};

// Removes the regions of a mask smaller than `minimumSize` pixels.
//
// A region is a 4-connected set of pixels of one colour (pixels meeting only
// at a corner are apart), white (no label) included. A region smaller than
// the minimum takes the label it shares the longest border with, the border
// counted in pixel edges and summed over every neighbouring region of that
// label; it then joins those regions. Regions are taken smallest first and
// again after every change around them, so that what remains small after a
// join is taken again: a hole inside a label, however many labels and
// nested holes it holds, becomes that label when it is smaller than the
// minimum in all.
//
// No label never spreads: a small labelled region whose longest border is
// with white pixels keeps its label (a small object labelled alone in
// unlabelled surroundings stays), and a small white region takes its
// neighbours' label like any other. The photo's edge is no neighbour: a
// region touching it is cleaned by the neighbours it has inside the photo,
// and one without any stays. Equal borders go to the lower label number;
// colours outside the palette count as labels after label 24.
//
// `penMarks` (empty, or 8-bit of the mask's size, see Workspace::penMarks):
// a region holding any pixel painted with the pen (penPainted) keeps its
// colour, whatever its size; it still counts as a neighbour.
//
// A hole is a region whose neighbours all have the label it takes and that
// does not touch the edge; every other region taken is an island. A region
// taken twice (a nested hole and then the hole around it) counts twice.
CleanupCount cleanUpMask(cv::Mat& mask, const cv::Mat& penMarks,
                         std::int64_t minimumSize);

// The clean-up size a photo of `pixels` pixels starts with: 0.01 % of its
// pixels (1 800 of 18 megapixels), never below 64.
std::int64_t defaultCleanupSize(std::int64_t pixels);

// The workspace's clean-up size: its own once chosen, else the default.
std::int64_t cleanupSizeOf(const Workspace& workspace);

// "c": cleanUpMask over the workspace's mask with its pen marks and size, as
// one step of the history, then the console line and a redraw.
void cleanUpWorkspaceMask(Workspace& workspace);

// "{" and "}": halve or double the clean-up size (kept within 2 and the
// photo's pixel count) and say it ("current clean-up size = 1800 pixels").
void lowerCleanupSize(Workspace& workspace);
void raiseCleanupSize(Workspace& workspace);

}  // namespace scribeline
