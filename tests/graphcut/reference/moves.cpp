// Expansion and swap moves of LabelOptimizer, each solved as one minimum cut.
//
// A move gives every active site a node; a node on the SOURCE side takes the
// move's source label (alpha for an expansion, a for a swap), one on the SINK
// side its sink label (its current label for an expansion, b for a swap).
// Inactive sites keep their label and enter only as terminal capacity of their
// active neighbours.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "graphcut/memory.h"
#include "tests/graphcut/reference/graph.h"
#include "tests/graphcut/reference/label_optimizer.h"
#include "tests/graphcut/reference/terminal_ledger.h"

namespace scribeline {
namespace {

// The move's graph, node k standing for the k-th active site.
class GraphBuilder {
 public:
  GraphBuilder(Graph& graph, GraphNode** nodes)
      : graph_(graph), nodes_(nodes) {}

  void addNodes(int count) {
    for (int k = 0; k < count; ++k) nodes_[k] = graph_.addNode();
  }
  void addTerminalWeights(int node, float capSource, float capSink) {
    graph_.addTerminalWeights(nodes_[node], capSource, capSink);
  }
  void addEdge(int from, int to, float capacity, float reverseCapacity) {
    graph_.addEdge(nodes_[from], nodes_[to], capacity, reverseCapacity);
  }
  // Before maxFlow: whether some node has source capacity.
  bool hasSourceCapacity(int count) const {
    for (int k = 0; k < count; ++k) {
      if (nodes_[k]->terminalCapacity > 0) return true;
    }
    return false;
  }

