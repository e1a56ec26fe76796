#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <opencv2/core.hpp>
#include <optional>
#include <thread>
#include <vector>

#include "scissors/contour.h"
#include "scissors/directions.h"
#include "scissors/link_cost_field.h"
#include "scissors/live_wire_search.h"

namespace scribeline {

// One pixel of the cost graph together with what the last search left there.
struct ScissorNode {
  std::array<double, 8>
      linkCost;              // cost of one step to the neighbour in direction k
  std::uint8_t searchState;  // a SearchState value
  double pathCost;           // cheapest known cost from the seed
  std::optional<cv::Point> prev;  // predecessor on that path; empty at the seed
  int x;
  int y;
};

// Intelligent-scissors engine: an 8-connected link-cost graph over one
// photograph, the live-wire search over it, and the contours drawn with it.
//
// Every pixel links to its eight neighbours. A link is cheap where the colours
// on its two sides differ strongly; the costs are fixed by the photograph and
// computed from it where they are read (LinkCostField), so the engine holds
// no cost per pixel and is ready after one pass that finds the strongest link.
// searchFromSeed() leaves the tree of cheapest paths from one seed in the
// graph; paths are read back with pathToSeed(). seedSearch() gives the same
// tree on demand: each read settles the pixels the search needs before the one
// read, and no more.
//
// IMPORTANT: the reads (predecessor(), pathToSeed(), node(), settle()) are
// const because their answers are fixed by the seed and the photograph, but
// they may advance the search behind them. An IScissor must not be used from
// two threads at once, not even for reads.
//
// Settling ahead (settleAhead()): a thread of the engine's own, at a low
// priority, settles the current search further while no call is under way,
// from each seed until the search ends, so that a later read finds the
// pixels it needs settled. The search settles pixels in its one order
// whoever advances it, so every answer is the same with or without it; a
// call waits at most for the few pixels the thread is settling as it asks.
//
// The search's grid carries a ring of sentinel pixels so that it expands a
// pixel without bounds checks.
class IScissor {
 public:
  // REQUIRES: image is 8-bit, 3-channel (blue, green, red), or empty (an
  // engine without pixels). The photograph must outlive the IScissor; it is
  // never modified.
  explicit IScissor(const cv::Mat& image);
  ~IScissor();

  IScissor(const IScissor&) = delete;
  IScissor& operator=(const IScissor&) = delete;

  // Starts or stops settling ahead (see the class comment); off at first.
  void settleAhead(bool on);

  int width() const { return width_; }
  int height() const { return height_; }

  // Largest raw link strength of the image (M); 0 for a uniform image.
  double maxStrength() const { return costs_.maxStrength(); }

  // Cost of one step from (x, y) to its neighbour in direction k.
  // REQUIRES: (x, y) inside the image, 0 <= k < 8.
  double linkCost(int x, int y, int k) const;

  // REQUIRES: (x, y) inside the image.
  ScissorNode node(int x, int y) const;

  // Dijkstra from the seed over the whole image; afterwards every pixel's
  // predecessor chain ends at the seed. A seed outside the image is ignored.
  void searchFromSeed(int x, int y);

  // Discards the last search and seeds a new one at (x, y) without settling
  // any pixel, in time proportional to the rows the last search reached and
  // without allocating per-pixel storage. Every later read gives what it
  // would give after searchFromSeed(x, y). A seed outside the image is
  // ignored.
  void seedSearch(int x, int y);

  // Settles `pixel` in the current search unless it already is; then its
  // predecessor and path cost are final. Returns false, changing nothing,
  // before the first search and for a pixel outside the image.
  bool settle(cv::Point pixel) const;

  // Pixels settled since the current search was seeded.
  std::size_t settledCount() const;

  // True once a search has run; before that no pixel has a predecessor.
  bool hasSearched() const;

  // The seed of the last search. REQUIRES: hasSearched().
  cv::Point seed() const { return seed_; }

  // Predecessor of (x, y) in the last search; empty at the seed, before the
  // first search and for positions outside the image.
  std::optional<cv::Point> predecessor(cv::Point at) const;

