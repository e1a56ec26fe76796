#include "superpixel/segment_graph.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "superpixel/large_array.h"
#include "superpixel/parallel.h"

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

// How the merges read a packed edge record: its first and second end and its
// weight.
struct PackedEdges {
  using Record = PackedEdge;
  PackedEdgeEnds ends;
  int first(PackedEdge edge) const { return packedFirst(edge); }
  int second(PackedEdge edge) const { return ends.second(edge); }
  float weight(PackedEdge edge) const { return packedWeight(edge); }
};

// The region merging of edges[begin .. end-1], in order.
// Edges whose ends stay apart are appended to *unjoined when it is given.
template <typename Codec>
void mergeRange(DisjointSet& components, const typename Codec::Record* edges,
                std::size_t begin, std::size_t end, const Codec& codec, float k,
                PackedEdgeList* unjoined) {
  for (std::size_t i = begin; i < end; ++i) {
    if (i + endLookahead < end) {
      components.prefetch(codec.first(edges[i + endLookahead]));
      components.prefetch(codec.second(edges[i + endLookahead]));
    }
    if (i + parentLookahead < end) {
      components.prefetch(
          components.parent(codec.first(edges[i + parentLookahead])));
      components.prefetch(
          components.parent(codec.second(edges[i + parentLookahead])));
    }
    const typename Codec::Record& edge = edges[i];
    const float w = codec.weight(edge);
    const int a = components.find(codec.first(edge));
    const int b = components.find(codec.second(edge));
    if (a == b) continue;
    if (w <= components.rootValue(a) && w <= components.rootValue(b)) {
      const int root = components.join(a, b);
      components.setRootValue(
          root, w + k / static_cast<float>(components.size(root)));
    } else if (unjoined != nullptr) {
      unjoined->edges[unjoined->count++] = edge;
    }
  }
}

}  // namespace

// Each root's threshold is kept as its rootValue, starting at k / 1.
RegionMerger::RegionMerger(int numVertices, float k)
    : components_(numVertices, k / 1.0f), k_(k) {}

RegionMerger::RegionMerger(int numVertices, float k, PackedEdgeList* unjoined)
    : components_(numVertices, k / 1.0f), k_(k), unjoined_(unjoined) {}

void RegionMerger::mergeUpTo(const PackedEdgeList& list, std::size_t end) {
  mergeRange(components_, list.edges.get(), next_, end,
             PackedEdges{PackedEdgeEnds(list.width)}, k_, unjoined_);
  next_ = std::max(next_, end);
}

namespace {

// One bit per element: set when the element's component held fewer than
// minSize elements at the start of the minimum-size pass.
class StartsSmall {
 public:
  // Reads the forest only; with numThreads 2 the two threads fill halves
  // of the bits.
  StartsSmall(const DisjointSet& components, int minSize, int numThreads)
      : bits_((static_cast<std::size_t>(components.count()) + 63) / 64, 0) {
    const std::size_t numWords = bits_.size();
    const int count = components.count();
    const int numParts =
        numWords > 1 ? std::max(1, std::min(numThreads, 2)) : 1;
    runParts(numParts, [&](int part) {
      const std::size_t endWord =
          numWords * static_cast<std::size_t>(part + 1) / numParts;
      for (std::size_t word =
               numWords * static_cast<std::size_t>(part) / numParts;
           word < endWord; ++word) {
        const int first = static_cast<int>(word * 64);
        const int end =
            static_cast<int>(std::min<std::size_t>(word * 64 + 64, count));
        std::uint64_t bits = 0;
        for (int i = first; i < end; ++i) {
          bits |= static_cast<std::uint64_t>(
                      components.size(components.root(i)) < minSize)
                  << (i - first);
        }
        bits_[word] = bits;
      }
    });
  }
  bool operator()(int x) const {
    return (bits_[static_cast<std::size_t>(x) >> 6] >> (x & 63)) & 1u;
  }

