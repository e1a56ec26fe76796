#include "graphcut/flow_network.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace scribeline {
namespace {

constexpr int kQueueEnd = -2;  // next_ of the last node of the active queue

}  // namespace

FlowNetwork::FlowNetwork(std::vector<int> firstArc, std::vector<int> heads,
                         std::vector<int> sisters)
    : firstArc_(std::move(firstArc)),
      heads_(std::move(heads)),
      sisters_(std::move(sisters)),
      residual_(heads_.size(), 0.0f),
      terminal_(firstArc_.size() - 1, 0.0f),
      tree_(firstArc_.size() - 1, kFree),
      parent_(firstArc_.size() - 1, kOrphan),
      lastParent_(firstArc_.size() - 1, -1),
      next_(firstArc_.size() - 1, kNotQueued),
      stamp_(firstArc_.size() - 1, 0),
      distance_(firstArc_.size() - 1, 0) {}

void FlowNetwork::activate(int node) {
  if (node == current_) {
    rescan_ = true;
    return;
  }
  if (next_[node] != kNotQueued) return;
  next_[node] = kQueueEnd;
  if (queueLast_ >= 0) {
    next_[queueLast_] = node;
  } else {
    queueFirst_ = node;
  }
  queueLast_ = node;
}

int FlowNetwork::nextActive() {
  while (queueFirst_ >= 0) {
    const int node = queueFirst_;
    if (node == queueLast_) {
      queueFirst_ = queueLast_ = -1;
    } else {
      queueFirst_ = next_[node];
    }
    next_[node] = kNotQueued;
    if (tree_[node] != kFree) return node;
  }
  return -1;
}

// Scans the arcs of `node` from scanArc_ on. A neighbour reached through a
// usable arc joins the tree, or is re-hung under `node` when that shortens
// its known distance; a neighbour of the other tree ends the scan.
int FlowNetwork::grow(int node) {
  const bool source = tree_[node] == kSourceTree;
  const int end = firstArc_[node + 1];
  const int stamp = stamp_[node];
  const int distance = distance_[node] + 1;
  for (int a = scanArc_; a < end; ++a) {
    const int sister = sisters_[a];
    if ((source ? residual_[a] : residual_[sister]) == 0) continue;
    const int neighbour = heads_[a];
    const unsigned char tree = tree_[neighbour];
    if (tree == kFree) {
      tree_[neighbour] = tree_[node];
      parent_[neighbour] = sister;
      stamp_[neighbour] = stamp;
      distance_[neighbour] = distance;
      activate(neighbour);
    } else if (tree != tree_[node]) {
      scanArc_ = a;
      return source ? a : sister;
    } else if (stamp_[neighbour] <= stamp && distance_[neighbour] > distance) {
      parent_[neighbour] = sister;
      stamp_[neighbour] = stamp;
      distance_[neighbour] = distance;
    }
  }
  return -1;
}

void FlowNetwork::makeOrphan(int node) {
  if (parent_[node] >= 0) lastParent_[node] = parent_[node];
  parent_[node] = kOrphan;
  orphans_.push_back(node);
}

// Pushes the bottleneck of the path source -> ... -> tail(middleArc) ->
// head(middleArc) -> ... -> sink. Tree arcs that saturate orphan their child;
// a root whose terminal capacity runs out is orphaned too.
void FlowNetwork::augment(int middleArc) {
  const int sourceEnd = heads_[sisters_[middleArc]];
  const int sinkEnd = heads_[middleArc];
  float bottleneck = residual_[middleArc];
  int node = sourceEnd;
  for (int arc = parent_[node]; arc != kTerminalArc; arc = parent_[node]) {
    bottleneck = std::min(bottleneck, residual_[sisters_[arc]]);
    node = heads_[arc];
  }
  bottleneck = std::min(bottleneck, terminal_[node]);
  node = sinkEnd;
  for (int arc = parent_[node]; arc != kTerminalArc; arc = parent_[node]) {
    bottleneck = std::min(bottleneck, residual_[arc]);
    node = heads_[arc];
  }
  bottleneck = std::min(bottleneck, -terminal_[node]);

  residual_[middleArc] -= bottleneck;
  residual_[sisters_[middleArc]] += bottleneck;
  node = sourceEnd;
  for (int arc = parent_[node]; arc != kTerminalArc; arc = parent_[node]) {
    const int toChild = sisters_[arc];
    residual_[arc] += bottleneck;
    residual_[toChild] -= bottleneck;
    const int parent = heads_[arc];
    if (residual_[toChild] == 0) makeOrphan(node);
    node = parent;
  }
  terminal_[node] -= bottleneck;
  if (terminal_[node] == 0) makeOrphan(node);
  node = sinkEnd;
  for (int arc = parent_[node]; arc != kTerminalArc; arc = parent_[node]) {
    residual_[sisters_[arc]] += bottleneck;
    residual_[arc] -= bottleneck;
    const int parent = heads_[arc];
    if (residual_[arc] == 0) makeOrphan(node);
    node = parent;
  }
  terminal_[node] += bottleneck;
  if (terminal_[node] == 0) makeOrphan(node);
  flow_ += bottleneck;
}

