#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "canvas/workspace.h"

namespace scribeline {

// The pixels of a mask by what they hold.
struct LabelStatistics {
  std::vector<std::int64_t> labels;  // per palette label, numLabels entries
  std::int64_t unlabelled = 0;       // white
  std::int64_t otherColours = 0;     // neither white nor a label's colour
  std::int64_t total = 0;
};

// Counts the pixels of `mask` (8-bit, 3-channel) per label.
LabelStatistics countLabels(const cv::Mat& mask);

// The console lines for the statistics: "label statistics of N pixels:",
// one per label present, with its name
// as the toolbox shows it ("3 car: 120000 pixels, 1.25 %"; the number alone
// without a name), then "no label: ..." when any pixel has none and
// "other colours: ..." when any pixel holds a colour outside the palette.
// `names` holds the label names in label order (fewer, or none, is fine).
std::string labelStatisticsText(const LabelStatistics& statistics,
                                const std::vector<std::string>& names);

// "i": says the statistics of the workspace's mask, with the names of the
// label list (read afresh, as the toolbox does; no names when it cannot be
// read).
void sayLabelStatistics(Workspace& workspace);

}  // namespace scribeline
