// Preparation of a Graph for the flow: every node's outgoing arcs and incoming
// references are made contiguous runs inside the arc chunks, in place.
#include <cstring>
#include <vector>

#include "tests/graphcut/reference/graph.h"
#include "tests/graphcut/reference/graph_chunks.h"

namespace scribeline {

using graphdetail::byteDistance;
using graphdetail::tagged;

namespace {

// Fill cursor of a forward run during the permutation: chunk index (in the
// layout's chunk table) in the high half, slot offset in the low half.
std::uintptr_t encodePosition(std::size_t chunk, std::size_t offset) {
  return (static_cast<std::uintptr_t>(chunk) << 32) | offset;
}

// Lays runs out over one arc store. Runs of ordinary length are packed into
// the existing chunks in list order and then into new chunks of the ordinary
// size; a run never crosses a chunk. The last run placed in a chunk cannot find
// its end at the next node slot: it is moved one slot on, its first slot keeps
// the end (written once the records are in place) and the node's run start is
// tagged. A run longer than a chunk gets a chunk of its own, sized to fit.
template <typename Chunk, typename Record>
class RunLayout {
 public:
  struct Marker {
    Record* slot;
    Record* end;
  };

  explicit RunLayout(Chunk* list) {
    for (Chunk* chunk = list; chunk != nullptr; chunk = chunk->next) {
      chunks.push_back(chunk);
    }
    originalCount = chunks.size();
  }

  // Places a run of `length` records for `node`; returns the run start and
  // sets `chunkIndex` and `endOffset` (one past its last record).
  // A run of ordinary length that does not fit closes the current chunk; the
  // node whose run that moves one slot on is returned in `closed`.
  template <typename NewChunk>
  Record* place(GraphNode* node, std::size_t length, NewChunk newChunk,
                std::size_t& chunkIndex, std::size_t& endOffset,
                Record** startField, GraphNode** closed) {
    if (length > static_cast<std::size_t>(Graph::kArcsPerChunk)) {
      *closed = close();
      Chunk* own = newChunk(length);
      own->cursor = own->records() + length + 1;
      chunkIndex = append(own);
      Record* slot = own->records();
      markers.push_back({slot, slot + length + 1});
      *startField = tagged(slot);
      endOffset = length + 1;
      needsChunk = true;
      return slot + 1;
    }
    if (needsChunk ||
        offset + length > static_cast<std::size_t>(Graph::kArcsPerChunk)) {
      *closed = close();
      advance(newChunk);
    }
    Record* start = chunks[current]->records() + offset;
    *startField = start;
    lastNode = node;
    lastStartField = startField;
    lastOffset = offset;
    lastLength = length;
    offset += length;
    chunkIndex = current;
    endOffset = offset;
    return start;
  }

  // Where the next run would start if it fits in the current chunk; null when
  // the next run opens a chunk (then no run needs this position as its end).
  Record* position() const {
    return needsChunk ? nullptr : chunks[current]->records() + offset;
  }

  // Moves the current chunk's last run one slot on; returns its node (null if
  // the chunk has none) so that the caller moves the node's fill cursor.
  GraphNode* close() {
    GraphNode* node = lastNode;
    if (node == nullptr) return nullptr;
    Record* slot = chunks[current]->records() + lastOffset;
    markers.push_back({slot, slot + lastLength + 1});
    *lastStartField = tagged(slot);
    lastNode = nullptr;
    needsChunk = true;
    return node;
  }

  std::vector<Chunk*> chunks;
  std::size_t originalCount;
  std::vector<Marker> markers;

 private:
  std::size_t append(Chunk* chunk) {
    chunks.back()->next = chunk;
    chunks.push_back(chunk);
    return chunks.size() - 1;
  }

  template <typename NewChunk>
  void advance(NewChunk newChunk) {
    if (nextOriginal < originalCount) {
      current = nextOriginal++;
    } else {
      current = append(newChunk(Graph::kArcsPerChunk));
    }
    offset = 0;
    needsChunk = false;
  }

