// Max-flow / min-cut graph with two implicit terminals, solved once by the
// two-tree augmenting-path algorithm (growth, augmentation, adoption of
// orphans with timestamped distances).
//
// Calling order: construct; addNode for every node; addEdge and
// addTerminalWeights in any order; maxFlow once; segmentOf; destroy.
// All storage comes from chunks that are released only on destruction: nodes
// 511 to a chunk, arcs and incoming references 1024 to a chunk, and a node
// with more arcs (or references) than that gets a chunk of its own for them.
// There is no limit on the arcs of one node. Allocation failures are fatal
// (message on standard output, exit status 1) unless the graph's options ask
// for std::bad_alloc instead (see MemoryPolicy).
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "tests/graphcut/reference/block.h"

namespace scribeline {

struct ForwardArc {
  // Before preparation: the target node handle. After: the byte distance from
  // the source node's record to the target node's record (64 bits wide, as
  // node chunks are separate allocations that may lie far apart).
  std::intptr_t shift;
  float residual;         // residual capacity source -> target
  float reverseResidual;  // residual capacity target -> source
};

struct ReverseArc {
  // The edge ending at this node; its source node handle before preparation.
  ForwardArc* forwardArc;
};

struct GraphNode {
  ForwardArc* firstOut;  // outgoing count, then the (tagged) run start
  ReverseArc* firstIn;   // incoming count, then the (tagged) run start
  ForwardArc* parent;    // null, TERMINAL, ORPHAN or a tagged arc
  GraphNode* nextActive;
  std::int32_t timestamp;
  std::int32_t distance;
  std::int16_t inSinkTree;
  float terminalCapacity;  // > 0: source->node; < 0: node->sink (negated)
};

// Adds (capSource, capSink) to a node's residual terminal capacity (positive:
// source -> node; negative: node -> sink, negated) and returns the part of
// the two that flows straight from source to sink. Every holder of terminal
// capacities uses this one piece of arithmetic, so that the same calls in the
// same order leave the same floats, bit for bit.
inline float addToTerminalCapacity(float& terminalCapacity, float capSource,
                                   float capSink) {
  float delta = terminalCapacity;
  if (delta > 0) {
    capSource += delta;
  } else {
    capSink -= delta;
  }
  terminalCapacity = capSource - capSink;
  return capSource < capSink ? capSource : capSink;
}

struct OrphanRef {
  GraphNode* node;
  OrphanRef* next;
};

// Choices fixed when a Graph is built. The defaults are the program's.
struct GraphOptions {
  // Growth of a node that found a path resumes where it stopped when that is
  // sure to skip only arcs it would scan to no effect. false: growth always
  // rescans from the first arc. The flow and the cut are the same either way
  // (tests compare the two).
  bool growthResumes = true;
  // Source of the chunk memory and what an exhausted allocation does.
  MemoryPolicy memory;
};

class Graph {
 public:
  using NodeHandle = GraphNode*;
  enum Terminal { SOURCE = 0, SINK = 1 };

  static constexpr int kNodesPerChunk = 512;  // the last slot is a sentinel
  static constexpr int kArcsPerChunk = 1024;
  static constexpr int kOrphansPerChunk = 128;

  explicit Graph(GraphErrorCallback callback = nullptr,
                 const GraphOptions& options = {});
  ~Graph();
  Graph(const Graph&) = delete;
  Graph& operator=(const Graph&) = delete;

  NodeHandle addNode() {
    if (nodeCursor_ == nodeLimit_) openNodeChunk();
    GraphNode* node = nodeCursor_++;
    node->firstOut = nullptr;
    node->firstIn = nullptr;
    node->terminalCapacity = 0;
    return node;
  }
  // One edge: `capacity` from -> to and `reverseCapacity` to -> from.
  void addEdge(NodeHandle from, NodeHandle to, float capacity,
               float reverseCapacity) {
    if (arcCursor_ == arcLimit_) openForwardChunk();
    if (referenceCursor_ == referenceLimit_) openReverseChunk();
    ForwardArc* arc = arcCursor_++;
    ReverseArc* reference = referenceCursor_++;
    reference->forwardArc = reinterpret_cast<ForwardArc*>(from);
    arc->shift = reinterpret_cast<std::intptr_t>(to);
    arc->residual = capacity;
    arc->reverseResidual = reverseCapacity;
    from->firstOut = reinterpret_cast<ForwardArc*>(
        reinterpret_cast<std::uintptr_t>(from->firstOut) + 1);
    to->firstIn = reinterpret_cast<ReverseArc*>(
        reinterpret_cast<std::uintptr_t>(to->firstIn) + 1);
  }
  // Adds to the node's terminal capacities (source -> node, node -> sink).
  void addTerminalWeights(NodeHandle node, float capSource, float capSink) {
    flow_ += addToTerminalCapacity(node->terminalCapacity, capSource, capSink);
  }
  // Computes the maximum flow (terminal-weight offsets included). A second
  // call returns the same value without further work.
  // After it, the graph takes no further nodes or edges.
  double maxFlow();
  // SOURCE if the node ended in the source search tree, SINK otherwise.
  Terminal segmentOf(NodeHandle node) const {
    return node->parent != nullptr && node->inSinkTree == 0 ? SOURCE : SINK;
  }

