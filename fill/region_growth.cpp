#include "fill/region_growth.h"

#include <sys/mman.h>

#include <algorithm>
#include <climits>
#include <new>

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

void RegionGrowth::Unmap::operator()(std::uint16_t* p) const {
  if (p != nullptr) munmap(p, bytes);
}

namespace {

// Zeroed memory for `count` keys straight from the system, asking for large
// pages: a fill of the whole photo then takes a few dozen page faults, not
// one per 4 KiB.
std::unique_ptr<std::uint16_t[], RegionGrowth::Unmap> zeroedKeys(size_t count) {
  const size_t bytes = std::max<size_t>(count * sizeof(std::uint16_t), 1);
  void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  madvise(p, bytes, MADV_HUGEPAGE);
  return {static_cast<std::uint16_t*>(p), RegionGrowth::Unmap{bytes}};
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
  keys_ = zeroedKeys(photo.total());
  buckets_.resize(kMaxFillTolerance + 1);
  roots_ = roundedUpRoots().data();
  reach(static_cast<size_t>(seed.y) * photo.cols + seed.x, 0, true);
  setTolerance(tolerance);
}

void RegionGrowth::clear() {
  photo_.release();
  keys_.reset();
  std::vector<std::vector<std::uint32_t>>().swap(buckets_);
  head_ = 0;
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
// own distance to the seed's colour. Returns the key.
inline int RegionGrowth::reach(size_t index, int bucket, bool queue) {
  const cv::Vec3b colour =
      reinterpret_cast<const cv::Vec3b*>(photo_.data)[index];
  // Within the bucket's distance, the key is the bucket's, without a look-up
  // in the table of roots (larger than the nearer caches).
  const int squared = squaredDistance(colour, seedColour_);
  const int key = squared <= bucket * bucket ? bucket : roots_[squared];
  keys_[index] = static_cast<std::uint16_t>(key + 1);
  if (queue || key != bucket)
    buckets_[key].push_back(static_cast<std::uint32_t>(index));
  return key;
}

// Bucket b is taken run by run along the rows: from a pixel of key b, the
// run of its row through the pixels of key b (reached and not yet taken, or
// reached now) is taken at once, and the rows above and below it are
// searched once over the run's span, one cache-friendly sweep per row. A
// pixel of key b found there is queued only where a run of them begins:
// the run from it takes the rest.
void RegionGrowth::growTo(int tolerance) {
  const std::uint32_t width = static_cast<std::uint32_t>(photo_.cols);
  const std::uint32_t height = static_cast<std::uint32_t>(photo_.rows);
  std::uint16_t* const keys = keys_.get();
  const size_t total = photo_.total();
  constexpr size_t kAhead = 16;
  for (int b = grown_ + 1; b <= tolerance; ++b) {
    const std::uint16_t mine = static_cast<std::uint16_t>(b + 1);
    std::vector<std::uint32_t>& bucket = buckets_[b];
    // Whether the pixel, in the row of the run, joins the run.
    auto joins = [&](size_t index) {
      const std::uint16_t stored = keys[index];
      if (stored == mine) return true;
      return stored == 0 && reach(index, b, false) == b;
    };
    // The row above or below a run [left, right] of row `row`.
    auto search = [&](size_t rowStart, std::uint32_t left,
                      std::uint32_t right) {
      bool inRun = false;
      for (std::uint32_t x = left; x <= right; ++x) {
        const size_t index = rowStart + x;
        const std::uint16_t stored = keys[index];
        if (stored == mine) {
          inRun = true;
        } else if (stored == 0) {
          const bool mineNow = reach(index, b, !inRun) == b;
          inRun = mineNow;
        } else {
          inRun = false;
        }
      }
    };
    head_ = 0;
    while (head_ < bucket.size()) {
      // What was taken goes once it is half the bucket, so that the bucket
      // holds about the pixels still to take.
      if (head_ >= 4096 && 2 * head_ >= bucket.size()) {
        bucket.erase(bucket.begin(), bucket.begin() + head_);
        head_ = 0;
      }
      // The pixels queued a little ahead lie anywhere in the photo: their
      // keys and colours are fetched while this one is taken.
      if (head_ + kAhead < bucket.size()) {
        const size_t ahead = bucket[head_ + kAhead];
        __builtin_prefetch(keys + ahead);
        __builtin_prefetch(photo_.data + 3 * ahead);
        if (ahead >= width) {
          __builtin_prefetch(keys + ahead - width);
          __builtin_prefetch(photo_.data + 3 * (ahead - width));
        }
        if (ahead + width < total) {
          __builtin_prefetch(keys + ahead + width);
          __builtin_prefetch(photo_.data + 3 * (ahead + width));
        }
      }
      const std::uint32_t start = bucket[head_++];
      if (keys[start] != mine) continue;  // taken by a run already
      const std::uint32_t y = start / width;
      const size_t rowStart = static_cast<size_t>(y) * width;
      std::uint32_t left = start - static_cast<std::uint32_t>(rowStart);
      std::uint32_t right = left;
      while (left > 0 && joins(rowStart + left - 1)) --left;
      while (right + 1 < width && joins(rowStart + right + 1)) ++right;
      for (std::uint32_t x = left; x <= right; ++x)
        keys[rowStart + x] = mine | kTaken;
      left_ = std::min(left_, static_cast<int>(left));
      right_ = std::max(right_, static_cast<int>(right));
      top_ = std::min(top_, static_cast<int>(y));
      bottom_ = std::max(bottom_, static_cast<int>(y));
      count_ += right - left + 1;
      const std::uint32_t from = left > 0 ? left - 1 : 0;
      const std::uint32_t to = right + 1 < width ? right + 1 : right;
      if (y > 0) search(rowStart - width, from, to);
      if (y + 1 < height) search(rowStart + width, from, to);
    }
    std::vector<std::uint32_t>().swap(bucket);
    head_ = 0;
    boxes_[b] = count_ == 0 ? cv::Rect()
                            : cv::Rect(left_, top_, right_ - left_ + 1,
                                       bottom_ - top_ + 1);
    counts_[b] = count_;
    grown_ = b;
  }
}

}  // namespace scribeline
