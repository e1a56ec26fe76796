// The terminal side of a move's graph without the graph: one float per node,
// updated by the same arithmetic as Graph::addTerminalWeights, edges ignored.
// Fed the calls a Graph would get, it ends with the terminal capacities that
// graph would hold before its flow computation, bit for bit.
//
// The source search tree of a graph starts only from nodes with positive
// terminal capacity, so when the ledger shows none, every node of that graph
// would end on the SINK side whatever its edges: the graph need not be built.
#pragma once

#include "tests/graphcut/reference/graph.h"

namespace scribeline {

class TerminalLedger {
 public:
  // `capacities` is borrowed storage for at least as many nodes as addNodes
  // is given; it is reused from one ledger to the next.
  explicit TerminalLedger(float* capacities) : capacities_(capacities) {}

  // Nodes 0 .. count-1, each with terminal capacity 0 (Graph::addNode).
  void addNodes(int count) {
    count_ = count;
    for (int k = 0; k < count; ++k) capacities_[k] = 0;
  }
  void addTerminalWeights(int node, float capSource, float capSink) {
    addToTerminalCapacity(capacities_[node], capSource, capSink);
  }
  void addEdge(int, int, float, float) {}

  // True when some node ends with positive terminal capacity (source -> node).
  bool hasSourceCapacity() const {
    for (int k = 0; k < count_; ++k) {
      if (capacities_[k] > 0) return true;
    }
    return false;
  }
  float capacity(int node) const { return capacities_[node]; }

 private:
  float* capacities_;
  int count_ = 0;
};

}  // namespace scribeline
