// Maximum flow and minimum s-t cut on a graph whose arcs come in pairs (an
// arc and its sister in the opposite direction), with two implicit terminals.
//
// The topology is fixed once; every solve fills capacities and runs over a
// chosen subset of the nodes (the others take no part), so repeated cuts on
// one neighbourhood structure allocate little. Paths of one arc between a
// node with source capacity and one with sink capacity are saturated first;
// then a search tree grows from each terminal, flow is augmented along the
// paths where the trees meet, and each orphaned node is re-attached to a
// valid parent, the scan starting at the arc of the parent it lost and
// stopping at the first one no farther from the terminal than that was; a
// node with thousands of arcs is therefore usually re-attached after a few
// reads. The capacities may start as any residual state (a flow carried over
// from an earlier, similar graph, say).
//
// Result: the SOURCE side is exactly the set of nodes reachable from the
// source in the final residual graph, that is the source side of the minimum
// cut with the fewest nodes on the source side. That set does not depend on
// which maximum flow was found, so the labelling agrees with any exact
// max-flow algorithm that reports the same set.
#pragma once

#include <vector>

namespace scribeline {

class FlowNetwork {
 public:
  // Arcs of node v are firstArc[v] .. firstArc[v+1]-1, arc a leading to
  // heads[a]. REQUIRES: firstArc has numNodes + 1 non-decreasing entries
  // starting at 0; every arc v -> u has exactly one arc u -> v matched with
  // it, in the order given by sisters (sisters[sisters[a]] == a).
  FlowNetwork(std::vector<int> firstArc, std::vector<int> heads,
              std::vector<int> sisters);
  FlowNetwork(const FlowNetwork&) = delete;
  FlowNetwork& operator=(const FlowNetwork&) = delete;

  int numNodes() const { return static_cast<int>(firstArc_.size()) - 1; }
  int firstArc(int node) const { return firstArc_[node]; }
  int endArc(int node) const { return firstArc_[node + 1]; }
  int head(int arc) const { return heads_[arc]; }
  int sister(int arc) const { return sisters_[arc]; }

  // Residual capacity of every arc (tail -> head), written by the caller
  // before maxFlow and updated by it. Entries of arcs of nodes that take no
  // part are never read.
  float* residual() { return residual_.data(); }
  // Terminal capacity of every node: positive, a capacity source -> node;
  // negative, its negation is node -> sink.
  float* terminal() { return terminal_.data(); }

  // Computes a maximum flow among the listed nodes and returns the flow sent
  // beyond what the terminal capacities cancelled before the call.
  // REQUIRES: every arc from a listed node to an unlisted one has residual 0
  // in both directions; nodes appear once.
  double maxFlow(const int* nodes, int count);

  // After maxFlow, for a listed node: whether it lies on the source side.
  bool onSourceSide(int node) const { return tree_[node] == kSourceTree; }

 private:
  enum : unsigned char { kFree = 0, kSourceTree = 1, kSinkTree = 2 };
  static constexpr int kTerminalArc = -1;  // parent: the node's terminal
  static constexpr int kOrphan = -2;       // parent lost
  static constexpr int kNotQueued = -1;

  void pushToNeighbours(const int* nodes, int count);
  void activate(int node);
  int nextActive();
  // Grows the tree of `node`; returns the arc from the source tree to the
  // sink tree where the trees meet, or -1.
  int grow(int node);
  void augment(int middleArc);
  void makeOrphan(int node);
  void adoptOrphans();
  void adopt(int node);
  // Distance of node's tree root through valid parents, or -1 when the path
  // leads to an orphan.
  int originDistance(int node);

  std::vector<int> firstArc_;
  std::vector<int> heads_;
  std::vector<int> sisters_;
  std::vector<float> residual_;
  std::vector<float> terminal_;

  // Per node: tree, parent arc (an arc of the node itself, leading to its
  // parent), queue link, stamp and distance of the last verified path.
  std::vector<unsigned char> tree_;
  std::vector<int> parent_;
  std::vector<int> lastParent_;  // parent arc before the node was orphaned
  std::vector<int> next_;
  std::vector<int> stamp_;
  std::vector<int> distance_;
  int queueFirst_ = -1;
  int queueLast_ = -1;
  // The node being grown, kept after an augmentation, and the arc its scan
  // resumes at. An arc before scanArc_ changes only through the augmented
  // path or through a neighbour being freed; the latter sets rescan_.
  int current_ = -1;
  int scanArc_ = 0;
  bool rescan_ = false;
  std::vector<int> orphans_;
  int time_ = 0;
  double flow_ = 0;
};

}  // namespace scribeline
