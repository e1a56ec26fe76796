#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <memory>
#include <opencv2/core.hpp>
#include <vector>

namespace scribeline {

// Colour distance of the fill: the Euclidean distance of two (blue, green,
// red) byte triples, rounded up to a whole number, so that "distance <= t"
// for a whole t is exact. 0 .. kMaxFillTolerance.
constexpr int kMaxFillTolerance = 442;  // ceil(255 * sqrt(3))
int fillColourDistance(const cv::Vec3b& a, const cv::Vec3b& b);

// The region a fill from one seed pixel covers, for any tolerance, grown
// incrementally as the tolerance rises.
//
// Each pixel reached gets a key: the least, over the 8-connected paths from
// the seed to it, of the largest colour distance to the seed's colour along
// the path. The region for tolerance t is exactly the pixels whose key is
// at most t: the seed's 8-connected component of the pixels within t of its
// colour. Pixels are taken in rising key order from buckets, one per key; a
// pixel's key is final when it is first reached (the key of the bucket that
// reaches it or its own distance, whichever is larger), so every pixel is
// reached once. growTo(t) works through the buckets up to t and keeps the
// ones above for a later rise; lowering the tolerance is a threshold.
//
// Memory: two bytes per photo pixel for the keys (zero pages the system
// gives on demand: a small region touches few), plus four per pixel reached
// but not yet taken (a frontier around the region), freed as taken.
class RegionGrowth {
 public:
  // Starts over from `seed` of `photo` (8-bit BGR; shared, not copied, until
  // clear) and grows to `tolerance`. REQUIRES: seed inside the photo.
  void start(const cv::Mat& photo, cv::Point seed, int tolerance);
  // The region for `tolerance` (clamped to 0 .. kMaxFillTolerance): grows
  // when it rises above every tolerance grown to so far.
  void setTolerance(int tolerance);
  // Frees everything; active() turns false.
  void clear();

  bool active() const { return !photo_.empty(); }
  const cv::Mat& photo() const { return photo_; }
  cv::Point seed() const { return seed_; }
  int tolerance() const { return tolerance_; }
  // A row of stored keys: key + 1 for a pixel reached, 0 for the others,
  // with kTaken set once the pixel's neighbours are reached.
  const std::uint16_t* keyRow(int y) const {
    return keys_.get() + static_cast<size_t>(y) * photo_.cols;
  }
  static constexpr std::uint16_t kTaken = 0x8000;
  // Whether a stored key (keyRow) is in the region.
  bool inRegion(std::uint16_t stored) const {
    return static_cast<std::uint16_t>((stored & ~kTaken) - 1) <= tolerance_;
  }
  bool contains(cv::Point p) const { return inRegion(keyRow(p.y)[p.x]); }
  // The smallest rectangle holding the region at the current tolerance.
  cv::Rect bounds() const;
  // Pixels in the region at the current tolerance.
  size_t area() const;

  // Frees the keys' pages.
  struct Unmap {
    size_t bytes;
    void operator()(std::uint16_t* p) const;
  };

 private:
  // Takes every pixel of the buckets up to `tolerance` not yet taken.
  void growTo(int tolerance);
  int reach(size_t index, int bucket, bool queue);

  cv::Mat photo_;
  cv::Point seed_;
  cv::Vec3b seedColour_;
  const std::uint16_t* roots_ = nullptr;
  int tolerance_ = 0;
  int grown_ = -1;  // every bucket up to this one is taken
  // Zeroed pages of the system (large pages where it has them).
  std::unique_ptr<std::uint16_t[], Unmap> keys_{nullptr, Unmap{0}};
  // Pixel indices reached, by key; the bucket being taken is read from
  // `head_` on.
  std::vector<std::vector<std::uint32_t>> buckets_;
  size_t head_ = 0;
  // Per key k, once its bucket is taken: the bounding box and the number of
  // the pixels with key <= k.
  std::array<cv::Rect, kMaxFillTolerance + 1> boxes_;
  std::array<size_t, kMaxFillTolerance + 1> counts_{};
  int left_ = INT_MAX, top_ = INT_MAX, right_ = -1, bottom_ = -1;
  size_t count_ = 0;
};

}  // namespace scribeline
