#include <cstdint>
#include <cstring>
#include <opencv2/core/utility.hpp>

#include "palette/palette.h"
#include "snapping/lsnapper.h"

namespace scribeline {

// The map names every pixel's superpixel, so the mask is painted in one
// cache-friendly pass over it. The 2-pixel frame along the image edges
// takes its own superpixel's label like every other pixel: the superpixels
// reach the edge, and a frame of any fixed label would draw an artificial
// border into the mask.
void rebuildMaskFromSuperpixels(const LSnapper& snapper, cv::Mat& mask) {
  const cv::Mat& image = snapper.image;
  mask.create(image.rows, image.cols, CV_8UC3);
  if (image.empty()) return;

  // Each superpixel's colour as 4 bytes (blue, green, red, 0), so that a
  // pixel is one 4-byte store; the spare byte lands on the next pixel's
  // blue, which that pixel's own store then overwrites. The last pixel of a
  // row gets only its 3 bytes, as rows need not be followed by anything.
  std::vector<std::uint32_t> labelWords(snapper.numLabels);
  for (int l = 0; l < snapper.numLabels; ++l) {
    const cv::Vec3b pixel = labelPixel(l);
    const unsigned char bytes[4] = {pixel[0], pixel[1], pixel[2], 0};
    std::memcpy(&labelWords[l], bytes, 4);
  }
  std::vector<std::uint32_t> superpixelWords(snapper.n);
  for (int s = 0; s < snapper.n; ++s) {
    superpixelWords[s] = labelWords[snapper.superpixelLabels[s]];
  }

  // Rows are independent, so they are shared among the cores.
  const int width = image.cols;
  const std::uint32_t* words = superpixelWords.data();
  cv::parallel_for_(cv::Range(0, image.rows), [&](const cv::Range& rows) {
    for (int y = rows.start; y < rows.end; ++y) {
      const int* labels =
          snapper.superpixelMap.data() + static_cast<size_t>(y) * width;
      unsigned char* pixel = mask.ptr<unsigned char>(y);
      unsigned char* const last = pixel + 3 * (width - 1);
      const int* label = labels;
      // Four pixels a step keep four independent lookups in flight.
      for (; pixel + 12 <= last; pixel += 12, label += 4) {
        std::memcpy(pixel, &words[label[0]], 4);
        std::memcpy(pixel + 3, &words[label[1]], 4);
        std::memcpy(pixel + 6, &words[label[2]], 4);
        std::memcpy(pixel + 9, &words[label[3]], 4);
      }
      for (; pixel < last; pixel += 3, ++label) {
        std::memcpy(pixel, &words[*label], 4);
      }
      std::memcpy(last, &words[labels[width - 1]], 3);
    }
  });
  paintSplits(snapper.splits, snapper.superpixels, snapper.superpixelMap.data(),
              mask);
}

}  // namespace scribeline
