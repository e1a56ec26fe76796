#include "canvas/label_statistics.h"

#include <cstdio>

#include "files/label_list.h"
#include "palette/palette.h"

namespace scribeline {
namespace {

std::uint32_t keyOf(const uchar* pixel) {
  return std::uint32_t{pixel[0]} | std::uint32_t{pixel[1]} << 8 |
         std::uint32_t{pixel[2]} << 16;
}

std::string countLine(const std::string& what, std::int64_t pixels,
                      std::int64_t total) {
  char share[32];
  std::snprintf(share, sizeof share, "%.2f",
                total > 0 ? 100.0 * double(pixels) / double(total) : 0.0);
  return what + ": " + std::to_string(pixels) + " pixels, " + share + " %\n";
}

}  // namespace

LabelStatistics countLabels(const cv::Mat& mask) {
  CV_Assert(mask.empty() || mask.type() == CV_8UC3);
  LabelStatistics statistics;
  statistics.labels.assign(numLabels, 0);
  std::uint32_t labelKeys[numLabels];
  for (int label = 0; label < numLabels; ++label)
    labelKeys[label] = keyOf(labelPixel(label).val);
  // Masks are runs of few colours: each run is looked up once.
  const auto add = [&](std::uint32_t key, std::int64_t pixels) {
    if (key == 0xFFFFFF) {
      statistics.unlabelled += pixels;
      return;
    }
    for (int label = 0; label < numLabels; ++label) {
      if (labelKeys[label] == key) {
        statistics.labels[label] += pixels;
        return;
      }
    }
    statistics.otherColours += pixels;
  };
  for (int y = 0; y < mask.rows; ++y) {
    const uchar* row = mask.ptr(y);
    std::uint32_t key = keyOf(row);
    int start = 0;
    for (int x = 1; x < mask.cols; ++x) {
      const std::uint32_t next = keyOf(row + 3 * x);
      if (next == key) continue;
      add(key, x - start);
      key = next;
      start = x;
    }
    add(key, mask.cols - start);
  }
  statistics.total = static_cast<std::int64_t>(mask.total());
  return statistics;
}

std::string labelStatisticsText(const LabelStatistics& statistics,
                                const std::vector<std::string>& names) {
  std::string text =
      "label statistics of " + std::to_string(statistics.total) + " pixels:\n";
  for (int label = 0; label < static_cast<int>(statistics.labels.size());
       ++label) {
    const std::int64_t pixels = statistics.labels[label];
    if (pixels == 0) continue;
    std::string name = std::to_string(label);
    if (static_cast<size_t>(label) < names.size() && !names[label].empty())
      name += " " + names[label];
    text += countLine(name, pixels, statistics.total);
  }
  if (statistics.unlabelled > 0)
    text += countLine("no label", statistics.unlabelled, statistics.total);
  if (statistics.otherColours > 0)
    text +=
        countLine("other colours", statistics.otherColours, statistics.total);
  return text;
}

void sayLabelStatistics(Workspace& workspace) {
  const Result<std::vector<std::string>> names =
      readLabelNames(workspace.labelListPath);
  say(workspace,
      labelStatisticsText(countLabels(workspace.mask), names.valueOr({})));
}

}  // namespace scribeline
