// Chunk layouts of Graph's node, forward-arc and reverse-arc stores, and the
// run readers shared by its preparation and flow code. Internal to the
// reference library.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tests/graphcut/reference/graph.h"

namespace scribeline {

// Slots [0, cursor) are handed out; the slot at the cursor (at most the last
// slot) is the end sentinel: after preparation it holds, in firstOut and
// firstIn, the end of the runs behind the chunk's last node.
struct Graph::NodeChunk {
  GraphNode* cursor;
  NodeChunk* next;  // older chunk
  GraphNode slots[kNodesPerChunk];
};

// An ordinary arc chunk holds kArcsPerChunk records plus one extra slot; a
// chunk made for a single run longer than that holds the run plus one slot.
// The records follow the header.
struct Graph::ForwardChunk {
  void* allocation;    // address to free
  ForwardArc* cursor;  // next free record while edges are added
  ForwardChunk* next;
  ForwardArc* records() { return reinterpret_cast<ForwardArc*>(this + 1); }
};

struct Graph::ReverseChunk {
  void* allocation;
  ReverseArc* cursor;
  ReverseChunk* next;
  ReverseArc* records() { return reinterpret_cast<ReverseArc*>(this + 1); }
};

namespace graphdetail {

inline constexpr std::uintptr_t kTagBit = 1;

template <typename T>
inline T* tagged(T* pointer) {
  return reinterpret_cast<T*>(reinterpret_cast<std::uintptr_t>(pointer) |
                              kTagBit);
}
template <typename T>
inline T* untagged(T* pointer) {
  return reinterpret_cast<T*>(reinterpret_cast<std::uintptr_t>(pointer) &
                              ~kTagBit);
}
template <typename T>
inline bool isTagged(T* pointer) {
  return (reinterpret_cast<std::uintptr_t>(pointer) & kTagBit) != 0;
}

inline GraphNode* offsetNode(GraphNode* node, std::intptr_t shift) {
  return reinterpret_cast<GraphNode*>(reinterpret_cast<std::intptr_t>(node) +
                                      shift);
}
inline std::intptr_t byteDistance(const GraphNode* from, const GraphNode* to) {
  return reinterpret_cast<std::intptr_t>(to) -
         reinterpret_cast<std::intptr_t>(from);
}

// Values of GraphNode::parent besides null and real (tagged) arcs.
inline ForwardArc* const kTerminal = reinterpret_cast<ForwardArc*>(1);
inline ForwardArc* const kOrphan = reinterpret_cast<ForwardArc*>(2);

// Parent of a node whose `parent` is a real arc: with the tag bit clear the
// arc is the node's own outgoing arc and the parent its target; with the bit
// set the arc is the parent's outgoing arc and this node its target.
inline GraphNode* parentOf(GraphNode* node) {
  ForwardArc* link = node->parent;
  if (isTagged(link)) return offsetNode(node, -untagged(link)->shift);
  return offsetNode(node, link->shift);
}

// A run whose start is tagged keeps its end in its first slot and its records
// from the next slot on; otherwise it ends where the next node slot's run
// begins. REQUIRES: preparation finished.
inline void outRun(GraphNode* node, ForwardArc*& begin, ForwardArc*& end) {
  ForwardArc* start = node->firstOut;
  if (isTagged(start)) {
    start = untagged(start);
    end = reinterpret_cast<ForwardArc*>(start->shift);
    begin = start + 1;
  } else {
    begin = start;
    end = untagged(node[1].firstOut);
  }
}

inline void inRun(GraphNode* node, ReverseArc*& begin, ReverseArc*& end) {
  ReverseArc* start = node->firstIn;
  if (isTagged(start)) {
    start = untagged(start);
    end = reinterpret_cast<ReverseArc*>(start->forwardArc);
    begin = start + 1;
  } else {
    begin = start;
    end = untagged(node[1].firstIn);
  }
}

// Walks the incoming references of `node` in [begin, end) from index `first`,
// giving `visit` each one's arc and source node; `visit` returns true to
// stop. Returns the index where it stopped, or end - begin. `sources`, when
// not null, lists the source nodes in run order (see referenceSources), so
// that the node is known before the arc is read.
template <typename Visit>
inline std::ptrdiff_t forEachReference(GraphNode* node, ReverseArc* begin,
                                       ReverseArc* end, std::ptrdiff_t first,
                                       GraphNode* const* sources,
                                       Visit&& visit) {
  const std::ptrdiff_t count = end - begin;
  if (sources != nullptr) {
    for (std::ptrdiff_t k = first; k < count; ++k) {
      if (visit(begin[k].forwardArc, sources[k])) return k;
    }
  } else {
    for (std::ptrdiff_t k = first; k < count; ++k) {
      ForwardArc* in = begin[k].forwardArc;
      if (visit(in, offsetNode(node, -in->shift))) return k;
    }
  }
  return count;
}

}  // namespace graphdetail
}  // namespace scribeline
