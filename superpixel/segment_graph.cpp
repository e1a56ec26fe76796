#include "superpixel/segment_graph.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "superpixel/edge_sort.h"
#include "superpixel/large_array.h"

namespace scribeline {

namespace {

// Edges are visited in weight order, so their ends are scattered over the
// forest: the elements of the ends are fetched endLookahead edges ahead, and
// the elements of their parents (usually the roots, with size and threshold)
// parentLookahead edges ahead. IMPORTANT: the prefetches sit in the loop
// body itself; GCC drops a helper function whose only effect is prefetching
// as if it did nothing.
constexpr std::size_t endLookahead = 32;
constexpr std::size_t parentLookahead = 16;

// Edges gathered at a time by the minimum-size pass.
constexpr std::size_t candidateBatch = 4096;

// How the merges read an edge record: its first and second end and its
// weight.
struct PlainEdges {
    using Record = Edge;
    int first(const Edge& edge) const { return edge.a; }
    int second(const Edge& edge) const { return edge.b; }
    float weight(const Edge& edge) const { return edge.w; }
};

struct PackedEdges {
    using Record = PackedEdge;
    PackedEdgeEnds ends;
    int first(PackedEdge edge) const { return packedFirst(edge); }
    int second(PackedEdge edge) const { return ends.second(edge); }
    float weight(PackedEdge edge) const { return packedWeight(edge); }
};

// The region merging of edges[begin .. end-1], in order.
template <typename Codec>
void mergeRange(DisjointSet& components, const typename Codec::Record* edges, std::size_t begin, std::size_t end,
                const Codec& codec, float k) {
    for (std::size_t i = begin; i < end; ++i) {
        if (i + endLookahead < end) {
            components.prefetch(codec.first(edges[i + endLookahead]));
            components.prefetch(codec.second(edges[i + endLookahead]));
        }
        if (i + parentLookahead < end) {
            components.prefetch(components.parent(codec.first(edges[i + parentLookahead])));
            components.prefetch(components.parent(codec.second(edges[i + parentLookahead])));
        }
        const typename Codec::Record& edge = edges[i];
        const float w = codec.weight(edge);
        const int a = components.find(codec.first(edge));
        const int b = components.find(codec.second(edge));
        if (a != b && w <= components.rootValue(a) && w <= components.rootValue(b)) {
            const int root = components.join(a, b);
            components.setRootValue(root, w + k / static_cast<float>(components.size(root)));
        }
    }
}

}  // namespace

DisjointSet segmentGraph(int numVertices, std::size_t numEdges, Edge* edges, float k) {
    sortEdgesByWeight(edges, numEdges);
    return segmentSortedGraph(numVertices, numEdges, edges, k);
}

DisjointSet segmentSortedGraph(int numVertices, std::size_t numEdges, const Edge* edges, float k) {
    RegionMerger merger(numVertices, k);
    merger.mergeUpTo(edges, numEdges);
    return merger.takeComponents();
}

// Each root's threshold is kept as its rootValue, starting at k / 1.
RegionMerger::RegionMerger(int numVertices, float k) : components_(numVertices, k / 1.0f), k_(k) {}

void RegionMerger::mergeUpTo(const Edge* edges, std::size_t end) {
    mergeRange(components_, edges, next_, end, PlainEdges{}, k_);
    next_ = std::max(next_, end);
}

void RegionMerger::mergeUpTo(const PackedEdgeList& list, std::size_t end) {
    mergeRange(components_, list.edges.get(), next_, end, PackedEdges{PackedEdgeEnds(list.width)}, k_);
    next_ = std::max(next_, end);
}

namespace {

// One bit per element: set when the element's component held fewer than
// minSize elements at the start of the minimum-size pass.
class StartsSmall {
public:
    StartsSmall(DisjointSet& components, int minSize)
        : bits_((static_cast<std::size_t>(components.count()) + 63) / 64, 0) {
        components.flatten();
        for (int i = 0; i < components.count(); ++i) {
            if (components.size(components.parent(i)) < minSize) {
                bits_[static_cast<std::size_t>(i) >> 6] |= std::uint64_t{1} << (i & 63);
            }
        }
    }
    bool operator()(int x) const { return (bits_[static_cast<std::size_t>(x) >> 6] >> (x & 63)) & 1u; }

private:
    std::vector<std::uint64_t> bits_;
};

// Appends to batch, in order, the edges from start on that have an end in a
// component that started small, until the batch holds limit edges or the
// list ends; returns where it stopped.
template <typename Codec>
std::size_t gatherCandidates(const typename Codec::Record* edges, std::size_t start, std::size_t numEdges,
                             const Codec& codec, const StartsSmall& isSmall, std::size_t limit,
                             std::vector<typename Codec::Record>& batch) {
    for (; start < numEdges && batch.size() < limit; ++start) {
        if (isSmall(codec.first(edges[start])) || isSmall(codec.second(edges[start]))) {
            batch.push_back(edges[start]);
        }
    }
    return start;
}

template <typename Codec>
void joinSmall(DisjointSet& components, const std::vector<typename Codec::Record>& batch, const Codec& codec,
               int minSize) {
    for (std::size_t i = 0; i < batch.size(); ++i) {
        if (i + endLookahead < batch.size()) {
            components.prefetch(codec.first(batch[i + endLookahead]));
            components.prefetch(codec.second(batch[i + endLookahead]));
        }
        const int a = components.find(codec.first(batch[i]));
        const int b = components.find(codec.second(batch[i]));
        if (a != b && (components.size(a) < minSize || components.size(b) < minSize)) {
            components.join(a, b);
        }
    }
}

// Batches handed from the gathering thread to the joining thread, in order,
// through two slots: the gatherer fills one while the joiner empties the
// other.
template <typename Record>
class BatchQueue {
public:
    // Blocks until batch number `number` may be written into its slot.
    std::vector<Record>& slotToFill(std::size_t number) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this, number] { return number < joined_ + 2; });
        return slots_[number % 2];
    }
    void filled(bool last) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            ++filled_;
            finished_ = last;
        }
        changed_.notify_all();
    }
    // Blocks until batch `number` is filled; nullptr once every batch is.
    const std::vector<Record>* batchToJoin(std::size_t number) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this, number] { return number < filled_ || finished_; });
        return number < filled_ ? &slots_[number % 2] : nullptr;
    }
    void joined() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            ++joined_;
        }
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Record> slots_[2];
    std::size_t filled_ = 0;
    std::size_t joined_ = 0;
    bool finished_ = false;
};