  // Bytes held in node chunks, and in forward and reverse arc chunks.
  std::size_t nodeBytesHeld() const;
  std::size_t arcBytesHeld() const;

 private:
  struct NodeChunk;
  struct ForwardChunk;
  struct ReverseChunk;
  struct Layout;
  struct Middle;

  // The growth of a node that found a path stopped at one of its arcs; the
  // node usually stays current and grows again once the path is augmented and
  // the orphans adopted. Rescanning the arcs before that stop point repeats,
  // with the same effect, what the last growth did, unless the node's own
  // distance label moved, the capacity of its tree arc changed in a way that
  // matters, or a neighbour left the tree. The record below holds what is
  // needed to tell, so that growth can resume where it stopped instead.
  static constexpr int kTrackedFreedNodes = 64;
  struct GrowthResume {
    GraphNode* node = nullptr;  // null: nothing to resume
    std::int32_t timestamp = 0;
    std::int32_t distance = 0;
    std::ptrdiff_t position =
        0;               // outgoing arcs first, then incoming references
    int freedCount = 0;  // nodes freed since; past the cap: too many
    GraphNode* freed[kTrackedFreedNodes];
  };

  // Out of memory: throws std::bad_alloc, or calls the callback, prints
  // `printed` (when not null) and exits with status 1 (see MemoryPolicy).
  [[noreturn]] void fail(const char* printed) const;
  // Close the newest chunk of a store (its cursor takes the fill position)
  // and open a new one.
  void openNodeChunk();
  void openForwardChunk();
  void openReverseChunk();
  // Writes the fill positions back into the newest chunks.
  void flushCursors();
  ForwardChunk* newForwardChunk(std::size_t records, const char* printed);
  ReverseChunk* newReverseChunk(std::size_t records, const char* printed);

  // True (and every node on the SINK side) when no node has source capacity.
  bool settleWithoutSourceCapacity();
  void prepare();
  void layOutRuns(Layout& layout);
  void moveArcsIntoRuns(Layout& layout);
  void fillReverseRuns();
  void initialise();

  void makeActive(GraphNode* node);
  GraphNode* takeNextActive();
  bool grow(GraphNode* node, Middle& middle);
  template <bool kSinkTree>
  bool growTree(GraphNode* node, Middle& middle, std::ptrdiff_t start,
                std::ptrdiff_t& stop);
  std::ptrdiff_t resumePosition(GraphNode* node) const;
  void noteFreed(GraphNode* node) {
    if (resume_.freedCount < kTrackedFreedNodes)
      resume_.freed[resume_.freedCount] = node;
    ++resume_.freedCount;
  }
  void augment(const Middle& middle);
  void adopt();
  template <bool kSinkTree>
  void processOrphan(GraphNode* node);
  int distanceToTerminal(GraphNode* node);
  void stampPath(GraphNode* node, int distance);
  void setOrphanFront(GraphNode* node);
  void setOrphanRear(GraphNode* node);

  NodeChunk* nodeChunks_ = nullptr;
  ForwardChunk* forwardChunks_ = nullptr;
  ReverseChunk* reverseChunks_ = nullptr;
  // Fill position and end of the newest chunk of each store while the graph
  // is built; the chunk's own cursor is brought up to date by flushCursors.
  GraphNode* nodeCursor_ = nullptr;
  GraphNode* nodeLimit_ = nullptr;  // the chunk's sentinel slot
  ForwardArc* arcCursor_ = nullptr;
  ForwardArc* arcLimit_ = nullptr;
  ReverseArc* referenceCursor_ = nullptr;
  ReverseArc* referenceLimit_ = nullptr;
  Block<OrphanRef>* orphanBlock_ = nullptr;
  GraphErrorCallback errorCallback_;
  GraphOptions options_;
  double flow_ = 0.0;
  GraphNode* queueFirst_[2] = {nullptr, nullptr};
  GraphNode* queueLast_[2] = {nullptr, nullptr};
  OrphanRef* orphanFirst_ = nullptr;
  OrphanRef* orphanLast_ = nullptr;
  std::int32_t time_ = 0;
  bool solved_ = false;
  GrowthResume resume_;
  // Source nodes of the incoming references of nodes with many of them, in
  // run order, listed when first needed: the node behind a reference is then
  // one read away instead of two. Null for short runs (and when the memory
  // for the list cannot be had: the references are then read as they are).
  static constexpr std::ptrdiff_t kListedReferences = 64;
  std::unordered_map<const GraphNode*, std::vector<GraphNode*>>
      referenceSources_;
  GraphNode* const* referenceSources(GraphNode* node, ReverseArc* begin,
                                     ReverseArc* end);
};

}  // namespace scribeline