// Number of tree arcs from `node` to its terminal, following parents; -1 when
// the walk meets an orphan. Nodes of a valid walk are stamped with the
// current time and their distance, so later walks stop at them.
int FlowNetwork::originDistance(int node) {
  int distance = 0;
  for (int walk = node;;) {
    if (stamp_[walk] == time_) {
      distance += distance_[walk];
      break;
    }
    const int arc = parent_[walk];
    ++distance;
    if (arc == kTerminalArc) {
      stamp_[walk] = time_;
      distance_[walk] = 1;
      break;
    }
    if (arc == kOrphan) return -1;
    walk = heads_[arc];
  }
  int d = distance;
  for (int walk = node; stamp_[walk] != time_; walk = heads_[parent_[walk]]) {
    stamp_[walk] = time_;
    distance_[walk] = d--;
  }
  return distance;
}

// Gives the orphan a parent in its own tree: a neighbour with a usable arc
// towards it (away from the terminal) whose path to the terminal is intact.
// The first candidate no farther than the orphan's old parent is taken at
// once; otherwise the closest. Without any, the node is freed: its children
// become orphans and neighbours that could grow into it are activated.
void FlowNetwork::adopt(int node) {
  const bool source = tree_[node] == kSourceTree;
  const unsigned char tree = tree_[node];
  const int begin = firstArc_[node], end = firstArc_[node + 1];
  const int goodEnough = distance_[node] - 1;
  int best = -1, bestDistance = INT_MAX;
  // The scan starts at the arc of the lost parent: when that parent was only
  // orphaned with its own parent and has been re-attached since, it is
  // usually still the best choice, and a node with thousands of arcs finds it
  // at once.
  const int start = lastParent_[node] >= begin && lastParent_[node] < end
                        ? lastParent_[node]
                        : begin;
  for (int k = 0, a = start; k < end - begin; ++k) {
    const int neighbour = heads_[a];
    const int arc = a;
    if (++a == end) a = begin;
    if (tree_[neighbour] != tree) continue;
    if ((source ? residual_[sisters_[arc]] : residual_[arc]) == 0) continue;
    const int distance = originDistance(neighbour);
    if (distance < 0 || distance >= bestDistance) continue;
    best = arc;
    bestDistance = distance;
    if (distance <= goodEnough) break;
  }
  if (best >= 0) {
    parent_[node] = best;
    stamp_[node] = time_;
    distance_[node] = bestDistance + 1;
    return;
  }
  for (int a = begin; a < end; ++a) {
    const int neighbour = heads_[a];
    if (tree_[neighbour] != tree) continue;
    if ((source ? residual_[sisters_[a]] : residual_[a]) != 0) {
      activate(neighbour);
    }
    const int arc = parent_[neighbour];
    if (arc >= 0 && heads_[arc] == node) makeOrphan(neighbour);
  }
  tree_[node] = kFree;
}

void FlowNetwork::adoptOrphans() {
  for (std::size_t k = 0; k < orphans_.size(); ++k) adopt(orphans_[k]);
  orphans_.clear();
}

// Paths source -> u -> v -> sink of one arc each, saturated greedily. Many
// small terminal capacities on both sides would otherwise each root a tree
// that is orphaned as soon as its root's capacity is used up.
void FlowNetwork::pushToNeighbours(const int* nodes, int count) {
  for (int k = 0; k < count; ++k) {
    const int node = nodes[k];
    float excess = terminal_[node];
    if (excess <= 0) continue;
    for (int a = firstArc_[node], end = firstArc_[node + 1];
         a < end && excess > 0; ++a) {
      const int neighbour = heads_[a];
      const float capacity = residual_[a];
      if (capacity == 0 || terminal_[neighbour] >= 0) continue;
      const float f =
          std::min(std::min(excess, -terminal_[neighbour]), capacity);
      residual_[a] -= f;
      residual_[sisters_[a]] += f;
      excess -= f;
      terminal_[neighbour] += f;
      flow_ += f;
    }
    terminal_[node] = excess;
  }
}

double FlowNetwork::maxFlow(const int* nodes, int count) {
  flow_ = 0;
  time_ = 0;
  queueFirst_ = queueLast_ = -1;
  current_ = -1;
  orphans_.clear();
  std::fill(tree_.begin(), tree_.end(), kFree);
  bool anySource = false;
  for (int k = 0; k < count; ++k) anySource |= terminal_[nodes[k]] > 0;
  // Without source capacity the source reaches no node: all on the sink side.
  if (!anySource) return 0;
  pushToNeighbours(nodes, count);
  for (int k = 0; k < count; ++k) {
    const int node = nodes[k];
    next_[node] = kNotQueued;
    stamp_[node] = 0;
    const float terminal = terminal_[node];
    if (terminal == 0) continue;
    tree_[node] = terminal > 0 ? kSourceTree : kSinkTree;
    parent_[node] = kTerminalArc;
    distance_[node] = 1;
    activate(node);
  }
  for (;;) {
    if (current_ < 0 || tree_[current_] == kFree) {
      current_ = nextActive();
      if (current_ < 0) break;
      scanArc_ = firstArc_[current_];
    }
    const int middle = grow(current_);
    ++time_;
    if (middle < 0) {
      current_ = -1;
      continue;
    }
    rescan_ = false;
    augment(middle);
    adoptOrphans();
    if (rescan_) scanArc_ = firstArc_[current_];
  }
  return flow_;
}

}  // namespace scribeline
