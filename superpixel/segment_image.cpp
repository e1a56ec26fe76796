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

// The edges of the smoothed planes, placed in their weight buckets.
BucketedEdges smoothedEdgesInBuckets(const cv::Mat& image, float sigma, int numThreads) {
    const cv::Mat pixels = asEightBit(image);
    // Red, green and blue of a blue-green-red image. One channel gives three
    // equal planes; two channels are read as blue and green with red taken
    // from blue; channels after the third are ignored.
    const int channels = pixels.channels();
    const int blue = 0;
    const int green = channels > 1 ? 1 : 0;
    const int red = channels > 2 ? 2 : 0;
    SmoothedPlanes smoothed = smoothChannels(pixels, {red, green, blue}, sigma, numThreads);
    return placeEdgesInBuckets(std::move(smoothed.planes[0]), std::move(smoothed.planes[1]),
                               std::move(smoothed.planes[2]), numThreads);
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

// Sorts the buckets and runs the merge over the sorted list. With two
// threads a helper sorts the buckets in increasing order while this thread
// merges every prefix as soon as it is final. The merge sees the same edges
// in the same order either way, so the forest does not depend on the timing.
DisjointSet mergeWhileSorting(BucketedEdges& bucketed, int numPixels, float k, int numThreads) {
    const PackedEdgeList& edges = bucketed.list;
    const std::size_t count = edges.count;
    if (numThreads < 2) {
        RegionMerger merger(numPixels, k);
        sortBuckets(bucketed, [&merger, &edges](std::size_t end) { merger.mergeUpTo(edges, end); });
        return merger.takeComponents();
    }
    SortedPrefix prefix;
    std::thread sorter([&bucketed, &prefix] {
        sortBuckets(bucketed, [&prefix](std::size_t end) { prefix.publish(end); });
    });
    // Joins the sorter however this function is left (the forest's
    // allocation may throw).
    const struct JoinOnExit {
        std::thread& thread;
        ~JoinOnExit() { thread.join(); }
    } joinSorter{sorter};
    // The forest is set up while the first buckets are being sorted.
    RegionMerger merger(numPixels, k);
    for (std::size_t merged = 0; merged < count;) {
        merged = prefix.waitBeyond(merged);
        merger.mergeUpTo(edges, merged);
    }
    return merger.takeComponents();
}

}  // namespace

int segmentImage(const cv::Mat& image, int* superpixelMap, float sigma, float k, int minSize) {
    return segmentImage(image, superpixelMap, sigma, k, minSize, Concurrency::twoThreads);
}

int segmentImage(const cv::Mat& image, int* superpixelMap, float sigma, float k, int minSize,
                 Concurrency concurrency) {
    if (image.empty()) {
        return 0;
    }
    const int numThreads = concurrency == Concurrency::twoThreads ? 2 : 1;
    const int numPixels = image.cols * image.rows;
    DisjointSet components(0);
    {
        BucketedEdges edges = smoothedEdgesInBuckets(image, sigma, numThreads);
        // The list gets sorted exactly as segmentGraph would sort it.
        components = mergeWhileSorting(edges, numPixels, k, numThreads);
        mergeSmallComponents(components, edges.list, minSize, numThreads);
    }
    const int numSuperpixels = components.numSets();
    numberComponents(components, numPixels, superpixelMap, numThreads);
    return numSuperpixels;
}

}  // namespace scribeline