 private:
  std::vector<std::uint64_t> bits_;
};

// Copies to out, in order, the edges of edges[start .. end-1] that have an
// end in a component that started small, and returns their number.
// REQUIRES: out has room for end - start records.
template <typename Codec>
std::size_t gatherCandidates(const typename Codec::Record* edges,
                             std::size_t start, std::size_t end,
                             const Codec& codec, const StartsSmall& isSmall,
                             typename Codec::Record* out) {
  // Every edge is written and only the candidates advance the count, so
  // that the loop has no branch on the mostly unpredictable test.
  std::size_t count = 0;
  for (std::size_t i = start; i < end; ++i) {
    out[count] = edges[i];
    count += static_cast<std::size_t>(isSmall(codec.first(edges[i])) |
                                      isSmall(codec.second(edges[i])));
  }
  return count;
}

template <typename Codec>
void joinSmall(DisjointSet& components, const typename Codec::Record* batch,
               std::size_t count, const Codec& codec, int minSize) {
  for (std::size_t i = 0; i < count; ++i) {
    if (i + endLookahead < count) {
      components.prefetch(codec.first(batch[i + endLookahead]));
      components.prefetch(codec.second(batch[i + endLookahead]));
    }
    const int a = components.find(codec.first(batch[i]));
    const int b = components.find(codec.second(batch[i]));
    if (a != b &&
        (components.size(a) < minSize || components.size(b) < minSize)) {
      components.join(a, b);
    }
  }
}

// The list cut into chunks of chunkEdges edges. Both threads gather chunks
// in increasing order, each taking the next one not yet taken; the calling
// thread joins the gathered chunks in increasing order, gathering itself
// whenever the next chunk to join is not ready. At most numSlots chunks are
// gathered and not yet joined.
template <typename Record>
class ChunkPipeline {
 public:
  static constexpr std::size_t numSlots = 4;

  // REQUIRES: chunkEdges > 0.
  ChunkPipeline(std::size_t numEdges, std::size_t chunkEdges)
      : chunkEdges_(chunkEdges),
        numChunks_((numEdges + chunkEdges - 1) / chunkEdges) {
    for (LargeArray<Record>& slot : slots_) {
      slot = allocateLarge<Record>(std::min(numEdges, chunkEdges));
    }
  }

  std::size_t chunkEdges() const { return chunkEdges_; }

  std::size_t numChunks() const { return numChunks_; }

  // For the helper: the next chunk to gather, blocking while every slot is
  // taken; numChunks() once every chunk is taken.
  std::size_t chunkToGather() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock,
                  [this] { return nextToGather_ == numChunks_ || slotFree(); });
    return nextToGather_ < numChunks_ ? nextToGather_++ : numChunks_;
  }

  // For the joiner: waits until chunk `chunk` is gathered, gathering other
  // chunks with gather(number) meanwhile when one may be taken; returns
  // the chunk's number of candidates, which slot(chunk) holds.
  template <typename Gather>
  std::size_t waitForChunk(std::size_t chunk, Gather&& gather) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (gathered_[chunk % numSlots] == chunk + 1) {
        return counts_[chunk % numSlots];
      }
      if (nextToGather_ < numChunks_ && slotFree()) {
        const std::size_t own = nextToGather_++;
        lock.unlock();
        gather(own);
        lock.lock();
      } else {
        changed_.wait(lock);
      }
    }
  }

  // Room for the candidates of one chunk.
  Record* slot(std::size_t chunk) { return slots_[chunk % numSlots].get(); }

  void markGathered(std::size_t chunk, std::size_t count) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      gathered_[chunk % numSlots] = chunk + 1;
      counts_[chunk % numSlots] = count;
    }
    changed_.notify_all();
  }

  void markJoined() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      ++joined_;
    }
    changed_.notify_all();
  }

 private:
  bool slotFree() const { return nextToGather_ < joined_ + numSlots; }

  const std::size_t chunkEdges_;
  const std::size_t numChunks_;
  std::mutex mutex_;
  std::condition_variable changed_;
  LargeArray<Record> slots_[numSlots];
  std::size_t gathered_[numSlots] =
      {};  // chunk + 1 of the chunk gathered into each slot
  std::size_t counts_[numSlots] = {};
  std::size_t nextToGather_ = 0;
  std::size_t joined_ = 0;
};