constexpr std::size_t pipelinedBatch = std::size_t{1} << 16;

template <typename Codec>
void mergeSmall(DisjointSet& components, const typename Codec::Record* edges, std::size_t numEdges,
                const Codec& codec, int minSize, int numThreads) {
    // A component only grows, so an edge between two components that already
    // hold minSize elements can never join anything: such edges are skipped
    // without a find. Skipping leaves sets, roots, ranks and sizes exactly as
    // visiting every edge would. The edges that may join are gathered a batch
    // at a time, in order, so that their forest elements can be fetched
    // ahead like in the merge; with two threads a helper gathers the next
    // batch while this thread joins the current one.
    using Record = typename Codec::Record;
    const StartsSmall isSmall(components, minSize);
    if (numThreads < 2) {
        std::vector<Record> batch;
        batch.reserve(candidateBatch);
        for (std::size_t start = 0; start < numEdges;) {
            batch.clear();
            start = gatherCandidates(edges, start, numEdges, codec, isSmall, candidateBatch, batch);
            joinSmall(components, batch, codec, minSize);
        }
        return;
    }
    BatchQueue<Record> queue;
    std::thread gatherer([&] {
        std::size_t start = 0;
        for (std::size_t number = 0; start < numEdges || number == 0; ++number) {
            std::vector<Record>& batch = queue.slotToFill(number);
            batch.clear();
            start = gatherCandidates(edges, start, numEdges, codec, isSmall, pipelinedBatch, batch);
            queue.filled(start >= numEdges);
        }
    });
    for (std::size_t number = 0;; ++number) {
        const std::vector<Record>* batch = queue.batchToJoin(number);
        if (batch == nullptr) {
            break;
        }
        joinSmall(components, *batch, codec, minSize);
        queue.joined();
    }
    gatherer.join();
}

}  // namespace

void mergeSmallComponents(DisjointSet& components, const Edge* edges, std::size_t numEdges, int minSize,
                          int numThreads) {
    mergeSmall(components, edges, numEdges, PlainEdges{}, minSize, numThreads);
}

void mergeSmallComponents(DisjointSet& components, const PackedEdgeList& list, int minSize, int numThreads) {
    mergeSmall(components, list.edges.get(), list.count, PackedEdges{PackedEdgeEnds(list.width)}, minSize,
               numThreads);
}

void numberComponents(DisjointSet& components, int numElements, int* map) {
    // After flattening every parent is a root. Roots get their numbers in
    // increasing index order first; then every other element copies its
    // root's number, which is final by then. The map itself holds the
    // numbers, so no further array is needed.
    components.flatten();
    int next = 0;
    for (int i = 0; i < numElements; ++i) {
        if (components.parent(i) == i) {
            map[i] = next++;
        }
    }
    for (int i = 0; i < numElements; ++i) {
        const int root = components.parent(i);
        if (root != i) {
            map[i] = map[root];
        }
    }
}

}  // namespace scribeline
