// Superpixel adjacency of a photograph for the graph-cut benchmarks, built the
// way the lazy snapper builds it: graph-based segmentation with sigma 0.5,
// k 500, minimum size 20; right, lower and lower-right pixel contacts.
#pragma once

#include <algorithm>
#include <opencv2/core.hpp>
#include <opencv2/ximgproc/segmentation.hpp>
#include <set>
#include <string>
#include <vector>

#include "tests/support/photos.h"

namespace scribeline {
namespace bench {

// Path of the elephants photograph; empty when it is not found.
inline std::string findElephants() {
  return findPhoto("elephants_5640x3172.jpg");
}

struct SuperpixelGraph {
  int count = 0;
  std::vector<cv::Vec3d> means;
  std::vector<cv::Point2d> centres;
  std::vector<std::set<int>> neighbors;
};

inline SuperpixelGraph buildSuperpixels(const cv::Mat& image) {
  cv::Mat map;
  cv::ximgproc::segmentation::createGraphSegmentation(0.5, 500.0f, 20)
      ->processImage(image, map);
  SuperpixelGraph g;
  double maxLabel = 0;
  cv::minMaxLoc(map, nullptr, &maxLabel);
  g.count = static_cast<int>(maxLabel) + 1;
  g.means.assign(g.count, cv::Vec3d(0, 0, 0));
  g.centres.assign(g.count, cv::Point2d(0, 0));
  g.neighbors.resize(g.count);
  std::vector<int> sizes(g.count, 0);
  for (int y = 0; y < image.rows; ++y) {
    for (int x = 0; x < image.cols; ++x) {
      int p = map.at<int>(y, x);
      const cv::Vec3b& c = image.at<cv::Vec3b>(y, x);
      g.means[p] += cv::Vec3d(c[0], c[1], c[2]);
      g.centres[p] += cv::Point2d(x, y);
      ++sizes[p];
      if (y + 1 >= image.rows || x + 1 >= image.cols) continue;
      for (int q : {map.at<int>(y, x + 1), map.at<int>(y + 1, x),
                    map.at<int>(y + 1, x + 1)}) {
        if (q == p) continue;
        g.neighbors[p].insert(q);
        g.neighbors[q].insert(p);
      }
    }
  }
  for (int i = 0; i < g.count; ++i) {
    g.means[i] /= std::max(1, sizes[i]);
    g.centres[i] /= std::max(1, sizes[i]);
  }
  return g;
}

// Pair weight of two superpixels: 1000 / (1 + squared mean-colour difference).
inline float pairWeight(const SuperpixelGraph& g, int i, int j) {
  cv::Vec3d d = g.means[i] - g.means[j];
  return static_cast<float>(1000.0L / (1.0L + d.dot(d)));
}

}  // namespace bench
}  // namespace scribeline