template <typename Codec>
void mergeSmall(DisjointSet& components, const typename Codec::Record* edges,
                std::size_t numEdges, const Codec& codec, int minSize,
                int numThreads, std::size_t chunkEdges) {
  // A component only grows, so an edge between two components that already
  // hold minSize elements can never join anything: such edges are skipped
  // without a find. Skipping leaves sets, roots, ranks and sizes exactly as
  // visiting every edge would. The edges that may join are gathered a batch
  // at a time, in order, so that their forest elements can be fetched
  // ahead like in the merge; with two threads both gather, and this thread
  // joins the gathered chunks in order.
  using Record = typename Codec::Record;
  const StartsSmall isSmall(components, minSize, numThreads);
  if (numThreads < 2) {
    const LargeArray<Record> batch = allocateLarge<Record>(candidateBatch);
    for (std::size_t start = 0; start < numEdges; start += candidateBatch) {
      const std::size_t end = std::min(numEdges, start + candidateBatch);
      const std::size_t count =
          gatherCandidates(edges, start, end, codec, isSmall, batch.get());
      joinSmall(components, batch.get(), count, codec, minSize);
    }
    return;
  }
  ChunkPipeline<Record> pipeline(numEdges,
                                 std::max<std::size_t>(chunkEdges, 1));
  const auto gather = [&](std::size_t chunk) {
    const std::size_t start = chunk * pipeline.chunkEdges();
    const std::size_t end = std::min(numEdges, start + pipeline.chunkEdges());
    pipeline.markGathered(chunk,
                          gatherCandidates(edges, start, end, codec, isSmall,
                                           pipeline.slot(chunk)));
  };
  std::thread helper([&] {
    for (std::size_t chunk = pipeline.chunkToGather();
         chunk < pipeline.numChunks(); chunk = pipeline.chunkToGather()) {
      gather(chunk);
    }
  });
  for (std::size_t chunk = 0; chunk < pipeline.numChunks(); ++chunk) {
    const std::size_t count = pipeline.waitForChunk(chunk, gather);
    joinSmall(components, pipeline.slot(chunk), count, codec, minSize);
    pipeline.markJoined();
  }
  helper.join();
}

}  // namespace

void mergeSmallComponents(DisjointSet& components, const PackedEdgeList& list,
                          int minSize, int numThreads, std::size_t chunkEdges) {
  mergeSmall(components, list.edges.get(), list.count,
             PackedEdges{PackedEdgeEnds(list.width)}, minSize, numThreads,
             chunkEdges);
}

void numberComponents(const DisjointSet& components, int numElements, int* map,
                      int numThreads) {
  // Roots get their numbers in increasing index order first: each part
  // counts the roots of its range, and numbers them from the count of the
  // ranges before it. Then every other element copies its root's number,
  // which is final by then. The map itself holds the numbers, so no
  // further array is needed; the forest is only read.
  const int numParts =
      numElements > 1 ? std::max(1, std::min(numThreads, 2)) : 1;
  std::vector<int> partStart(static_cast<std::size_t>(numParts) + 1);
  for (int part = 0; part <= numParts; ++part) {
    partStart[part] =
        static_cast<int>(static_cast<long long>(numElements) * part / numParts);
  }
  std::vector<int> firstNumber(static_cast<std::size_t>(numParts) + 1, 0);
  runParts(numParts, [&](int part) {
    int roots = 0;
    for (int i = partStart[part]; i < partStart[part + 1]; ++i) {
      roots += components.parent(i) == i;
    }
    firstNumber[part + 1] = roots;
  });
  for (int part = 0; part < numParts; ++part) {
    firstNumber[part + 1] += firstNumber[part];
  }
  runParts(numParts, [&](int part) {
    int next = firstNumber[part];
    for (int i = partStart[part]; i < partStart[part + 1]; ++i) {
      if (components.parent(i) == i) {
        map[i] = next++;
      }
    }
  });
  runParts(numParts, [&](int part) {
    for (int i = partStart[part]; i < partStart[part + 1]; ++i) {
      const int root = components.root(i);
      if (root != i) {
        map[i] = map[root];
      }
    }
  });
}

}  // namespace scribeline
