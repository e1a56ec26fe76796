#include "superpixel/segment_image.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <utility>

#include "superpixel/edge_graph.h"
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

// Share of the edges placed by both threads before the merge starts; the
// helper thread places the rest while the merge works through these.
constexpr double firstRoundShare = 0.3;

// Places the edges of the smoothed planes in their buckets, sorts the
// buckets and runs the merge over the sorted list; returns the forest, and
// leaves the sorted list in edges. With two threads both place the edges of
// the first buckets; then a helper sorts them, places and sorts the others,
// while this thread merges every prefix as soon as it is final. The merge
// sees the same edges in the same order either way, so the forest does not
// depend on the timing.
DisjointSet placeSortAndMerge(SmoothedPlanes smoothed, BucketedEdges& edges,
                              int numPixels, float k, int numThreads) {
  if (numThreads < 2) {
    edges = placeEdgesInBuckets(std::move(smoothed.planes[0]),
                                std::move(smoothed.planes[1]),
                                std::move(smoothed.planes[2]), 1);
    RegionMerger merger(numPixels, k);
    const PackedEdgeList& list = edges.list;
    sortBuckets(edges, [&merger, &list](std::size_t end) {
      merger.mergeUpTo(list, end);
    });
    return merger.takeComponents();
  }
  BucketPlacer placer(std::move(smoothed.planes[0]),
                      std::move(smoothed.planes[1]),
                      std::move(smoothed.planes[2]), numThreads);
  const std::size_t firstLater = placer.bucketHolding(firstRoundShare);
  placer.place(0, firstLater, numThreads);
  BucketedEdges& placed = placer.edges();
  SortedPrefix prefix;
  std::thread helper([&placer, &placed, &prefix, firstLater] {
    const auto publish = [&prefix](std::size_t end) { prefix.publish(end); };
    sortBuckets(placed, 0, firstLater, publish);
    placer.place(firstLater, bucketCount(), 1);
    placer.releasePlanes();
    sortBuckets(placed, firstLater, bucketCount(), publish);
  });
  // Joins the helper however this function is left (the forest's
  // allocation may throw).
  const struct JoinOnExit {
    std::thread& thread;
    ~JoinOnExit() {
      if (thread.joinable()) {
        thread.join();
      }
    }
  } joinHelper{helper};
  // The forest is set up while the first buckets are being sorted.
  RegionMerger merger(numPixels, k);
  const PackedEdgeList& list = placed.list;
  for (std::size_t merged = 0; merged < list.count;) {
    merged = prefix.waitBeyond(merged);
    merger.mergeUpTo(list, merged);
  }
  DisjointSet components = merger.takeComponents();
  helper.join();  // done with the list once the last prefix is published
  edges = std::move(placed);
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
    BucketedEdges edges;
    // The list gets sorted exactly as sortEdgesByWeight would sort it.
    components = placeSortAndMerge(smoothedPlanes(image, sigma, numThreads),
                                   edges, numPixels, k, numThreads);
    mergeSmallComponents(components, edges.list, minSize, numThreads);
  }
  const int numSuperpixels = components.numSets();
  numberComponents(components, numPixels, superpixelMap, numThreads);
  return numSuperpixels;
}

}  // namespace scribeline
