#include "fill/region_growth.h"

#include <algorithm>
#include <climits>

namespace scribeline {
namespace {

constexpr int kMaxSquaredDistance = 3 * 255 * 255;

// ceil(sqrt(d)) for every squared distance d two colours can have.
const std::vector<std::uint16_t>& roundedUpRoots() {
  static const std::vector<std::uint16_t> table = [] {
    std::vector<std::uint16_t> roots(kMaxSquaredDistance + 1);
    int root = 0;
    for (int d = 0; d <= kMaxSquaredDistance; ++d) {
      while (root * root < d) ++root;
      roots[d] = static_cast<std::uint16_t>(root);
    }
    return roots;
  }();
  return table;
}

int squaredDistance(const cv::Vec3b& a, const cv::Vec3b& b) {
  const int d0 = a[0] - b[0], d1 = a[1] - b[1], d2 = a[2] - b[2];
  return d0 * d0 + d1 * d1 + d2 * d2;
}

}  // namespace

int fillColourDistance(const cv::Vec3b& a, const cv::Vec3b& b) {
  return roundedUpRoots()[squaredDistance(a, b)];
}

void RegionGrowth::start(const cv::Mat& photo, cv::Point seed, int tolerance) {
  clear();
  CV_Assert(photo.type() == CV_8UC3 && !photo.empty());
  CV_Assert(seed.x >= 0 && seed.y >= 0 && seed.x < photo.cols &&
            seed.y < photo.rows);
  photo_ = photo;
  seed_ = seed;
  seedColour_ = photo.at<cv::Vec3b>(seed);
  keys_.assign(photo.total(), kUnreached);
  buckets_.resize(kMaxFillTolerance + 1);
  reach(static_cast<size_t>(seed.y) * photo.cols + seed.x, 0);
  setTolerance(tolerance);
}

void RegionGrowth::clear() {
  photo_.release();
  std::vector<std::uint16_t>().swap(keys_);
  std::vector<std::deque<std::uint32_t>>().swap(buckets_);
  tolerance_ = 0;
  grown_ = -1;
  left_ = top_ = INT_MAX;
  right_ = bottom_ = -1;
  count_ = 0;
}

void RegionGrowth::setTolerance(int tolerance) {
  if (!active()) return;
  tolerance_ = std::clamp(tolerance, 0, kMaxFillTolerance);
  growTo(tolerance_);
}

cv::Rect RegionGrowth::bounds() const {
  return active() ? boxes_[tolerance_] : cv::Rect();
}

size_t RegionGrowth::area() const { return active() ? counts_[tolerance_] : 0; }

// The pixel gets its final key: the larger of the bucket being taken and its
// own distance to the seed's colour.
inline void RegionGrowth::reach(size_t index, int bucket) {
  const cv::Vec3b colour =
      reinterpret_cast<const cv::Vec3b*>(photo_.data)[index];
  const int key = std::max<int>(
      bucket, roundedUpRoots()[squaredDistance(colour, seedColour_)]);
  keys_[index] = static_cast<std::uint16_t>(key);
  buckets_[key].push_back(static_cast<std::uint32_t>(index));
}

void RegionGrowth::growTo(int tolerance) {
  const int width = photo_.cols, height = photo_.rows;
  const std::ptrdiff_t w = width;
  const std::ptrdiff_t offsets[8] = {-w - 1, -w,    -w + 1, -1,
                                     1,      w - 1, w,      w + 1};
  for (int b = grown_ + 1; b <= tolerance; ++b) {
    std::deque<std::uint32_t>& bucket = buckets_[b];
    while (!bucket.empty()) {
      const size_t index = bucket.front();
      bucket.pop_front();
      const int y = static_cast<int>(index / width);
      const int x = static_cast<int>(index - static_cast<size_t>(y) * width);
      left_ = std::min(left_, x);
      right_ = std::max(right_, x);
      top_ = std::min(top_, y);
      bottom_ = std::max(bottom_, y);
      ++count_;
      if (x > 0 && y > 0 && x + 1 < width && y + 1 < height) {
        for (const std::ptrdiff_t offset : offsets) {
          const size_t next = index + offset;
          if (keys_[next] == kUnreached) reach(next, b);
        }
        continue;
      }
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = x + dx, ny = y + dy;
          if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= width ||
              ny >= height)
            continue;
          const size_t next = static_cast<size_t>(ny) * width + nx;
          if (keys_[next] == kUnreached) reach(next, b);
        }
      }
    }
    std::deque<std::uint32_t>().swap(bucket);
    boxes_[b] = count_ == 0 ? cv::Rect()
                            : cv::Rect(left_, top_, right_ - left_ + 1,
                                       bottom_ - top_ + 1);
    counts_[b] = count_;
    grown_ = b;
  }
}

}  // namespace scribeline