  // The cheapest path of the last search from `from` back towards the seed:
  // `from` first, the seed itself excluded. Empty when `from` is the seed,
  // lies outside the image, or no search has run.
  std::vector<cv::Point> pathToSeed(cv::Point from) const;

  // Contours drawn with the tool, oldest first. While a contour is under way
  // it is the last one and its last point is the seed.
  const std::vector<Contour>& contours() const { return contours_; }
  std::vector<Contour>& contours() { return contours_; }

  // Appends an open contour holding only `start`.
  void startContour(cv::Point start, int label);

  // Appends to the last contour the path of the last search from its seed to
  // `to`, seed excluded, in order from the seed side; returns the number of
  // points appended. Appends nothing (returns 0) when `to` is the seed, when
  // there is no contour, or when the last search did not start at the last
  // contour's end, since the path would then not continue the contour.
  int appendSegment(cv::Point to);

  // Sets the closed flag of the last contour; nothing on an empty list.
  void finishContour(bool closed);

  // Takes back the newest committed segment of the contour under way, the
  // `length` points appendSegment returned for it (never the start point),
  // then seeds the search again at the contour's new end (seedSearch()).
  // Returns whether it did: a length of 0 or less (the start point, or a press
  // on the seed), an empty contour list and an empty last contour take
  // nothing back, so the caller keeps that length as its newest one.
  bool undoLastSegment(int length);

  // Removes the newest contour, if any: a finished one, or the one under way.
  void removeLastContour();

  // Rewrites the whole mask from the closed contours, sized to the image:
  // writeContoursIntoMask (scissors/mask_update.h) over contours().
  void updateMaskFromContours(cv::Mat& mask, bool filled) const;

  // Bytes the engine holds per pixel of the image: the search's per-pixel
  // fields and its heap (contours and the cost tables not counted).
  double bytesPerPixel() const;

 private:
  // Index of image pixel (x, y) in the padded grid.
  std::size_t gridIndex(int x, int y) const {
    return static_cast<std::size_t>(y + 1) * static_cast<std::size_t>(stride_) +
           static_cast<std::size_t>(x + 1);
  }
  bool inside(int x, int y) const {
    return x >= 0 && y >= 0 && x < width_ && y < height_;
  }

  std::vector<Contour> contours_;
  const cv::Mat* image_;
  int width_;
  int height_;
  int stride_;  // width_ + 2: one sentinel column on each side
  LinkCostField costs_;
  // Reads settle pixels on demand; see the class comment.
  mutable LiveWireSearch search_;
  cv::Point seed_;

  // Settling ahead. The search is touched under searchMutex_ while the
  // thread runs; a call announces itself in callsWaiting_, and the thread
  // lets it in within a few pixels.
  void settleAheadLoop();
  mutable std::recursive_mutex searchMutex_;
  mutable std::condition_variable_any aheadWake_;
  mutable std::atomic<int> callsWaiting_{0};
  bool aheadStop_ = false;
  std::thread ahead_;

  // The search for one call. While the thread settling ahead runs, the call
  // takes the search from it (within a few pixels of its work) and hands it
  // back on leaving; calls may nest.
  class SearchAccess {
   public:
    explicit SearchAccess(const IScissor& scissor) : scissor_(scissor) {
      if (!scissor.ahead_.joinable()) return;
      scissor.callsWaiting_.fetch_add(1);
      lock_ = std::unique_lock<std::recursive_mutex>(scissor.searchMutex_);
      scissor.callsWaiting_.fetch_sub(1);
    }
    ~SearchAccess() {
      if (!lock_.owns_lock()) return;
      lock_.unlock();
      scissor_.aheadWake_.notify_one();
    }
    SearchAccess(const SearchAccess&) = delete;
    SearchAccess& operator=(const SearchAccess&) = delete;

   private:
    const IScissor& scissor_;
    std::unique_lock<std::recursive_mutex> lock_;
  };
};

}  // namespace scribeline
