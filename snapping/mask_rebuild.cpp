#include <opencv2/core/utility.hpp>

#include "app/palette.h"
#include "snapping/lsnapper.h"

namespace scribeline {

// Every pixel lies in exactly one superpixel's pixel list, the one the map
// names, so painting through the map writes the same colours as walking the
// lists, in one cache-friendly pass. The 2-pixel frame along the image edges
// takes its own superpixel's label like every other pixel: the superpixels
// reach the edge, and a frame of any fixed label would draw an artificial
// border into the mask.
void rebuildMaskFromSuperpixels(const LSnapper& snapper, cv::Mat& mask) {
  const cv::Mat& image = snapper.image;
  mask.create(image.rows, image.cols, CV_8UC3);
  if (image.empty()) return;

  std::vector<cv::Vec3b> colours(snapper.numLabels);
  for (int l = 0; l < snapper.numLabels; ++l) {
    const cv::Scalar colour = labelColor(l);
    colours[l] = cv::Vec3b(cv::saturate_cast<uchar>(colour[0]),
                           cv::saturate_cast<uchar>(colour[1]),
                           cv::saturate_cast<uchar>(colour[2]));
  }
  std::vector<cv::Vec3b> superpixelColours(snapper.n);
  for (int s = 0; s < snapper.n; ++s) {
    superpixelColours[s] = colours[snapper.superpixelLabels[s]];
  }

  // Rows are independent, so they are shared among the cores.
  const int width = image.cols;
  cv::parallel_for_(cv::Range(0, image.rows), [&](const cv::Range& rows) {
    for (int y = rows.start; y < rows.end; ++y) {
      const int* labels =
          snapper.superpixelMap.data() + static_cast<size_t>(y) * width;
      cv::Vec3b* out = mask.ptr<cv::Vec3b>(y);
      for (int x = 0; x < width; ++x) out[x] = superpixelColours[labels[x]];
    }
  });
}

}  // namespace scribeline
