#include "snapping/superpixel_model.h"

#include <algorithm>
#include <climits>

namespace scribeline {

std::vector<Superpixel> buildSuperpixels(const cv::Mat& image,
                                         const int* superpixelMap, int n) {
  CV_Assert(image.type() == CV_8UC3);
  const int width = image.cols;
  const int height = image.rows;

  // Until a superpixel's first pixel, its box is inverted (left > right),
  // so that the first min and max set both columns.
  std::vector<Superpixel> superpixels(n);
  for (Superpixel& superpixel : superpixels) {
    superpixel.left = INT_MAX;
    superpixel.right = INT_MIN;
  }

  // Colour sums are kept in double: a float sum stops being exact past 2^24
  // and drifts by whole grey levels on superpixels of a few hundred thousand
  // pixels, while the mean is only wanted as a float at the end.
  std::vector<cv::Vec3d> sums(n, cv::Vec3d(0, 0, 0));
  for (int y = 0; y < height; ++y) {
    const cv::Vec3b* pixel = image.ptr<cv::Vec3b>(y);
    const int* labels = superpixelMap + static_cast<size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      const int s = labels[x];
      Superpixel& superpixel = superpixels[s];
      if (superpixel.count++ == 0) superpixel.top = y;
      superpixel.bottom = y;
      superpixel.left = std::min(superpixel.left, x);
      superpixel.right = std::max(superpixel.right, x);
      cv::Vec3d& sum = sums[s];
      sum[0] += pixel[x][0];
      sum[1] += pixel[x][1];
      sum[2] += pixel[x][2];
    }
  }

  for (int s = 0; s < n; ++s) {
    Superpixel& superpixel = superpixels[s];
    if (superpixel.count == 0) {
      superpixel.left = 0;
      superpixel.right = -1;
    }
    const double count = static_cast<double>(superpixel.count);
    superpixel.meanB = static_cast<float>(sums[s][0] / count);
    superpixel.meanG = static_cast<float>(sums[s][1] / count);
    superpixel.meanR = static_cast<float>(sums[s][2] / count);
  }
  return superpixels;
}

void findNeighbours(const int* superpixelMap, int width, int height,
                    std::vector<Superpixel>& superpixels) {
  const int n = static_cast<int>(superpixels.size());
  // Long shared borders repeat the same contact pixel after pixel; the last
  // contact recorded per superpixel filters most repeats before the final
  // sort, which keeps the lists short.
  std::vector<int> lastContact(n, -1);
  auto link = [&](int p, int q) {
    if (lastContact[p] != q) {
      superpixels[p].neighbours.push_back(q);
      lastContact[p] = q;
    }
    if (lastContact[q] != p) {
      superpixels[q].neighbours.push_back(p);
      lastContact[q] = p;
    }
  };

  //   p  r      base pixel p is compared with r (right), b (below) and
  //   b  d      d (below right) only
  for (int y = 0; y + 1 < height; ++y) {
    const int* row = superpixelMap + static_cast<size_t>(y) * width;
    const int* below = row + width;
    for (int x = 0; x + 1 < width; ++x) {
      const int p = row[x];
      if (row[x + 1] != p) link(p, row[x + 1]);
      if (below[x] != p) link(p, below[x]);
      if (below[x + 1] != p) link(p, below[x + 1]);
    }
  }

  for (Superpixel& superpixel : superpixels) {
    std::vector<int>& list = superpixel.neighbours;
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    list.shrink_to_fit();
  }
}

float neighbourWeight(const Superpixel& a, const Superpixel& b) {
  const long double dB = static_cast<long double>(a.meanB) - b.meanB;
  const long double dG = static_cast<long double>(a.meanG) - b.meanG;
  const long double dR = static_cast<long double>(a.meanR) - b.meanR;
  return static_cast<float>(1000.0L / (1.0L + dB * dB + dG * dG + dR * dR));
}

}  // namespace scribeline
