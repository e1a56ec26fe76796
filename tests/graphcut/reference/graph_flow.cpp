// The flow computation of Graph: two search trees grown from the terminals,
// augmentation along the paths where they meet, and adoption of the orphans
// an augmentation leaves behind.
#include <algorithm>

#include "tests/graphcut/reference/graph.h"
#include "tests/graphcut/reference/graph_chunks.h"

namespace scribeline {

using graphdetail::forEachReference;
using graphdetail::inRun;
using graphdetail::isTagged;
using graphdetail::kOrphan;
using graphdetail::kTerminal;
using graphdetail::offsetNode;
using graphdetail::outRun;
using graphdetail::parentOf;
using graphdetail::tagged;
using graphdetail::untagged;

namespace {

// Residual capacity from the parent down to the node.
inline float& capacityFromParent(ForwardArc* link) {
  return isTagged(link) ? untagged(link)->residual : link->reverseResidual;
}
// Residual capacity from the node up to its parent.
inline float& capacityToParent(ForwardArc* link) {
  return isTagged(link) ? untagged(link)->reverseResidual : link->residual;
}

}  // namespace

// The arc where the two trees meet, with its capacity in the direction from
// the source-tree node to the sink-tree node.
struct Graph::Middle {
  float* capacity;
  float* reverseCapacity;
  GraphNode* sourceSide;
  GraphNode* sinkSide;
};

void Graph::makeActive(GraphNode* node) {
  if (node->nextActive != nullptr) return;
  if (queueLast_[1] != nullptr) {
    queueLast_[1]->nextActive = node;
  } else {
    queueFirst_[1] = node;
  }
  queueLast_[1] = node;
  node->nextActive = node;
}

GraphNode* Graph::takeNextActive() {
  for (;;) {
    GraphNode* node = queueFirst_[0];
    if (node == nullptr) {
      queueFirst_[0] = node = queueFirst_[1];
      queueLast_[0] = queueLast_[1];
      queueFirst_[1] = queueLast_[1] = nullptr;
      if (node == nullptr) return nullptr;
    }
    if (node->nextActive == node) {
      queueFirst_[0] = queueLast_[0] = nullptr;
    } else {
      queueFirst_[0] = node->nextActive;
    }
    node->nextActive = nullptr;
    if (node->parent != nullptr) return node;
  }
}

void Graph::initialise() {
  queueFirst_[0] = queueFirst_[1] = queueLast_[0] = queueLast_[1] = nullptr;
  orphanFirst_ = orphanLast_ = nullptr;
  time_ = 0;
  for (NodeChunk* chunk = nodeChunks_; chunk != nullptr; chunk = chunk->next) {
    for (GraphNode* node = chunk->slots; node < chunk->cursor; ++node) {
      node->nextActive = nullptr;
      node->timestamp = 0;
      if (node->terminalCapacity != 0) {
        node->inSinkTree = node->terminalCapacity > 0 ? 0 : 1;
        node->parent = kTerminal;
        makeActive(node);
        node->distance = 1;
      } else {
        node->parent = nullptr;
      }
    }
  }
  orphanBlock_ =
      new Block<OrphanRef>(kOrphansPerChunk, errorCallback_, options_.memory);
}

// The source tree starts from the nodes with source capacity and only ever
// grows from its own nodes, so without such nodes it stays empty: no path is
// ever found, the flow is the terminal offsets alone and every node ends on
// the SINK side, whatever the arcs. Preparing and searching would not change
// that.
bool Graph::settleWithoutSourceCapacity() {
  flushCursors();
  for (NodeChunk* chunk = nodeChunks_; chunk != nullptr; chunk = chunk->next) {
    for (GraphNode* node = chunk->slots; node < chunk->cursor; ++node) {
      if (node->terminalCapacity > 0) return false;
    }
  }
  for (NodeChunk* chunk = nodeChunks_; chunk != nullptr; chunk = chunk->next) {
    for (GraphNode* node = chunk->slots; node < chunk->cursor; ++node) {
      node->parent = nullptr;
    }
  }
  return true;
}

double Graph::maxFlow() {
  if (solved_) return flow_;
  if (settleWithoutSourceCapacity()) {
    solved_ = true;
    return flow_;
  }
  prepare();
  initialise();
  GraphNode* current = nullptr;
  for (;;) {
    if (current != nullptr) {
      current->nextActive = nullptr;
      if (current->parent == nullptr) current = nullptr;
    }
    if (current == nullptr) {
      current = takeNextActive();
      if (current == nullptr) break;
    }
    Middle middle;
    bool found = grow(current, middle);
    ++time_;
    if (found) {
      current->nextActive = current;
      augment(middle);
      adopt();
    } else {
      current = nullptr;
    }
  }
  delete orphanBlock_;
  orphanBlock_ = nullptr;
  solved_ = true;
  return flow_;
}

// Grows the tree of `node` over its arcs with capacity away from (source
// tree) or towards (sink tree) it, from the arc at `start` (outgoing arcs
// first, then incoming references); stops at the first arc into the other
// tree and returns its position in `stop`. The node's own tree, stamp and
// distance do not change while it grows (an arc back to itself finds it in
// its own tree, not farther away), so they are read once.
template <bool kSinkTree>
bool Graph::growTree(GraphNode* node, Middle& middle, std::ptrdiff_t start,
                     std::ptrdiff_t& stop) {
  const std::int16_t tree = node->inSinkTree;
  const std::int32_t stamp = node->timestamp;
  const std::int32_t distance = node->distance;
  auto visit = [&](GraphNode* neighbor, ForwardArc* link, float& away,
                   float& towards) {
    if (neighbor->parent == nullptr) {
      neighbor->inSinkTree = tree;
      neighbor->parent = link;
      neighbor->timestamp = stamp;
      neighbor->distance = distance + 1;
      makeActive(neighbor);
    } else if (neighbor->inSinkTree != tree) {
      if (kSinkTree) {
        middle = {&towards, &away, neighbor, node};
      } else {
        middle = {&away, &towards, node, neighbor};
      }
      return true;
    } else if (neighbor->timestamp <= stamp && neighbor->distance > distance) {
      neighbor->parent = link;
      neighbor->timestamp = stamp;
      neighbor->distance = distance + 1;
    }
    return false;
  };
  ForwardArc* arcBegin;
  ForwardArc* arcEnd;
  outRun(node, arcBegin, arcEnd);
  const std::ptrdiff_t outCount = arcEnd - arcBegin;
  for (ForwardArc* arc = arcBegin + (start < outCount ? start : outCount);
       arc < arcEnd; ++arc) {
    if ((kSinkTree ? arc->reverseResidual : arc->residual) == 0) continue;
    if (visit(offsetNode(node, arc->shift), tagged(arc), arc->residual,
              arc->reverseResidual)) {
      stop = arc - arcBegin;
      return true;
    }
  }
  ReverseArc* referenceBegin;
  ReverseArc* referenceEnd;
  inRun(node, referenceBegin, referenceEnd);
  const std::ptrdiff_t first = start > outCount ? start - outCount : 0;
  const std::ptrdiff_t found = forEachReference(
      node, referenceBegin, referenceEnd, first,
      referenceSources(node, referenceBegin, referenceEnd),
      [&](ForwardArc* in, GraphNode* neighbor) {
        return (kSinkTree ? in->residual : in->reverseResidual) != 0 &&
               visit(neighbor, in, in->reverseResidual, in->residual);
      });
  if (found < referenceEnd - referenceBegin) {
    stop = outCount + found;
    return true;
  }
  return false;
}

// Position of `arc` among the arcs of `node` (outgoing arcs first, then
// incoming references), searching the references below `limit` only; `limit`
// when it is not found there.
static std::ptrdiff_t arcPosition(GraphNode* node, ForwardArc* arc,
                                  std::ptrdiff_t limit) {
  ForwardArc* arcBegin;
  ForwardArc* arcEnd;
  outRun(node, arcBegin, arcEnd);
  if (arc >= arcBegin && arc < arcEnd) return std::min(arc - arcBegin, limit);
  const std::ptrdiff_t outCount = arcEnd - arcBegin;
  ReverseArc* reference;
  ReverseArc* referenceEnd;
  inRun(node, reference, referenceEnd);
  for (std::ptrdiff_t k = 0;
       outCount + k < limit && reference + k < referenceEnd; ++k) {
    if (reference[k].forwardArc == arc) return outCount + k;
  }
  return limit;
}

// Where the growth of a node that found a path last time may resume: the arc
// where it stopped, unless a rescan of some earlier arc could now do
// something, in which case the first such arc (0: no resumption).
//
// After that growth every arc before the stop was either without capacity or
// led to a node of the same tree that the re-hanging rule left where it was
// (or had just put under this node, which a second visit repeats without
// change). Since then, augmentation changed capacities only along the path:
// of this node's arcs only its tree arc (and the arc where it stopped, which
// is scanned again). Adoption changed no capacity, moved no node into the
// other tree, and stamped every node it touched with the current time, later
// than this node's stamp, so that the re-hanging rule cannot pick it. So
// unless the node's own stamp or distance moved, a rescan can act only on its
// tree arc and on arcs to nodes freed since (it would take them back in).
std::ptrdiff_t Graph::resumePosition(GraphNode* node) const {
  if (resume_.node != node || node->timestamp != resume_.timestamp ||
      node->distance != resume_.distance ||
      resume_.freedCount > kTrackedFreedNodes) {
    return 0;
  }
  std::ptrdiff_t start = resume_.position;
  ForwardArc* link = node->parent;
  if (link != kTerminal) {
    GraphNode* parent = parentOf(node);
    ForwardArc* arc = untagged(link);
    // Capacity from the node towards its parent (source tree), or from the
    // parent towards the node (sink tree).
    const bool outgoing = !isTagged(link);
    const float usable = (node->inSinkTree != 0) == outgoing
                             ? arc->reverseResidual
                             : arc->residual;
    if (usable != 0 && parent->timestamp <= node->timestamp &&
        parent->distance > node->distance) {
      start = arcPosition(node, arc, start);
    }
  }
  for (int k = 0; k < resume_.freedCount && start > 0; ++k) {
    GraphNode* freed = resume_.freed[k];
    ForwardArc* arc;
    ForwardArc* arcEnd;
    outRun(freed, arc, arcEnd);
    for (; arc < arcEnd; ++arc) {
      if (offsetNode(freed, arc->shift) == node)
        start = arcPosition(node, arc, start);
    }
    ReverseArc* reference;
    ReverseArc* referenceEnd;
    inRun(freed, reference, referenceEnd);
    for (; reference < referenceEnd; ++reference) {
      ForwardArc* in = reference->forwardArc;
      if (offsetNode(freed, -in->shift) == node)
        start = arcPosition(node, in, start);
    }
  }
  return start;
}

bool Graph::grow(GraphNode* node, Middle& middle) {
  const std::ptrdiff_t start =
      options_.growthResumes ? resumePosition(node) : 0;
  std::ptrdiff_t stop = 0;
  bool found = node->inSinkTree != 0
                   ? growTree<true>(node, middle, start, stop)
                   : growTree<false>(node, middle, start, stop);
  if (found) {
    resume_.node = node;
    resume_.timestamp = node->timestamp;
    resume_.distance = node->distance;
    resume_.position = stop;
    resume_.freedCount = 0;
  } else {
    resume_.node = nullptr;
  }
  return found;
}

void Graph::setOrphanFront(GraphNode* node) {
  node->parent = kOrphan;
  OrphanRef* record = orphanBlock_->New();
  record->node = node;
  record->next = orphanFirst_;
  orphanFirst_ = record;
  if (orphanLast_ == nullptr) orphanLast_ = record;
}

void Graph::setOrphanRear(GraphNode* node) {
  node->parent = kOrphan;
  OrphanRef* record = orphanBlock_->New();
  record->node = node;
  record->next = nullptr;
  if (orphanLast_ != nullptr) {
    orphanLast_->next = record;
  } else {
    orphanFirst_ = record;
  }
  orphanLast_ = record;
}

void Graph::augment(const Middle& middle) {
  float bottleneck = *middle.capacity;
  GraphNode* node;
  for (node = middle.sourceSide; node->parent != kTerminal;
       node = parentOf(node)) {
    float capacity = capacityFromParent(node->parent);
    if (capacity < bottleneck) bottleneck = capacity;
  }
  if (node->terminalCapacity < bottleneck) bottleneck = node->terminalCapacity;
  for (node = middle.sinkSide; node->parent != kTerminal;
       node = parentOf(node)) {
    float capacity = capacityToParent(node->parent);
    if (capacity < bottleneck) bottleneck = capacity;
  }
  if (-node->terminalCapacity < bottleneck)
    bottleneck = -node->terminalCapacity;

  *middle.reverseCapacity += bottleneck;
  *middle.capacity -= bottleneck;
  for (node = middle.sourceSide; node->parent != kTerminal;) {
    ForwardArc* link = node->parent;
    GraphNode* parent = parentOf(node);
    capacityToParent(link) += bottleneck;
    if ((capacityFromParent(link) -= bottleneck) == 0) setOrphanFront(node);
    node = parent;
  }
  if ((node->terminalCapacity -= bottleneck) == 0) setOrphanFront(node);
  for (node = middle.sinkSide; node->parent != kTerminal;) {
    ForwardArc* link = node->parent;
    GraphNode* parent = parentOf(node);
    capacityFromParent(link) += bottleneck;
    if ((capacityToParent(link) -= bottleneck) == 0) setOrphanFront(node);
    node = parent;
  }
  if ((node->terminalCapacity += bottleneck) == 0) setOrphanFront(node);
  flow_ += bottleneck;
}

// Orphans of one augmentation are handled last-created first; orphans created
// meanwhile go to the rear and are handled before the next of the earlier ones.
void Graph::adopt() {
  while (OrphanRef* first = orphanFirst_) {
    OrphanRef* rest = first->next;
    first->next = nullptr;
    orphanLast_ = first;  // the detached rest is taken up after this batch
    while (OrphanRef* record = orphanFirst_) {
      orphanFirst_ = record->next;
      if (orphanFirst_ == nullptr) orphanLast_ = nullptr;
      GraphNode* node = record->node;
      orphanBlock_->Delete(record);
      if (node->inSinkTree != 0) {
        processOrphan<true>(node);
      } else {
        processOrphan<false>(node);
      }
    }
    // The last pointer is set again when the next batch is detached.
    orphanFirst_ = rest;
  }
}

}  // namespace scribeline
