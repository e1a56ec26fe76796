#include "canvas/replaced_pixels.h"

#include <string>

#include "palette/palette.h"

namespace scribeline {

std::int64_t countReplacedPixels(const cv::Mat& before, const cv::Mat& after,
                                 const cv::Mat& lastOutput) {
  CV_Assert(after.empty() || after.type() == CV_8UC3);
  if (before.size() != after.size() || before.type() != after.type()) return 0;
  const bool blank = lastOutput.empty();
  CV_Assert(blank || (lastOutput.size() == after.size() &&
                      lastOutput.type() == after.type()));
  const cv::Vec3b blankPixel = labelPixel(0);
  std::int64_t count = 0;
  for (int y = 0; y < after.rows; ++y) {
    const cv::Vec3b* was = before.ptr<cv::Vec3b>(y);
    const cv::Vec3b* now = after.ptr<cv::Vec3b>(y);
    const cv::Vec3b* last = blank ? nullptr : lastOutput.ptr<cv::Vec3b>(y);
    for (int x = 0; x < after.cols; ++x) {
      if (was[x] == now[x]) continue;
      if (was[x] != (blank ? blankPixel : last[x])) ++count;
    }
  }
  return count;
}

void reportReplacedPixels(Workspace& workspace, std::int64_t count) {
  if (count == 0) return;
  say(workspace, std::to_string(count) +
                     " pixels painted otherwise were replaced; Ctrl+Z takes "
                     "them back\n");
}

}  // namespace scribeline
