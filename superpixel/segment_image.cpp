#include "superpixel/segment_image.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "superpixel/edge_graph.h"
#include "superpixel/large_array.h"
#include "superpixel/segment_graph.h"
#include "superpixel/smoothing.h"
#include "superpixel/sorted_edges.h"

namespace scribeline {

namespace {

// An 8-bit image with 1, 3 or 4 channels as it is; anything else converted
// to 8-bit (saturating) with its channel count kept.
cv::Mat asEightBit(const cv::Mat& image) {
  if (image.depth() == CV_8U) {
    return image;
  }
  cv::Mat converted;
  image.convertTo(converted, CV_8U);
  return converted;
}

// The three planes of the photo smoothed, red, green and blue.
SmoothedPlanes smoothedPlanes(const cv::Mat& image, float sigma,
                              int numThreads) {
  const cv::Mat pixels = asEightBit(image);
  // Red, green and blue of a blue-green-red image. One channel gives three
  // equal planes; two channels are read as blue and green with red taken
  // from blue; channels after the third are ignored.
  const int channels = pixels.channels();
  const int blue = 0;
  const int green = channels > 1 ? 1 : 0;
  const int red = channels > 2 ? 2 : 0;
  return smoothChannels(pixels, {red, green, blue}, sigma, numThreads);
}

// The sorted prefix of the list published by the sorting thread to the
// merging thread.
class SortedPrefix {
 public:
  void publish(std::size_t end) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      end_ = end;
    }
    grown_.notify_one();
  }
  // Blocks until the prefix is longer than known, and returns its length.
  std::size_t waitBeyond(std::size_t known) {
    std::unique_lock<std::mutex> lock(mutex_);
    grown_.wait(lock, [this, known] { return end_ > known; });
    return end_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable grown_;
  std::size_t end_ = 0;
};

// The edges are placed, sorted and merged in rounds of consecutive buckets
// of about 1 / numRounds of the list each; the list's pages are given back
// as soon as the merge has passed them, so that the edges of at most two
// rounds are held at a time rather than the whole list. Each round visits
// every edge of the image again (only those of its buckets are placed).
constexpr int numRounds = 6;

// Bucket bounds of the rounds: round r holds buckets bounds[r] ..
// bounds[r+1]-1; no bucket is split.
std::vector<std::size_t> roundBounds(const BucketPlacer& placer) {
  std::vector<std::size_t> bounds{0};
  for (int round = 1; round < numRounds; ++round) {
    const std::size_t bucket =
        placer.bucketHolding(static_cast<double>(round) / numRounds);
    if (bucket > bounds.back()) bounds.push_back(bucket);
  }
  if (bounds.back() < bucketCount()) bounds.push_back(bucketCount());
  return bounds;
}

// Gives back the pages of the list below `end` not given back yet.
class ListRelease {
 public:
  explicit ListRelease(PackedEdgeList& list) : list_(list) {}
  void upTo(std::size_t end) {
    if (end <= released_) return;
    releasePages(list_.edges.get() + released_, list_.edges.get() + end);
    released_ = end;
  }

 private:
  PackedEdgeList& list_;
  std::size_t released_ = 0;
};

// Room for every edge of the placer's list, in pages held only once
// written.
PackedEdgeList roomForUnjoined(const BucketedEdges& edges) {
  PackedEdgeList list;
  list.edges = allocateLarge<PackedEdge>(edges.list.count);
  list.width = edges.list.width;
  return list;
}

// Places the edges of the smoothed planes in their buckets, sorts the
// buckets and runs the merge over the sorted list, in rounds; returns the
// forest, and in unjoined the edges the merge left between components, in
// order. With two threads both place the first round; then a helper sorts
// it and places and sorts the later rounds while this thread merges every
// prefix as soon as it is final (the helper starts a round only once the
// merge has finished the one before the last). The merge sees the same
// edges in the same order either way, so the forest does not depend on the
// timing.
DisjointSet placeSortAndMerge(SmoothedPlanes smoothed, PackedEdgeList& unjoined,
                              int numPixels, float k, int numThreads) {
  BucketPlacer placer(std::move(smoothed.planes[0]),
                      std::move(smoothed.planes[1]),
                      std::move(smoothed.planes[2]), numThreads);
  BucketedEdges& placed = placer.edges();
  const PackedEdgeList& list = placed.list;
  const std::vector<std::size_t> bounds = roundBounds(placer);
  unjoined = roomForUnjoined(placed);
  RegionMerger merger(numPixels, k, &unjoined);
  ListRelease release(placed.list);
  if (numThreads < 2) {
    for (std::size_t round = 0; round + 1 < bounds.size(); ++round) {
      placer.place(bounds[round], bounds[round + 1], 1);
      sortBuckets(placed, bounds[round], bounds[round + 1],
                  [&](std::size_t end) {
                    merger.mergeUpTo(list, end);
                    release.upTo(end);
                  });
    }
    placer.releasePlanes();
    return merger.takeComponents();
  }
  if (bounds.size() > 1) placer.place(bounds[0], bounds[1], numThreads);
  SortedPrefix sorted;
  SortedPrefix merged;
  std::thread helper([&] {
    const auto publish = [&sorted](std::size_t end) { sorted.publish(end); };
    for (std::size_t round = 0; round + 1 < bounds.size(); ++round) {
      if (round > 0) {
        // Rounds round - 1 and round are the ones held.
        if (round > 1 && placed.bucketStart[bounds[round - 1]] > 0)
          merged.waitBeyond(placed.bucketStart[bounds[round - 1]] - 1);
        placer.place(bounds[round], bounds[round + 1], 1);
      }
      // The planes are needed by no later round.
      if (round + 2 == bounds.size()) placer.releasePlanes();
      sortBuckets(placed, bounds[round], bounds[round + 1], publish);
    }
  });
  // Joins the helper however this function is left; a helper waiting for
  // the merge is let go first.
  const struct JoinOnExit {
    std::thread& thread;
    SortedPrefix& merged;
    ~JoinOnExit() {
      merged.publish(SIZE_MAX);
      if (thread.joinable()) {
        thread.join();
      }
    }
  } joinHelper{helper, merged};
  for (std::size_t done = 0; done < list.count;) {
    done = sorted.waitBeyond(done);
    merger.mergeUpTo(list, done);
    release.upTo(done);
    merged.publish(done);
  }
  DisjointSet components = merger.takeComponents();
  helper.join();
  return components;
}

}  // namespace

int segmentImage(const cv::Mat& image, int* superpixelMap, float sigma, float k,
                 int minSize) {
  return segmentImage(image, superpixelMap, sigma, k, minSize,
                      Concurrency::twoThreads);
}

int segmentImage(const cv::Mat& image, int* superpixelMap, float sigma, float k,
                 int minSize, Concurrency concurrency) {
  if (image.empty()) {
    return 0;
  }
  const int numThreads = concurrency == Concurrency::twoThreads ? 2 : 1;
  const int numPixels = image.cols * image.rows;
  DisjointSet components(0);
  {
    // The list gets sorted exactly as sortEdgesByWeight would sort it.
    PackedEdgeList unjoined;
    components = placeSortAndMerge(smoothedPlanes(image, sigma, numThreads),
                                   unjoined, numPixels, k, numThreads);
    mergeSmallComponents(components, unjoined, minSize, numThreads);
  }
  const int numSuperpixels = components.numSets();
  numberComponents(components, numPixels, superpixelMap, numThreads);
  return numSuperpixels;
}

}  // namespace scribeline