 private:
  Graph& graph_;
  GraphNode** nodes_;
};

// Adds the pairwise term E(xs, xj) of two nodes (x = 1: SOURCE side), exact
// when e01 + e10 >= e00 + e11.
template <typename Builder>
inline void addPairTerm(Builder& graph, int s, int j, float e00, float e01,
                        float e10, float e11) {
  graph.addTerminalWeights(s, e00, e11);
  float x = e10 - e11;
  float y = e01 - e00;
  if (x < 0) {
    graph.addTerminalWeights(s, 0, x);
    graph.addTerminalWeights(j, 0, -x);
    graph.addEdge(s, j, 0, x + y);
  } else if (y < 0) {
    graph.addTerminalWeights(s, 0, -y);
    graph.addTerminalWeights(j, 0, y);
    graph.addEdge(s, j, x + y, 0);
  } else {
    graph.addEdge(s, j, x, y);
  }
}

// Labels a site takes on either side of the cut, and which sites take part.
struct ExpansionChoice {
  const int* labels;
  int alpha;
  bool active(int site) const { return labels[site] != alpha; }
  int sourceLabel(int) const { return alpha; }
  int sinkLabel(int site) const { return labels[site]; }
  int label() const { return alpha; }
};

struct SwapChoice {
  const int* labels;
  int a;
  int b;
  bool active(int site) const { return labels[site] == a || labels[site] == b; }
  int sourceLabel(int) const { return a; }
  int sinkLabel(int) const { return b; }
  int label() const { return -1; }  // a pair of labels: not remembered
};

// Cost of a declared pair (lower site, higher site) with their labels.
struct TablePairCost {
  const float* table;
  int numLabels;
  float operator()(int, int, int lowLabel, int highLabel, float weight) const {
    return weight *
           table[static_cast<std::size_t>(highLabel) * numLabels + lowLabel];
  }
};

struct FunctionPairCost {
  SmoothCostFn fn;
  float operator()(int low, int high, int lowLabel, int highLabel,
                   float) const {
    return fn(low, high, lowLabel, highLabel);
  }
};

// Terms of one site s (node `node`) and one neighbour j: a neighbour that
// does not take part fixes its label; a pair of active sites is added once,
// from its lower site. `mapped` gives the node index of an active j > s.
template <typename Builder, typename Choice, typename PairCost>
void addNeighborTerms(Builder& graph, const int* mapped, const int* labels,
                      const Choice& choice, const PairCost& cost, int s,
                      int node, const NeighborRecord* record,
                      const NeighborRecord* end) {
  int sourceS = choice.sourceLabel(s);
  int sinkS = choice.sinkLabel(s);
  for (; record != end; ++record) {
    int j = record->neighbor;
    float w = record->weight;
    if (!choice.active(j)) {
      int fixed = labels[j];
      if (s < j) {
        graph.addTerminalWeights(node, cost(s, j, sinkS, fixed, w),
                                 cost(s, j, sourceS, fixed, w));
      } else {
        graph.addTerminalWeights(node, cost(j, s, fixed, sinkS, w),
                                 cost(j, s, fixed, sourceS, w));
      }
    } else if (s < j) {
      int sourceJ = choice.sourceLabel(j);
      int sinkJ = choice.sinkLabel(j);
      addPairTerm(graph, node, mapped[j], cost(s, j, sinkS, sinkJ, w),
                  cost(s, j, sinkS, sourceJ, w), cost(s, j, sourceS, sinkJ, w),
                  cost(s, j, sourceS, sourceJ, w));
    }
  }
}

}  // namespace

// Lists the active sites in siteIndex (k-th active site at entry k) and
// returns their number.
template <typename Choice>
int LabelOptimizer::listActiveSites(const Choice& choice) {
  int count = 0;
  for (int site = 0; site < numSites_; ++site) {
    if (choice.active(site)) siteIndex_[count++] = site;
  }
  return count;
}

// Runs one move. When the move's terminal capacities leave no node with
// source capacity, every active site takes its sink label without a graph
// (see TerminalLedger); the ledger and the graph are fed by the same
// construction, so they cannot disagree. An expansion whose previous move on
// the same label had source capacity is expected to have it again and builds
// its graph straight away: the ledger would only add a pass. Either way the
// labels are those of the cut.
template <typename Choice>
bool LabelOptimizer::runMove(const Choice& choice) {
  int count = listActiveSites(choice);
  if (count == 0) return false;
  const int label = choice.label();
  bool changed = false;
  auto assign = [&](int site, int newLabel) {
    changed |= labels_[site] != newLabel;
    labels_[site] = newLabel;
  };
  if (options_.settledMovesSkipped && settlesByDataCosts(choice, count)) {
    for (int k = 0; k < count; ++k) {
      const int site = siteIndex_[k];
      assign(site, choice.sinkLabel(site));
    }
    return changed;
  }
  const bool expected = label >= 0 && hadSourceCapacity_[label] != 0;
  if (options_.settledMovesSkipped && !expected) {
    TerminalLedger ledger(terminalLedger_);
    buildMove(ledger, choice, count);
    if (!ledger.hasSourceCapacity()) {
      for (int site = 0; site < numSites_; ++site) {
        if (choice.active(site)) assign(site, choice.sinkLabel(site));
      }
      return changed;
    }
    listActiveSites(choice);  // the construction turned the list into a map
  }
  GraphOptions graphOptions;
  graphOptions.memory = options_.memory;
  Graph graph(nullptr, graphOptions);
  // Released also when the graph throws std::bad_alloc.
  const std::unique_ptr<GraphNode*, decltype(&std::free)> nodeArray(
      static_cast<GraphNode**>(
          allocateMemory(options_.memory,
                         sizeof(GraphNode*) * static_cast<std::size_t>(count))),
      &std::free);
  checkMemory(nodeArray == nullptr, "Not enough memory");
  GraphNode** nodes = nodeArray.get();
  GraphBuilder builder(graph, nodes);
  buildMove(builder, choice, count);
  if (label >= 0)
    hadSourceCapacity_[label] = builder.hasSourceCapacity(count) ? 1 : 0;
  graph.maxFlow();
  int k = 0;
  for (int site = 0; site < numSites_; ++site) {
    if (!choice.active(site)) continue;
    assign(site, graph.segmentOf(nodes[k]) == Graph::SOURCE
                     ? choice.sourceLabel(site)
                     : choice.sinkLabel(site));
    ++k;
  }
  return changed;
}

// Whether the data costs alone prove that no node of the move's graph would
// end with source capacity, so that every active site keeps its sink label
// (see runMove). A node's terminal capacity starts as its data-cost
// difference (sink label minus source label) and every smoothness term moves
// it by at most 4 |weight| max|V| (both roles of a pair in addPairTerm
// included); the float rounding of its at most 2 deg + 1 additions is bounded
// generously on top. Sites that the bound cannot settle (a forbidden label on
// both sides, say) leave the decision to the exact ledger. General graphs with
// a smoothness table only. REQUIRES: siteIndex lists the `count` active sites.
template <typename Choice>
bool LabelOptimizer::settlesByDataCosts(const Choice& choice, int count) {
  if (isGrid_ || smoothKind_ != kTable) return false;
  double largestSmooth = 0;
  for (std::size_t k = 0; k < static_cast<std::size_t>(numLabels_) * numLabels_;
       ++k) {
    largestSmooth = std::max(largestSmooth,
                             std::fabs(static_cast<double>(smoothTable_[k])));
  }
  const NeighborTable& neighbors = neighborTable();
  for (int k = 0; k < count; ++k) {
    const int site = siteIndex_[k];
    const double sinkCost = dataCost(site, choice.sinkLabel(site));
    const double sourceCost = dataCost(site, choice.sourceLabel(site));
    const double smoothness = 4.1 * largestSmooth * neighbors.weightSum(site);
    const double additions =
        2.0 * static_cast<double>(neighbors.end(site) - neighbors.begin(site)) +
        2;
    const double rounding =
        additions * 0x1p-20 *
        (std::fabs(sinkCost) + std::fabs(sourceCost) + smoothness);
    if (!(sourceCost - sinkCost > smoothness + rounding)) return false;
  }
  return true;
}

// Adds the nodes, data terms and smoothness terms of a move, in a fixed
// order. REQUIRES: siteIndex lists the `count` active sites. siteIndex is then
// walked from the top and becomes the map from an active site to its node
// index: when site s is reached every active site above it is already mapped.
template <typename Builder, typename Choice>
void LabelOptimizer::buildMove(Builder& graph, const Choice& choice,
                               int count) {
  graph.addNodes(count);
  for (int k = 0; k < count; ++k) {
    int site = siteIndex_[k];
    graph.addTerminalWeights(k, dataCost(site, choice.sinkLabel(site)),
                             dataCost(site, choice.sourceLabel(site)));
  }
  if (isGrid_) {
    for (int k = count - 1; k >= 0; --k) siteIndex_[siteIndex_[k]] = k;
    addGridSmoothTerms(graph, choice);
    return;
  }
  const NeighborTable& neighbors = neighborTable();
  TablePairCost table{smoothTable_, numLabels_};
  FunctionPairCost function{smoothFunction_};
  for (int k = count - 1; k >= 0; --k) {
    int site = siteIndex_[k];
    siteIndex_[site] = k;
    if (smoothKind_ == kTable) {
      addNeighborTerms(graph, siteIndex_, labels_, choice, table, site, k,
                       neighbors.begin(site), neighbors.end(site));
    } else {
      addNeighborTerms(graph, siteIndex_, labels_, choice, function, site, k,
                       neighbors.begin(site), neighbors.end(site));
    }
  }
}

// Grid pairs: (x-1, y)-(x, y) and (x, y-1)-(x, y), the left or upper site
// first. REQUIRES: siteIndex maps every active site to its node index.
template <typename Builder, typename Choice>
void LabelOptimizer::addGridSmoothTerms(Builder& graph, const Choice& choice) {
  auto addPair = [&](int first, int second, bool horizontal) {
    bool firstActive = choice.active(first);
    bool secondActive = choice.active(second);
    auto cost = [&](int firstLabel, int secondLabel) {
      return gridPairCost(first, second, horizontal, firstLabel, secondLabel);
    };
    if (firstActive && secondActive) {
      int source1 = choice.sourceLabel(first), sink1 = choice.sinkLabel(first);
      int source2 = choice.sourceLabel(second),
          sink2 = choice.sinkLabel(second);
      addPairTerm(graph, siteIndex_[first], siteIndex_[second],
                  cost(sink1, sink2), cost(sink1, source2),
                  cost(source1, sink2), cost(source1, source2));
    } else if (firstActive) {
      int fixed = labels_[second];
      graph.addTerminalWeights(siteIndex_[first],
                               cost(choice.sinkLabel(first), fixed),
                               cost(choice.sourceLabel(first), fixed));
    } else if (secondActive) {
      int fixed = labels_[first];
      graph.addTerminalWeights(siteIndex_[second],
                               cost(fixed, choice.sinkLabel(second)),
                               cost(fixed, choice.sourceLabel(second)));
    }
  };
  for (int y = 0; y < height_; ++y) {
    for (int x = 1; x < width_; ++x)
      addPair(y * width_ + x - 1, y * width_ + x, true);
  }
  for (int y = 1; y < height_; ++y) {
    for (int x = 0; x < width_; ++x)
      addPair((y - 1) * width_ + x, y * width_ + x, false);
  }
}

void LabelOptimizer::requireCosts() const {
  fatalError(dataKind_ == kNotGiven,
             "You have to set up the data cost before running optimization");
  fatalError(
      smoothKind_ == kNotGiven,
      "You have to set up the smoothness cost before running optimization");
}

void LabelOptimizer::shuffleLabelOrder() {
  for (int n = 0; n < 2 * numLabels_; ++n) {
    int i = random_.next() % numLabels_;
    int j = random_.next() % numLabels_;
    int kept = labelOrder_[i];
    labelOrder_[i] = labelOrder_[j];
    labelOrder_[j] = kept;
  }
}

double LabelOptimizer::expansionCycle(UnchangedMoves& unchanged) {
  requireCosts();
  if (randomOrder_) shuffleLabelOrder();
  for (int position = 0; position < numLabels_; ++position) {
    const int alpha = labelOrder_[position];
    if (unchanged.confirmed(labels_, alpha)) continue;
    unchanged.record(labels_, alpha, runMove(ExpansionChoice{labels_, alpha}));
  }
  return computeEnergy();
}

double LabelOptimizer::swapCycle(UnchangedMoves& unchanged) {
  requireCosts();
  if (randomOrder_) shuffleLabelOrder();
  for (int i = 0; i < numLabels_; ++i) {
    for (int j = numLabels_ - 1; j >= 0; --j) {
      const int a = labelOrder_[i], b = labelOrder_[j];
      if (a < b) {
        const int pair = a * numLabels_ + b;
        if (unchanged.confirmed(labels_, pair)) continue;
        unchanged.record(labels_, pair, runMove(SwapChoice{labels_, a, b}));
      }
    }
  }
  return computeEnergy();
}

double LabelOptimizer::runCycles(int maxIterations, bool swapCycles) {
  double energy = computeEnergy();
  if (!(energy + 1 > energy)) return energy;
  UnchangedMoves unchanged(numSites_,
                           swapCycles ? numLabels_ * numLabels_ : numLabels_);
  for (int cycle = 1; cycle <= maxIterations; ++cycle) {
    double previous = energy;
    energy = swapCycles ? swapCycle(unchanged) : expansionCycle(unchanged);
    if (!(energy < previous)) break;
  }
  return energy;
}

double LabelOptimizer::expansion(int maxIterations) {
  return runCycles(maxIterations, false);
}

double LabelOptimizer::swap(int maxIterations) {
  return runCycles(maxIterations, true);
}

double LabelOptimizer::expandOnLabel(int label) {
  fatalError(label < 0 || label >= numLabels_, "Illegal Label to Expand On");
  requireCosts();
  runMove(ExpansionChoice{labels_, label});
  return computeEnergy();
}

double LabelOptimizer::swapLabels(int a, int b) {
  fatalError(a < 0 || a >= numLabels_ || b < 0 || b >= numLabels_,
             "Illegal Label to Expand On");
  requireCosts();
  if (a != b) runMove(SwapChoice{labels_, a, b});
  return computeEnergy();
}

}  // namespace scribeline
