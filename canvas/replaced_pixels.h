#pragma once

#include <cstdint>
#include <opencv2/core.hpp>

#include "canvas/workspace.h"

namespace scribeline {

// A tool that rebuilds the whole mask (the scissors' "n" and "N", a
// lazy-snapping solve) replaces whatever was there. What it replaced of its
// own earlier output is the tool's business; what came from elsewhere (the
// pen, another tool, a loaded or recovered mask) the user is told of.
//
// A pixel counts when the rebuild changes it (`after` differs from `before`)
// and `before` differs from what the same tool last wrote there
// (`lastOutput`; empty for a tool that has not rebuilt the mask yet, whose
// last output is the blank mask, label 0 everywhere). All 8-bit, 3-channel;
// a `before` of another size than `after` (no mask yet) counts nothing.
std::int64_t countReplacedPixels(const cv::Mat& before, const cv::Mat& after,
                                 const cv::Mat& lastOutput);

// "<count> pixels painted otherwise were replaced; Ctrl+Z takes them back";
// nothing when count is 0.
void reportReplacedPixels(Workspace& workspace, std::int64_t count);

}  // namespace scribeline
