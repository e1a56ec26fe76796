// The flow computation of Graph: two search trees grown from the terminals,
// augmentation along the paths where they meet, and adoption of the orphans
// an augmentation leaves behind.
#include "graphcut/graph.h"
#include "graphcut/graph_chunks.h"

namespace scribeline {

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
  orphanBlock_ = new Block<OrphanRef>(kOrphansPerChunk, errorCallback_);
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
// tree) or towards (sink tree) it; stops at the first arc into the other tree.
// The node's own tree, stamp and distance do not change while it grows (an arc
// back to itself finds it in its own tree, not farther away), so they are read
// once.
template <bool kSinkTree>
bool Graph::growTree(GraphNode* node, Middle& middle) {
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
  ForwardArc* arc;
  ForwardArc* arcEnd;
  outRun(node, arc, arcEnd);
  for (; arc < arcEnd; ++arc) {
    if ((kSinkTree ? arc->reverseResidual : arc->residual) == 0) continue;
    if (visit(offsetNode(node, arc->shift), tagged(arc), arc->residual,
              arc->reverseResidual)) {
      return true;
    }
  }
  ReverseArc* reference;
  ReverseArc* referenceEnd;
  inRun(node, reference, referenceEnd);
  for (; reference < referenceEnd; ++reference) {
    ForwardArc* in = reference->forwardArc;
    if ((kSinkTree ? in->residual : in->reverseResidual) == 0) continue;
    if (visit(offsetNode(node, -in->shift), in, in->reverseResidual,
              in->residual)) {
      return true;
    }
  }
  return false;
}

bool Graph::grow(GraphNode* node, Middle& middle) {
  return node->inSinkTree != 0 ? growTree<true>(node, middle)
                               : growTree<false>(node, middle);
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
  for (node = middle.sourceSide; node->parent != kTerminal; node = parentOf(node)) {
    float capacity = capacityFromParent(node->parent);
    if (capacity < bottleneck) bottleneck = capacity;
  }
  if (node->terminalCapacity < bottleneck) bottleneck = node->terminalCapacity;
  for (node = middle.sinkSide; node->parent != kTerminal; node = parentOf(node)) {
    float capacity = capacityToParent(node->parent);
    if (capacity < bottleneck) bottleneck = capacity;
  }
  if (-node->terminalCapacity < bottleneck) bottleneck = -node->terminalCapacity;

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