  std::size_t current = 0;
  bool needsChunk = true;  // no current chunk, or it was closed
  std::size_t nextOriginal = 0;
  std::size_t offset = 0;
  GraphNode* lastNode = nullptr;
  Record** lastStartField = nullptr;
  std::size_t lastOffset = 0;
  std::size_t lastLength = 0;
};

}  // namespace

struct Graph::Layout {
  explicit Layout(Graph& graph)
      : forward(graph.forwardChunks_), reverse(graph.reverseChunks_) {}
  RunLayout<ForwardChunk, ForwardArc> forward;
  RunLayout<ReverseChunk, ReverseArc> reverse;
};

void Graph::prepare() {
  if (forwardChunks_ == nullptr) {
    // The arc storage is never empty; these two nodes carry no terminal
    // capacity and do not change the cut.
    GraphNode* first = addNode();
    GraphNode* second = addNode();
    addEdge(first, second, 1.0f, 0.0f);
  }
  flushCursors();
  // Marks beyond the last edge: those slots hold no record to move.
  ReverseArc* tail = reverseChunks_->cursor;
  ReverseArc* limit = reverseChunks_->records() + kArcsPerChunk;
  std::memset(static_cast<void*>(tail), 0,
              static_cast<std::size_t>(limit - tail) * sizeof(ReverseArc));

  Layout layout(*this);
  layOutRuns(layout);
  moveArcsIntoRuns(layout);
  for (const auto& marker : layout.forward.markers) {
    marker.slot->shift = reinterpret_cast<std::intptr_t>(marker.end);
  }
  fillReverseRuns();
  for (const auto& marker : layout.reverse.markers) {
    marker.slot->forwardArc = reinterpret_cast<ForwardArc*>(marker.end);
  }
}

// Gives every node its runs (node chunks newest first, slots in order). The
// forward fill cursor goes to `parent` (encoded), the reverse one (a plain
// pointer to the run end) to `nextActive`; both runs are filled backwards, so
// a run moved one slot on by closing its chunk has its cursor moved with it.
void Graph::layOutRuns(Layout& layout) {
  auto& forward = layout.forward;
  auto& reverse = layout.reverse;
  auto newForward = [this](std::size_t records) {
    return newForwardChunk(records,
                           "Fatal ERROR at Ln194 of graph: Not enough memory!");
  };
  auto newReverse = [this](std::size_t records) {
    return newReverseChunk(records,
                           "Fatal ERROR at Ln227 of graph: Not enough memory!");
  };
  auto bumpForward = [](GraphNode* node) {
    if (node != nullptr) {
      node->parent = reinterpret_cast<ForwardArc*>(
          reinterpret_cast<std::uintptr_t>(node->parent) + 1);
    }
  };
  auto bumpReverse = [](GraphNode* node) {
    if (node != nullptr) {
      node->nextActive = reinterpret_cast<GraphNode*>(
          reinterpret_cast<ReverseArc*>(node->nextActive) + 1);
    }
  };
  for (NodeChunk* chunk = nodeChunks_; chunk != nullptr; chunk = chunk->next) {
    for (GraphNode* node = chunk->slots; node < chunk->cursor; ++node) {
      std::size_t outCount = reinterpret_cast<std::uintptr_t>(node->firstOut);
      std::size_t inCount = reinterpret_cast<std::uintptr_t>(node->firstIn);
      std::size_t index = 0;
      std::size_t endOffset = 0;
      GraphNode* closed = nullptr;
      forward.place(node, outCount, newForward, index, endOffset,
                    &node->firstOut, &closed);
      bumpForward(closed);
      node->parent =
          reinterpret_cast<ForwardArc*>(encodePosition(index, endOffset));
      closed = nullptr;
      ReverseArc* start = reverse.place(node, inCount, newReverse, index,
                                        endOffset, &node->firstIn, &closed);
      bumpReverse(closed);
      node->nextActive = reinterpret_cast<GraphNode*>(start + inCount);
    }
    chunk->cursor->firstOut = forward.position();
    chunk->cursor->firstIn = reverse.position();
  }
  bumpForward(forward.close());
  bumpReverse(reverse.close());
}

// Moves every forward record into its source node's run, following cycles:
// the record lifted from a slot goes to the next free slot (from the end) of
// its source's run, and the record found there is lifted next. The reverse
// entry paired with an original slot names the source of the record still in
// that slot and is cleared when the record leaves, marking the slot done.
void Graph::moveArcsIntoRuns(Layout& layout) {
  auto& forward = layout.forward;
  std::size_t originals = forward.originalCount;
  std::vector<ReverseArc*> marks;
  for (ReverseChunk* chunk = reverseChunks_; marks.size() < originals;
       chunk = chunk->next) {
    marks.push_back(chunk->records());
  }
  std::vector<ForwardArc*> slots;
  for (ForwardChunk* chunk : forward.chunks) slots.push_back(chunk->records());

  for (std::size_t c = 0; c < originals; ++c) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(kArcsPerChunk); ++i) {
      ReverseArc& startMark = marks[c][i];
      if (startMark.forwardArc == nullptr) continue;
      GraphNode* source = reinterpret_cast<GraphNode*>(startMark.forwardArc);
      startMark.forwardArc = nullptr;
      ForwardArc carried = slots[c][i];
      for (;;) {
        std::uintptr_t cursor =
            reinterpret_cast<std::uintptr_t>(source->parent) - 1;
        source->parent = reinterpret_cast<ForwardArc*>(cursor);
        std::size_t chunk = cursor >> 32;
        std::size_t offset = cursor & 0xffffffffu;
        ForwardArc* destination = slots[chunk] + offset;
        carried.shift =
            byteDistance(source, reinterpret_cast<GraphNode*>(carried.shift));
        ReverseArc* mark =
            chunk < originals &&
                    offset < static_cast<std::size_t>(kArcsPerChunk)
                ? &marks[chunk][offset]
                : nullptr;
        if (mark == nullptr || mark->forwardArc == nullptr) {
          *destination = carried;
          break;
        }
        source = reinterpret_cast<GraphNode*>(mark->forwardArc);
        mark->forwardArc = nullptr;
        ForwardArc lifted = *destination;
        *destination = carried;
        carried = lifted;
      }
    }
  }
}

// Writes a reference to every arc into the incoming run of its target, in the
// order of the outgoing runs, each incoming run filled from its end.
void Graph::fillReverseRuns() {
  for (NodeChunk* chunk = nodeChunks_; chunk != nullptr; chunk = chunk->next) {
    for (GraphNode* node = chunk->slots; node < chunk->cursor; ++node) {
      ForwardArc* arc;
      ForwardArc* end;
      graphdetail::outRun(node, arc, end);
      for (; arc < end; ++arc) {
        GraphNode* target = graphdetail::offsetNode(node, arc->shift);
        ReverseArc* slot =
            reinterpret_cast<ReverseArc*>(target->nextActive) - 1;
        target->nextActive = reinterpret_cast<GraphNode*>(slot);
        slot->forwardArc = arc;
      }
    }
  }
}

}  // namespace scribeline
